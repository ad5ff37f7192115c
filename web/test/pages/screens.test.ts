// Each screen's main flow sends exactly the expected requests and shows the answers; failures
// stay visible with a retry; events update the screens; everything works from the keyboard.
import { readFileSync } from 'node:fs';
import { resolve } from 'node:path';
import type { Page } from 'playwright-core';
import { afterAll, describe, expect, it } from 'vitest';
import { close, KEYBOARD, MOUSE, open, resetRequests, type MockConfig } from './harness';

afterAll(close);

const MOUSE_KEY = MOUSE.Version;

async function ready(config: MockConfig = { devices: [MOUSE, KEYBOARD] }, locale = 'en-US') {
  const o = await open(config, locale);
  await o.page.waitForSelector('.device');
  await o.page.waitForFunction(() => document.querySelectorAll('.device .btn.primary:not([disabled])').length > 0);
  await resetRequests(o.page);
  return o;
}

async function goto(page: Page, screen: string, tab?: string) {
  await page.click(`[data-screen="${screen}"]`);
  if (tab) await page.click(`[role="tab"]:has-text("${tab}")`);
}

const written = (page: Page) => page.waitForSelector('.wstatus.ok');

// [name, steps, expected device writes]
const FLOWS: [string, (p: Page) => Promise<void>, Record<string, string>[]][] = [
  [
    'a button gets a mouse function',
    async (p) => {
      await goto(p, 'mouse');
      await p.click('[data-button="12"]');
      await p.click('.chip:has-text("DPI up")');
      await p.click('.dialog .btn.primary');
    },
    [{ FuncName: 'CustomButton', Version: MOUSE_KEY, Mode: '1', TaskIndex: '12', Task: 'DPI+', TaskType: 'Mouse', PlayCount: '1', PlayDelay: '0', PlayType: '1' }],
  ],
  [
    'a key combination is captured by pressing it',
    async (p) => {
      await goto(p, 'mouse');
      await p.click('[data-button="15"]');
      await p.click('[role="tab"]:has-text("Keys")');
      await p.click('.capture');
      await p.keyboard.down('Control');
      await p.keyboard.down('KeyC');
      await p.keyboard.up('KeyC');
      await p.keyboard.up('Control');
      await p.selectOption('.play select', '3');
      await p.click('.dialog .btn.primary');
    },
    [{ FuncName: 'CustomButton', Version: MOUSE_KEY, Mode: '1', TaskIndex: '15', Task: 'Ctrl+C', TaskType: 'Keyboard', PlayCount: '1', PlayDelay: '0', PlayType: '3' }],
  ],
  [
    'a DPI stage becomes the current one',
    async (p) => {
      await goto(p, 'mouse', 'DPI');
      await p.click('[data-stage="2"] .stage-pick');
    },
    [{ FuncName: 'WriteDeviceMultimedia', Version: MOUSE_KEY, Index: '42', Length: '1', DrviceDataCode: '0x02' }],
  ],
  [
    'a DPI stage value moves in steps of 50',
    async (p) => {
      await goto(p, 'mouse', 'DPI');
      await p.focus('[data-stage="0"] input[type="range"]');
      await p.keyboard.press('ArrowRight');
    },
    [{ FuncName: 'WriteDeviceMultimedia', Version: MOUSE_KEY, Index: '43', Length: '5', DrviceDataCode: '1250' }],
  ],
  [
    'a light set gets an effect and a colour',
    async (p) => {
      await goto(p, 'mouse', 'Lighting');
      await p.click('[role="radio"]:has-text("Light 2")');
      await p.click('.chip:has-text("Breathing")');
      await p.click('.swatch-btn[aria-label="#FF0000"]');
    },
    [
      { FuncName: 'WriteDeviceMultimedia', Version: MOUSE_KEY, Index: '61', Length: '1', DrviceDataCode: '0x02' },
      { FuncName: 'WriteDeviceMultimedia', Version: MOUSE_KEY, Index: '65', Length: '3', DrviceDataCode: 'FF0000' },
    ],
  ],
  [
    'report rate, lift-off, line correction and serial number',
    async (p) => {
      await goto(p, 'mouse', 'Performance');
      await p.click('[role="radio"]:has-text("1000 Hz")');
      await p.click('[role="radio"]:has-text("Low (1 mm)")');
      await p.click('[role="switch"]');
      await p.fill('input[aria-label="Serial number"]', 'SN-42');
      await p.click('.btn:has-text("Write")');
    },
    [
      { FuncName: 'WriteDeviceMultimedia', Version: MOUSE_KEY, Index: '91', Length: '1', DrviceDataCode: '0x03' },
      { FuncName: 'WriteDeviceMultimedia', Version: MOUSE_KEY, Index: '92', Length: '1', DrviceDataCode: '0x01' },
      { FuncName: 'WriteDeviceMultimedia', Version: MOUSE_KEY, Index: '93', Length: '1', DrviceDataCode: '0x00' },
      { FuncName: 'WriteDeviceSn', Version: MOUSE_KEY, Sn: 'SN-42' },
    ],
  ],
  [
    'keys are painted and the keyboard lighting is switched',
    async (p) => {
      await p.evaluate((k) => (window as any).kfApp.select(k), KEYBOARD.Version);
      await goto(p, 'keyboard');
      await p.click('.swatch-btn[aria-label="#FF0000"]');
      await p.click('[data-key="ESC"]');
      await p.waitForSelector('.wstatus.ok');
      await p.click('[data-key="W"]');
      await p.click('[role="tab"]:has-text("Lighting")');
      await p.click('[role="switch"]');
    },
    [
      { FuncName: 'NotifyRGBDevice', Version: KEYBOARD.Version, Data: '["ESC#FF0000"]' },
      { FuncName: 'NotifyRGBDevice', Version: KEYBOARD.Version, Data: '["ESC#FF0000","W#FF0000"]' },
      { FuncName: 'WriteDeviceMultimedia', Version: KEYBOARD.Version, Index: '161', Length: '1', DrviceDataCode: '0x01' },
    ],
  ],
  [
    'a recorded macro goes to a button',
    async (p) => {
      await goto(p, 'macros');
      await p.click('.btn:has-text("New macro")');
      await p.click('label:has-text("Record pauses") input');
      await p.click('.btn:has-text("Record")');
      await p.waitForSelector('.record-pad:focus');
      await p.keyboard.down('KeyA');
      await p.keyboard.up('KeyA');
      await p.click('.btn:has-text("Stop")');
      await p.selectOption('.write-bar select', '13');
      await p.click('.btn:has-text("Write to device")');
    },
    [{ FuncName: 'CustomButton', Version: MOUSE_KEY, Mode: '1', TaskIndex: '13', Task: '键盘按下(A)键盘弹起(A)', TaskType: 'Macro', PlayCount: '1', PlayDelay: '0', PlayType: '1' }],
  ],
];

describe('main flows', () => {
  it.each(FLOWS)('%s', async (_name, steps, expected) => {
    const { page, writes, context } = await ready();
    await steps(page);
    await written(page);
    await expect.poll(writes, { timeout: 5000 }).toEqual(expected);
    await context.close();
  });
});

describe('answers and failures', () => {
  it('shows a write as pending until the answer, then as written', async () => {
    const { page, context } = await ready({ devices: [MOUSE], rules: [{ match: { FuncName: 'WriteDeviceMultimedia' }, answer: 'hold' }] });
    await goto(page, 'mouse', 'DPI');
    await page.click('[data-stage="3"] .stage-pick');
    await page.waitForSelector('.wstatus.pending');
    expect(await page.isVisible('.wstatus.ok')).toBe(false);
    await page.evaluate(() => (window as any).__mock.release(true));
    await page.waitForSelector('.wstatus.ok');
    expect(await page.getAttribute('[data-stage="3"] .stage-pick', 'aria-checked')).toBe('true');
    await context.close();
  });

  it('names a failed write, keeps the old value and retries it', async () => {
    const { page, writes, context } = await ready({ devices: [MOUSE], rules: [{ match: { FuncName: 'WriteDeviceMultimedia' }, answer: [false, 'writeDevices failed!'] }] });
    await goto(page, 'mouse', 'DPI');
    await page.click('[data-stage="4"] .stage-pick');
    const notice = await page.waitForSelector('.notice.error');
    expect(await notice.textContent()).toContain('the current DPI stage');
    expect(await page.getAttribute('[data-stage="1"] .stage-pick', 'aria-checked')).toBe('true');
    await page.click('.notice.error .btn');
    await expect.poll(async () => (await writes()).length).toBe(2);
    await context.close();
  });

  it('refuses a macro too long for its slot before sending anything', async () => {
    const { page, writes, context } = await ready({ devices: [MOUSE] });
    await page.evaluate(() => {
      const s = (window as any).kfApp.session;
      s.profile.setMacros([{ name: 'long', text: '键盘按下(A)'.repeat(66) }]);
      (window as any).kfApp.changed();
    });
    await goto(page, 'macros');
    expect(await page.textContent('.write-bar .error-text')).toContain('198 bytes, at most 196');
    expect(await page.isDisabled('.btn:has-text("Write to device")')).toBe(true);
    await goto(page, 'mouse');
    await page.click('[data-button="11"]');
    await page.click('[role="tab"]:has-text("Macro")');
    await page.selectOption('.assign-body select', 'long');
    expect(await page.isDisabled('.dialog .btn.primary')).toBe(true);
    expect(await writes()).toEqual([]);
    await context.close();
  });

  it('exports and refuses to import a file that is not a profile', async () => {
    const path = '/home/u/Documents/mine.pfd';
    const { page, requests, context } = await ready({ devices: [MOUSE], dialogPath: path, files: { ...(await import('./harness')).ALL_FILES, ['file:' + path]: '<html/>' } });
    await goto(page, 'profiles');
    await page.click('.btn:has-text("Export")');
    // The export's notice closes by itself after a few seconds: wait for the save instead.
    await expect.poll(async () => (await requests()).some((r) => r.FuncName === 'savexml'), { timeout: 10000 }).toBe(true);
    await page.click('.btn:has-text("Import")');
    await page.waitForSelector('.notice.error:has-text("not a device profile")');
    const sent = (await requests()).map((r) => [r.FuncName, r.FilePath ?? '']);
    expect(sent).toEqual([
      ['saveFileDialog', ''],
      ['ModifyFileFromStr', path],
      ['savexml', ''],
      ['OpenFileDialog', ''],
      ['ReadFileToStr', path],
    ]);
    expect(await page.$$eval('.profile', (l) => l.length)).toBe(1);
    await context.close();
  });

  it('says where and why an export was refused', async () => {
    const path = '/home/u/Documents/mine.pfd';
    const rules = [{ match: { FuncName: 'ModifyFileFromStr' }, answer: [false, 'ModifyFileFromStr failed'] as [boolean, string] }];
    const { page, context } = await ready({ devices: [MOUSE], dialogPath: path, rules });
    await goto(page, 'profiles');
    await page.click('.btn:has-text("Export")');
    await page.waitForSelector(`.notice.error:has-text("${path}"):has-text("not writable")`);
    await context.close();
  });

  it('sets the pointer speed and acceleration', async () => {
    const { page, requests, context } = await open({ devices: [] });
    await goto(page, 'pointer');
    await resetRequests(page);
    await page.focus('input[aria-label="Pointer speed"]');
    await page.keyboard.press('ArrowRight');
    await page.click('[role="radio"]:has-text("High")');
    await expect.poll(requests).toEqual([
      { FuncName: 'ModifyWindowAcceleratedSpeed', Num: '12' },
      { FuncName: 'modifyMouseAcce', Num: '2' },
    ]);
    await context.close();
  });
});

describe('events', () => {
  it('follows devices as they come and go, and the device pushes', async () => {
    const { page, context } = await ready();
    await page.evaluate(() => {
      (window as any).__mock.devices.pop();
      (window as any).__mock.emit('DevicesChanged', [1]);
    });
    await expect.poll(() => page.$$eval('.device', (l) => l.length)).toBe(1);
    await goto(page, 'mouse', 'DPI');
    await page.evaluate(() => (window as any).RefreshDpi(3));
    await page.waitForSelector('[data-stage="3"] .stage-pick[aria-checked="true"]');
    await page.evaluate(() => {
      (window as any).__mock.devices.length = 0;
      (window as any).__mock.emit('DevicesChanged', [1]);
    });
    await goto(page, 'devices');
    await page.waitForSelector('.empty:has-text("No device connected")', { timeout: 5000 });
    await context.close();
  });

  it('says when the client has no device library instead of asking to plug a device in', async () => {
    const { page, context } = await open({ devices: [], libraryStatus: 'failed' });
    await page.waitForSelector('.empty:has-text("No device library")', { timeout: 8000 });
    expect(await page.$('.empty:has-text("No device connected")')).toBeNull();
    await context.close();
  });
});

describe('keyboard only', () => {
  async function tabTo(page: Page, selector: string, text = '') {
    for (let i = 0; i < 60; i++) {
      await page.keyboard.press('Tab');
      const hit = await page.evaluate(([s, t]) => !!document.activeElement?.matches(s) && (document.activeElement?.textContent ?? '').includes(t), [selector, text]);
      if (hit) return;
    }
    throw new Error(`Tab never reached ${selector}`);
  }

  it('assigns a button and changes a DPI stage without the mouse, with focus visible', async () => {
    const { page, writes, context } = await ready({ devices: [MOUSE] }, 'zh-CN');
    await tabTo(page, '[data-screen="mouse"]');
    await page.keyboard.press('Enter');
    await tabTo(page, '[data-button="14"]');
    expect(await page.evaluate(() => getComputedStyle(document.activeElement!).outlineStyle)).toBe('solid');
    await page.keyboard.press('Enter');
    await tabTo(page, '.vtabs [role="tab"]', '多媒体');
    await page.keyboard.press('Enter');
    await tabTo(page, '.chip', '静音');
    await page.keyboard.press('Enter');
    await tabTo(page, '.dialog .btn.primary');
    await page.keyboard.press('Enter');
    await written(page);
    await tabTo(page, '[role="tab"][aria-selected="true"]');
    await page.keyboard.press('ArrowRight');
    await tabTo(page, '[data-stage="1"] .stage-pick');
    await page.keyboard.press('Space');
    await expect.poll(writes).toEqual([
      { FuncName: 'CustomButton', Version: MOUSE_KEY, Mode: '1', TaskIndex: '14', Task: '静音', TaskType: 'Mouse', PlayCount: '1', PlayDelay: '0', PlayType: '1' },
      { FuncName: 'WriteDeviceMultimedia', Version: MOUSE_KEY, Index: '42', Length: '1', DrviceDataCode: '0x01' },
    ]);
    await page.keyboard.press('Control+Shift+KeyD');
    await page.waitForSelector('table.writes tr.ok');
    expect(await page.$$eval('table.writes tbody tr', (l) => l.length)).toBe(2);
    await context.close();
  });
});

describe('built pages', () => {
  it('use nothing newer than the engine (Chromium 87) and stay small', () => {
    const html = readFileSync(resolve(process.env.KF_WEB_OUT ?? resolve(__dirname, '../../dist/black'), 'client.html'), 'utf8');
    const newer = ['structuredClone', '.at(', 'Object.hasOwn', '.findLast(', '.toSorted(', 'aspect-ratio', ':has(', '@container', '??=', '||=', '&&='];
    expect(newer.filter((n) => html.includes(n))).toEqual([]);
    expect(html.length).toBeLessThan(1.5 * 1024 * 1024);
  });
});
