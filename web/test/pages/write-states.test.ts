// What a write shows while it is under way and after: the pending value at once, marked busy;
// "No answer yet" past the page's patience, settled by the answer whenever it comes; and choices
// and hints that behave in every group.
import type { Page } from 'playwright-core';
import { afterAll, describe, expect, it } from 'vitest';
import { ALL_FILES, close, MOUSE, open, resetRequests, type MockConfig } from './harness';

afterAll(close);

const stagePick = (n: number) => `[data-stage="${n}"] .stage-pick`;
const app = (p: Page, fn: string) => p.evaluate(`(() => { const a = window.kfApp; return ${fn}; })()`);

async function dpiTab(config: MockConfig, locale = 'en-US') {
  const o = await open({ devices: [MOUSE], ...config }, locale);
  await o.page.waitForFunction(() => (window as any).kfApp?.session?.status === 'ready');
  await o.page.click('[data-screen="mouse"]');
  await o.page.click('[role="tab"]:has-text("DPI")');
  await resetRequests(o.page);
  return o;
}

describe('a write past the page patience', () => {
  // [answer that comes late, stage shown at the end, the profile's CurDpi, error notice]
  it.each([
    [true, 3, '3', false],
    [false, 1, '1', true],
  ] as const)('late answer ok=%s settles on stage %i', async (ok, stage, profileValue, notice) => {
    const { page, context } = await dpiTab({ rules: [{ match: { FuncName: 'WriteDeviceMultimedia' }, answer: 'hold' }] });
    await page.click(stagePick(3));
    // At once: the clicked stage is current, marked as being written.
    await page.waitForSelector(`${stagePick(3)}[aria-checked="true"][aria-busy="true"]`);
    expect(await page.textContent('[data-stage="3"] .tag')).toBe('Writing…');
    // Past the patience: not answered yet, still shown as the pending value, and no failure.
    await page.waitForSelector('.wstatus.waiting:has-text("No answer yet")', { timeout: 8000 });
    expect(await page.getAttribute(stagePick(3), 'aria-checked')).toBe('true');
    expect(await page.$('.notice.error')).toBeNull();
    await page.evaluate((k) => (window as any).__mock.release(k, k ? 'writeDevices success!' : 'writeDevices failed!'), ok);
    await page.waitForSelector(ok ? '.wstatus.ok:has-text("Written to device")' : '.wstatus.failed');
    expect(await page.getAttribute(stagePick(stage), 'aria-checked')).toBe('true');
    expect(await page.getAttribute(stagePick(stage), 'aria-busy')).toBe('false');
    expect(await app(page, 'a.session.profile.value("CurDpi", a.session.mode)')).toBe(profileValue);
    const error = await page.$('.notice.error');
    expect(!!error).toBe(notice);
    if (error) expect(await error.textContent()).toContain('keeps its previous setting');
    await context.close();
  });
});

describe('choices and hints', () => {
  it('Tab enters the DPI stages on the current one and arrow keys move it', async () => {
    const { page, writes, context } = await dpiTab({});
    await page.focus('[role="tab"][aria-selected="true"]');
    for (let i = 0; i < 10 && !(await page.evaluate(() => document.activeElement?.classList.contains('stage-pick'))); i++) await page.keyboard.press('Tab');
    expect(await page.evaluate(() => document.activeElement?.closest('[data-stage]')?.getAttribute('data-stage'))).toBe('1');
    await page.keyboard.press('ArrowRight');
    await page.waitForSelector('.wstatus.ok');
    await page.keyboard.press('ArrowLeft');
    await page.keyboard.press('ArrowLeft');
    await expect.poll(async () => (await writes()).map((w) => w.DrviceDataCode)).toEqual(['0x02', '0x01', '0x00']);
    await page.waitForSelector(`${stagePick(0)}[aria-checked="true"]:focus`);
    await context.close();
  });

  it('writes a DPI value once it settles, from the slider or the number field', async () => {
    const { page, writes, context } = await dpiTab({});
    await page.focus('[data-stage="0"] input[type="range"]');
    for (let i = 0; i < 4; i++) await page.keyboard.press('ArrowRight');
    await page.fill('input[aria-label="DPI of stage 2"]', '3210');
    await page.keyboard.press('Enter');
    await expect.poll(async () => (await writes()).map((w) => [w.Index, w.DrviceDataCode])).toEqual([
      ['43', '1400'],
      ['44', '3200'],
    ]);
    await context.close();
  });

  // [tab, whether "Mouse functions always run once." shows]
  it.each([
    ['Mouse', true],
    ['Keys', false],
    ['Macro', false],
    ['Media', false],
  ])('the one-shot hint under the %s category: %s', async (tab, shown) => {
    const { page, context } = await dpiTab({});
    await page.click('[role="tab"]:has-text("Buttons")');
    await page.click('[data-button="11"]');
    await page.click(`.vtabs [role="tab"]:has-text("${tab}")`);
    expect(await page.isVisible('.play .hint:has-text("Mouse functions always run once.")')).toBe(shown);
    await context.close();
  });
});

describe('notices', () => {
  it('close by themselves unless they offer Retry, and never pile up', async () => {
    const path = '/home/u/notes.txt';
    const { page, context } = await dpiTab({ dialogPath: path, files: { ...ALL_FILES, ['file:' + path]: '<html/>' }, rules: [{ match: { FuncName: 'WriteDeviceMultimedia' }, answer: [false, 'writeDevices failed!'] }] });
    await page.clock.install();
    await page.click(stagePick(3)); // a failed write: offers Retry
    await page.waitForSelector('.notice.error .btn:has-text("Retry")');
    await page.click('[data-screen="profiles"]');
    for (let i = 0; i < 3; i++) await page.click('.btn:has-text("Import")'); // not a profile: no Retry
    await page.waitForSelector('.notice.error:has-text("not a device profile")');
    expect(await page.$$eval('.notice', (l) => l.length)).toBeLessThanOrEqual(3);
    await page.clock.runFor(9000);
    expect(await page.$$eval('.notice', (l) => l.map((n) => !!n.querySelector('.btn')))).toEqual([true]);
    await context.close();
  });
});
