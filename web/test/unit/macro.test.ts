import { describe, expect, it } from 'vitest';
import { buildMacroText, checkMacroFits, macroBytes, parseMacroText, stepsFromCapture, type Step } from '../../src/model/macro';

describe('macro text', () => {
  const steps: Step[] = [
    { kind: 'keyDown', key: 'LEFT CTRL' },
    { kind: 'keyDown', key: 'A' },
    { kind: 'delay', ms: 1000 },
    { kind: 'keyUp', key: 'A' },
    { kind: 'mouseDown', button: '右键' },
    { kind: 'mouseUp', button: '右键' },
    { kind: 'wheelUp', amount: 1 },
    { kind: 'wheelDown', amount: 2 },
    { kind: 'absolute', x: 300, y: 40 },
    { kind: 'relative', dx: 10, dy: -5 },
    { kind: 'recoil', dx: 0, dy: 3 },
    { kind: 'lowerLeft', dx: 3, dy: 4 },
    { kind: 'upperRight', dx: -2, dy: 1 },
  ];

  it('writes the client step names and reads them back unchanged', () => {
    const text = buildMacroText(steps);
    expect(text.startsWith('键盘按下(LEFT CTRL)键盘按下(A)延迟(1000)键盘弹起(A)鼠标按下(右键)鼠标弹起(右键)上滚动(1)下滚动(2)绝对定位XY(300,40)')).toBe(true);
    expect(text.endsWith('相对定位XY(10,-5)弹道压枪XY(0,3)向左下角修正(3,4)向右上角修正(-2,1)')).toBe(true);
    expect(parseMacroText(text)).toEqual({ steps, skipped: 0 });
  });

  it.each([
    ['键盘按下(ctrl)', [{ kind: 'keyDown', key: 'LEFT CTRL' }], 0],
    ['延迟(99999)', [{ kind: 'delay', ms: 65535 }], 0],
    ['跳舞(1)键盘弹起(B)', [{ kind: 'keyUp', key: 'B' }], 1],
    ['(A)鼠标按下(侧键)', [], 2],
    ['  键盘按下 ( A ) ', [{ kind: 'keyDown', key: 'A' }], 0],
  ])('reads %s like the client does', (text, expected, skipped) => {
    expect(parseMacroText(text)).toEqual({ steps: expected, skipped });
  });

  it('counts the device bytes and refuses what does not fit the slot', () => {
    expect(macroBytes(steps)).toBe(3 * 8 + 6 + 6 + 3 + 6 + 6);
    const keys = (n: number): Step[] => Array.from({ length: n }, () => ({ kind: 'keyDown', key: 'A' }) as Step);
    expect(checkMacroFits(keys(65))).toBeNull(); // 195 bytes + 4 header
    expect(checkMacroFits(keys(66))).toEqual({ reason: 'tooLong', bytes: 198, limit: 196 });
    expect(checkMacroFits([])).toEqual({ reason: 'empty' });
    expect(checkMacroFits(keys(10), 30)).toEqual({ reason: 'tooLong', bytes: 30, limit: 26 });
  });

  it('turns a recording into steps with the pauses between them', () => {
    const got = stepsFromCapture([
      { t: 0, down: true, key: 'A' },
      { t: 5, down: true, button: '左键' },
      { t: 120.4, down: false, key: 'A' },
      { t: 200, down: false, button: '左键' },
    ]);
    expect(buildMacroText(got)).toBe('键盘按下(A)鼠标按下(左键)延迟(115)键盘弹起(A)延迟(80)鼠标弹起(左键)');
  });
});
