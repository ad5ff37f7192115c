// @vitest-environment jsdom
import { readFileSync } from 'node:fs';
import { resolve } from 'node:path';
import { describe, expect, it } from 'vitest';
import { plannedWrites } from '../../src/model/applyAll';
import { chooseProfile, PROFILE_NAMES } from '../../src/model/identity';
import { Profile } from '../../src/model/profile';

const drive = (name: string) => readFileSync(resolve(__dirname, '../../../resources/drive', name), 'utf8');
const load = (name: string) => Profile.parse(drive(name));

describe('profile XML', () => {
  it.each([
    // name, kind, layout, modes, buttons in mode 1, stages, light sets, macro slots
    ['MA1', 'mouse', 'flat', 3, 6, 5, 3, 20],
    ['MG1', 'mouse', 'flat', 3, 7, 5, 3, 20],
    ['MG1En', 'mouse', 'sectioned', 3, 7, 5, 3, 10],
    ['MG3En', 'mouse', 'sectioned', 3, 7, 4, 3, 10],
    ['KB1', 'keyboard', 'flat', 1, 0, 0, 0, 20],
  ])('reads %s', (name, kind, layout, modes, buttons, stages, lights, slots) => {
    const p = load(name);
    expect([p.kind, p.layout, p.modes().length, p.buttons(1).length, p.dpiStages(1).length, p.lightSets(1).length, p.macroSlots().length]).toEqual([
      kind, layout, modes, buttons, stages, lights, slots,
    ]);
  });

  it('edits values in place and writes them back with what the pages add', () => {
    const p = load('MG1En'); // starts with a byte-order mark
    p.setDpi(2, 'Dpi1', 3200);
    p.setValue('LightRGB1', 2, 'FF0000');
    const row = p.buttons(2)[0];
    p.setAssignment(row, { type: 'Macro', command: '键盘按下(A)键盘弹起(A)', playType: 3, playCount: 2, playDelay: 40, macro: 'm1' });
    p.setMacros([{ name: 'm1', text: '键盘按下(A)键盘弹起(A)' }]);
    p.setKeyColours({ ESC: 'FF0000', FN: '00FF00' });
    const back = Profile.parse(p.serialize());
    expect(back.dpiStages(2)[1]).toEqual({ name: 'Dpi1', index: 44, value: 3200 });
    expect(back.dpiStages(1)[1].value).toBe(1500); // other modes untouched
    expect(back.value('LightRGB1', 2)).toBe('FF0000');
    expect(back.buttons(2)[0]).toMatchObject({ type: 'Macro', playType: 3, playCount: 2, playDelay: 40, macro: 'm1', index: 11 });
    expect(back.macros()).toEqual([{ name: 'm1', text: '键盘按下(A)键盘弹起(A)' }]);
    expect(back.keyColours()).toEqual({ ESC: 'FF0000', FN: '00FF00' });
    expect(back.maxDpi).toBe(5000);
    expect(back.deviceRow('LeftNum')?.getAttribute('total')).toBe('20000000'); // unknown rows survive
  });

  it('keeps the software key map, leaving out entries that cannot be played', () => {
    const p = load('MA1');
    expect(p.softKeyMap()).toBeNull(); // a file from before key maps were kept in profiles
    const f2 = { trigger: { name: 'F2', scancode: 60, flag: 0, vk: 113 }, type: 'Text' as const, command: '你好 "<x>" & y', label: '', playType: 1, playCount: 3 };
    const right = { trigger: { name: '右键', scancode: 4, flag: 10, vk: 0 }, type: 'macro' as const, command: '延迟(5)', label: 'm1', playType: 4, playCount: 1 };
    p.setSoftKeyMap({ enabled: false, entries: [f2, right] });
    expect(Profile.parse(p.serialize()).softKeyMap()).toEqual({ enabled: false, entries: [f2, right] });
    const entry = (a: Record<string, string>) =>
      `<entry ${Object.entries({ name: 'K', scancode: '30', flag: '0', type: 'Keyboard', command: 'Ctrl+C', ...a }).map(([k, v]) => `${k}="${v}"`).join(' ')}/>`;
    const damaged = [
      entry({ scancode: 'x' }), entry({ type: 'Run' }), entry({ command: '' }), entry({ command: 'a'.repeat(9000) }),
      entry({ name: '左键', scancode: '1', flag: '10' }), '<entry/>', 'text', '<other name="K" scancode="30" flag="0" type="Keyboard" command="x"/>',
    ];
    const xml = drive('MA1').replace('</configuration>', `<softkeymap enabled="yes">${damaged.join('')}</softkeymap></configuration>`);
    expect(Profile.parse(xml).softKeyMap()).toEqual({ enabled: true, entries: [] });
    const many = Array.from({ length: 300 }, (_, i) => `<entry name="K${i}" scancode="${i + 2}" flag="0" type="Text" command="a" playtype="9" playcount="999"/>`);
    const capped = Profile.parse(drive('MA1').replace('</configuration>', `<softkeymap>${many.join('')}</softkeymap></configuration>`)).softKeyMap()!;
    expect([capped.entries.length, capped.entries[0].playType, capped.entries[0].playCount]).toEqual([256, 1, 1]);
  });

  it.each(['', 'not xml', '<html><body/></html>', '<configuration><key name="x"/></configuration>'])('refuses %j', (text) => {
    expect(() => Profile.parse(text)).toThrow();
  });

  it('chooses the built-in profile from the firmware and the USB id', () => {
    const ids = PROFILE_NAMES.map((name) => ({ name, usbId: load(name).usbId, firmware: load(name).firmware }));
    const dev = (version: string, pid: string, prefix = 'QZK') => ({ DevicePath: `x/vid_258a&pid_${pid}&mi_01&col02`, Sn: '', Version: version, LastVersionNum: '', QZVersion: prefix });
    expect(chooseProfile(dev('QZK-ZMC-V1.1.0', '001a'), ids)).toBe('MA1');
    expect(chooseProfile(dev('QZK-ZMC-V1.2.0', '001a'), ids)).toBe('MA2');
    expect(chooseProfile(dev('QZK-ZMC-V1.1.0', '0012'), ids)).toBe('MG1En');
    expect(chooseProfile(dev('QZK-ZMC-V9.9.9', '0012'), ids)).toBe('MG1En');
    expect(chooseProfile(dev('QZK-ZKC-V1.1.0', '001a'), ids)).toBe('KB1');
    expect(chooseProfile(dev('QZK-ZKC-V2.0.0', 'ffff'), ids)).toBe('KB1');
    expect(chooseProfile(dev('ABC-ZMC-V1.1.0', '001a', 'ABC'), ids)).toBeNull();
  });

  it('plans one write per device row', () => {
    const mouse = plannedWrites(load('MA1'), 'V').map((w) => w.label);
    expect(mouse.filter((l) => l === '左键')).toHaveLength(3); // a button in each of the three modes
    expect(mouse).toHaveLength(18 + 5 + 1 + 15 + 3);
    expect(plannedWrites(load('MG1En'), 'V', 2)).toHaveLength(7 + 5 + 1 + 15 + 3);
    expect(plannedWrites(load('KB1'), 'V').map((w) => w.label)).toEqual([
      'LightSwitch', 'LightMode', 'LightBrightness', 'LightSpeed', 'LightDirection', 'LightRGB', 'keycolours',
    ]);
  });
});
