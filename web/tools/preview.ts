// Screenshots of every screen against the mock bridge, for looking at the pages without the
// client: npx vite-node tools/preview.ts [out-folder]
import { close, KEYBOARD, MOUSE, open } from '../test/pages/harness';

const out = process.argv[2] ?? 'dist/preview';
const screens = ['devices', 'mouse', 'keyboard', 'macros', 'profiles', 'keymaps', 'pointer', 'music', 'updates'];

// The states a write, a dialog or a notice brings, each on a fresh page.
async function states(locale: string, tag: string) {
  const shots: [string, (p: import('playwright-core').Page) => Promise<void>][] = [
    ['menu', (p) => p.click('.win-menu .win-btn')],
    ['restart', (p) => p.click('.device:first-child .device-actions .btn.ghost')],
    ['dpi-waiting', async (p) => {
      await p.click('[data-screen="mouse"]');
      await p.click('.tabs [role="tab"]:nth-child(2)');
      await p.click('[data-stage="3"] .stage-pick');
      await p.waitForSelector('.wstatus.waiting', { timeout: 8000 });
    }],
    ['profiles-new', async (p) => {
      await p.click('[data-screen="profiles"]');
      await p.click('.head-actions .btn.primary');
    }],
    ['macro-stale', async (p) => {
      await p.evaluate(() => {
        const a = (window as any).kfApp;
        const s = a.session;
        s.profile.setMacros([{ name: 'Combo', text: '键盘按下(A)键盘弹起(A)延迟(30)' }]);
        s.profile.setAssignment(s.profile.buttons(1).find((r: any) => r.index === 12), { type: 'Macro', command: '键盘按下(A)键盘弹起(A)', playType: 1, playCount: 1, playDelay: 0, macro: 'Combo' });
        a.changed();
      });
      await p.click('[data-screen="macros"]');
    }],
    ['keyboard-lights-off', async (p) => {
      await p.evaluate(() => (window as any).kfApp.select('QZK-ZKC-V1.1.0'));
      await p.click('[data-screen="keyboard"]');
    }],
    ['disconnected', async (p) => {
      await p.click('[data-screen="mouse"]');
      await p.evaluate(() => {
        const m = (window as any).__mock;
        m.devices = m.devices.filter((d: any) => d.Version !== 'QZK-ZMC-V1.1.0');
        m.emit('DevicesChanged', [1]);
      });
      await p.waitForSelector('.notice');
    }],
  ];
  for (const [name, steps] of shots) {
    const rules = name === 'dpi-waiting' ? [{ match: { FuncName: 'WriteDeviceMultimedia' }, answer: 'hold' as const }] : [];
    const { page } = await open({ devices: [MOUSE, KEYBOARD], rules }, locale);
    await page.waitForFunction(() => Array.from((window as any).kfApp?.sessions?.values() ?? []).filter((s: any) => s.status === 'ready').length === 2);
    await steps(page);
    await page.waitForTimeout(250);
    await page.screenshot({ path: `${out}/${tag}-${name}.png` });
    await page.context().close();
  }
}

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
    await states(locale, tag);
  }
  const { page } = await open({ devices: [] }, 'zh-CN');
  await page.waitForTimeout(1800);
  await page.screenshot({ path: `${out}/zh-empty.png` });
  await close();
}
main().then(() => process.exit(0), (e) => (console.error(e), process.exit(1)));
