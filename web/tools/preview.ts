// Screenshots of every screen against the mock bridge, for looking at the pages without the
// client: npx vite-node tools/preview.ts [out-folder]
import { close, KEYBOARD, MOUSE, open } from '../test/pages/harness';

const out = process.argv[2] ?? 'dist/preview';
const screens = ['devices', 'mouse', 'keyboard', 'macros', 'profiles', 'pointer'];

async function main() {
  for (const locale of ['en-US', 'zh-CN']) {
    const tag = locale.slice(0, 2);
    const { page } = await open({ devices: [MOUSE, KEYBOARD] }, locale);
    await page.waitForSelector('.device');
    await page.waitForTimeout(300);
    for (const s of screens) {
      if (s === 'keyboard') await page.evaluate(() => (window as any).kfApp.select('QZK-ZKC-V1.1.0'));
      if (s === 'mouse') await page.evaluate(() => (window as any).kfApp.select('QZK-ZMC-V1.1.0'));
      await page.click(`[data-screen="${s}"]`);
      await page.waitForTimeout(150);
      await page.screenshot({ path: `${out}/${tag}-${s}.png` });
      if (s === 'mouse' || s === 'keyboard') {
        const tabs = await page.$$('[role="tab"]');
        for (let i = 1; i < tabs.length; i++) {
          await tabs[i].click();
          await page.waitForTimeout(100);
          await page.screenshot({ path: `${out}/${tag}-${s}-${i}.png` });
        }
      }
    }
    await page.click('[data-screen="mouse"]');
    await page.click('.row-btn');
    await page.waitForTimeout(100);
    await page.screenshot({ path: `${out}/${tag}-assign.png` });
    await page.keyboard.press('Escape');
    await page.keyboard.press('Control+Shift+KeyD');
    await page.waitForTimeout(100);
    await page.screenshot({ path: `${out}/${tag}-diagnostics.png` });
    await page.context().close();
  }
  const { page } = await open({ devices: [] }, 'zh-CN');
  await page.waitForTimeout(1800);
  await page.screenshot({ path: `${out}/zh-empty.png` });
  await close();
}
main().then(() => process.exit(0), (e) => (console.error(e), process.exit(1)));
