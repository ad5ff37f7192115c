// Flows a new user stumbled on: quitting from the title bar, a macro edited while it is on a
// button, the pointer as a computer setting, devices leaving and coming back, restarts, new and
// exported profiles, the recorder, the keyboard's lights, and keyboard-only navigation.
import type { Page } from 'playwright-core';
import { afterAll, describe, expect, it } from 'vitest';
import { close, KEYBOARD, MOUSE, open, resetRequests, type MockConfig } from './harness';

afterAll(close);

const OLD = '键盘按下(A)键盘弹起(A)';

async function ready(config: MockConfig = {}) {
  const o = await open({ devices: [MOUSE, KEYBOARD], ...config });
  await o.page.waitForFunction(() => Array.from((window as any).kfApp?.sessions?.values() ?? []).filter((s: any) => s.status === 'ready').length === 2);
  await resetRequests(o.page);
  return o;
}

// [name, steps, the requests the flow must send (only the listed commands are compared)]
const FLOWS: [string, (p: Page) => Promise<void>, string[], Record<string, string>[]][] = [
  [
    'Quit in the title-bar menu ends the client',
    async (p) => {
      await p.click('button[aria-label="Menu"]');
      await p.click('[role="menuitem"]:has-text("Quit Kestrafon")');
    },
    ['CloseApp', 'CloseX'],
    [{ FuncName: 'CloseApp' }],
  ],
  [
    'a saved macro offers to update the buttons that hold it',
    async (p) => {
      await p.evaluate((old) => {
        const a = (window as any).kfApp;
        const s = a.session;
        s.profile.setMacros([{ name: 'M', text: old }]);
        s.profile.setAssignment(s.profile.buttons(1).find((r: any) => r.index === 12), { type: 'Macro', command: old, playType: 1, playCount: 1, playDelay: 0, macro: 'M' });
        a.changed();
      }, OLD);
      await p.click('[data-screen="macros"]');
      await p.click('.btn:has-text("Add step")');
      await p.click('.btn:has-text("Save macro")');
      const banner = await p.waitForSelector('.stale');
      expect(await banner.textContent()).toContain('Mouse QZK-ZMC-V1.1.0 · mode 1 · Right button');
      await p.click('[data-screen="mouse"]');
      await p.waitForSelector('[data-button="12"] .tag.warn:has-text("older version")');
      await p.click('[data-screen="macros"]');
      await p.click('.btn:has-text("Write it to those buttons")');
      await p.click('[data-screen="mouse"]');
      await p.waitForSelector('.rows .wstatus.ok');
      expect(await p.$('[data-button="12"] .tag.warn')).toBeNull();
    },
    ['CustomButton'],
    [{ FuncName: 'CustomButton', Version: MOUSE.Version, Mode: '1', TaskIndex: '12', Task: `${OLD}延迟(50)`, TaskType: 'Macro', PlayCount: '1', PlayDelay: '0', PlayType: '1' }],
  ],
  [
    'pointer settings are applied, and the defaults are the X server\'s own acceleration',
    async (p) => {
      await p.click('[data-screen="pointer"]');
      await p.click('.btn:has-text("Restore defaults")');
      await p.waitForSelector('.wstatus.ok:has-text("Applied")');
      expect(await p.$('.wstatus:has-text("Written to device")')).toBeNull();
    },
    ['modifyMouseAcce', 'ModifyWindowAcceleratedSpeed'],
    [
      { FuncName: 'ModifyWindowAcceleratedSpeed', Num: '10' },
      { FuncName: 'modifyMouseAcce', Num: '3' },
    ],
  ],
  [
    'a restart is asked for first and says what it does',
    async (p) => {
      await p.click('.device:first-child .btn:has-text("Restart")');
      expect(await p.textContent('.dialog')).toContain('Its settings stay as they are.');
      await p.click('.dialog .btn.ghost:has-text("Cancel")');
      await p.click('.device:first-child .btn:has-text("Restart")');
      await p.click('.dialog .btn.primary:has-text("Restart")');
    },
    ['RestDevice'],
    [{ FuncName: 'RestDevice', Version: MOUSE.Version }],
  ],
  [
    'painting with the keyboard lights off says so and switches them on',
    async (p) => {
      await p.evaluate((k) => (window as any).kfApp.select(k), KEYBOARD.Version);
      await p.click('[data-screen="keyboard"]');
      await p.click('.lights-off .btn:has-text("Switch the lights on")');
      await p.waitForSelector('.lights-off', { state: 'detached' });
    },
    ['WriteDeviceMultimedia'],
    [{ FuncName: 'WriteDeviceMultimedia', Version: KEYBOARD.Version, Index: '161', Length: '1', DrviceDataCode: '0x01' }],
  ],
  [
    'the recorder shows the steps as they come, warns of a stray release and can space them evenly',
    async (p) => {
      await p.click('[data-screen="macros"]');
      await p.click('.btn:has-text("New macro")');
      await p.selectOption('.recorder select', 'fixed');
      await p.click('.btn:has-text("Record")');
      await p.waitForSelector('.record-pad:focus');
      await p.keyboard.down('KeyB');
      await p.waitForSelector('.steps.live li:has-text("Key down B")');
      await p.keyboard.up('KeyB');
      await p.keyboard.up('KeyC');
      await p.click('.btn:has-text("Stop")');
      await p.waitForSelector('.banner.warn:has-text("C was released without being pressed")');
      expect(await p.isDisabled('.btn:has-text("Write to device")')).toBe(true); // no button chosen yet
      expect(await p.$$eval('.write-bar option', (l) => l.map((o) => o.textContent))).toContain('Mouse QZK-ZMC-V1.1.0 · mode 1 · Right button');
      await p.selectOption('.write-bar select', '12');
      await p.click('.btn:has-text("Write to device")');
    },
    ['CustomButton'],
    [{ FuncName: 'CustomButton', Version: MOUSE.Version, Mode: '1', TaskIndex: '12', Task: '键盘按下(B)延迟(50)键盘弹起(B)延迟(50)键盘弹起(C)', TaskType: 'Macro', PlayCount: '1', PlayDelay: '0', PlayType: '1' }],
  ],
];

describe('flows', () => {
  it.each(FLOWS)('%s', async (_name, steps, commands, expected) => {
    const { page, requests, context } = await ready();
    await steps(page);
    await expect.poll(async () => (await requests()).filter((r) => commands.includes(r.FuncName))).toEqual(expected);
    await context.close();
  });
});

describe('devices and profiles', () => {
  it('says when the open device is disconnected and when it is back', async () => {
    const { page, context } = await ready();
    await page.click('[data-screen="mouse"]');
    const plug = (on: boolean) =>
      page.evaluate(([on, mouse]) => {
        const m = (window as any).__mock;
        m.devices = on ? [mouse, ...m.devices] : m.devices.filter((d: any) => d.Version !== (mouse as any).Version);
        m.emit('DevicesChanged', [on ? 2 : 1]);
      }, [on, MOUSE] as const);
    await plug(false);
    await page.waitForSelector('.notice:has-text("Mouse QZK-ZMC-V1.1.0 was disconnected.")');
    await page.waitForSelector('.empty:has-text("The mouse was disconnected.")');
    await plug(true);
    await page.waitForSelector('.notice:has-text("Mouse QZK-ZMC-V1.1.0 is connected again.")');
    await context.close();
  });

  it('chooses the device by name, names a new profile, and an exported file keeps that name', async () => {
    const path = '/home/u/mine.pfd';
    const { page, requests, context } = await ready({ dialogPath: path });
    await page.click('[data-screen="profiles"]');
    await page.selectOption('.device-pick select', KEYBOARD.Version);
    expect(await page.textContent('.screen-head .sub')).toContain('Keyboard QZK-ZKC-V1.1.0');
    await page.selectOption('.device-pick select', MOUSE.Version);
    await page.click('.btn:has-text("New profile")');
    expect(await page.isChecked('.new-profile input[type="radio"] >> nth=0')).toBe(true); // a copy of the current one
    await page.fill('.new-profile input.text', 'Tournament');
    await page.click('.new-profile .btn.primary');
    await page.click('.profile:has-text("Tournament") .btn:has-text("Use")');
    await page.waitForFunction(() => (window as any).kfApp.session.named.active === 'Tournament');
    await page.click('.btn:has-text("Export")');
    await page.waitForSelector('.notice.info:has-text("Exported")');
    const exported = (await requests()).find((r) => r.FuncName === 'ModifyFileFromStr' && r.FilePath === path)!;
    expect(exported.ContentStr).toContain('profilename="Tournament"');
    await context.close();
  });
});

describe('keyboard users', () => {
  it('skip to the page content with the first Tab', async () => {
    const { page, context } = await ready();
    await page.keyboard.press('Tab');
    expect(await page.evaluate(() => document.activeElement?.textContent)).toBe('Skip to the page content');
    await page.keyboard.press('Enter');
    expect(await page.evaluate(() => document.activeElement?.id)).toBe('content');
    await context.close();
  });
});

