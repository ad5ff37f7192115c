// Every key the pages know: its name in the lighting matrix, its value in the keyboard profile,
// its task in the driver table (what assignments and macros send), the browser's key code that
// produces it, its label and where it sits on the drawn keyboard (in key units).

export interface KeyDef {
  m: string; // lighting matrix name ("" when the key has no light)
  kb: string; // keyboard profile value
  task: string; // driver table task
  code: string; // KeyboardEvent.code
  label: string;
  x: number;
  y: number;
  w: number;
  h: number;
}

type Row = [m: string, kb: string, task: string, code: string, label: string, x: number, w?: number, h?: number];

function row(y: number, keys: Row[]): KeyDef[] {
  return keys.map(([m, kb, task, code, label, x, w = 1, h = 1]) => ({ m, kb, task, code, label, x, y, w, h }));
}

const letters = (s: string, x0: number): Row[] =>
  s.split('').map((c, i) => [c, c, c, `Key${c}`, c, x0 + i] as Row);

const F = (n: number, x: number): Row => [`F${n}`, `F${n}`, `F${n}`, `F${n}`, `F${n}`, x];

export const KEYS: KeyDef[] = [
  ...row(0, [
    ['ESC', 'Esc', 'Esc', 'Escape', 'Esc', 0],
    F(1, 2), F(2, 3), F(3, 4), F(4, 5), F(5, 6.5), F(6, 7.5), F(7, 8.5), F(8, 9.5),
    F(9, 11), F(10, 12), F(11, 13), F(12, 14),
    ['PRINTSCREEN', 'PRINTSCREEN', 'Print Screen', 'PrintScreen', 'PrtSc', 15.25],
    ['SCROLLLOCK', 'SCROLLLOCK', 'Scroll Lock', 'ScrollLock', 'ScrLk', 16.25],
    ['PAUSE', 'PAUSE', 'Pause', 'Pause', 'Pause', 17.25],
  ]),
  ...row(1.25, [
    ['TILDE', '~', '`', 'Backquote', '`', 0],
    ...'1234567890'.split('').map((c, i) => [c, c, c, `Digit${c}`, c, 1 + i] as Row),
    ['MINUS', '-', '-', 'Minus', '-', 11],
    ['EQUAL', '+', '=', 'Equal', '=', 12],
    ['BACKSPACE', 'Backspace', 'BACKSPACE', 'Backspace', 'Backspace', 13, 2],
    ['INSERT', 'INSERT', 'Insert', 'Insert', 'Ins', 15.25],
    ['HOME', 'HOME', 'Home', 'Home', 'Home', 16.25],
    ['PAGEUP', 'PAGEUP', 'Page Up', 'PageUp', 'PgUp', 17.25],
    ['NUMLOCK', 'Num Lock', 'Num Lock', 'NumLock', 'Num', 18.5],
    ['NUMSLASH', 'Num /', 'Num /', 'NumpadDivide', '/', 19.5],
    ['NUMSTAR', 'Num *', 'Num *', 'NumpadMultiply', '*', 20.5],
    ['NUMMINUS', 'Num -', 'Num -', 'NumpadSubtract', '-', 21.5],
  ]),
  ...row(2.25, [
    ['TAB', 'Tab', 'Tab', 'Tab', 'Tab', 0, 1.5],
    ...letters('QWERTYUIOP', 1.5),
    ['LBRACKET', '[', '[', 'BracketLeft', '[', 11.5],
    ['RBRACKET', ']', ']', 'BracketRight', ']', 12.5],
    ['BACKSLASH', '\\', '\\', 'Backslash', '\\', 13.5, 1.5],
    ['DELETE', 'DELETE', 'Delete', 'Delete', 'Del', 15.25],
    ['END', 'END', 'End', 'End', 'End', 16.25],
    ['PAGEDOWN', 'PAGEDOWN', 'Page Down', 'PageDown', 'PgDn', 17.25],
    ['NUM7', 'Num 7', 'Num 7', 'Numpad7', '7', 18.5],
    ['NUM8', 'Num 8', 'Num 8', 'Numpad8', '8', 19.5],
    ['NUM9', 'Num 9', 'Num 9', 'Numpad9', '9', 20.5],
    ['NUMPLUS', 'Num +', 'Num +', 'NumpadAdd', '+', 21.5, 1, 2],
  ]),
  ...row(3.25, [
    ['CAPSLOCK', 'CapsLock', 'CapsLock', 'CapsLock', 'Caps', 0, 1.75],
    ...letters('ASDFGHJKL', 1.75),
    ['SEMICOLON', ';', ';', 'Semicolon', ';', 10.75],
    ['QUOTE', "'", "'", 'Quote', "'", 11.75],
    ['ENTER', 'Enter', 'ENTER', 'Enter', 'Enter', 12.75, 2.25],
    ['NUM4', 'Num 4', 'Num 4', 'Numpad4', '4', 18.5],
    ['NUM5', 'Num 5', 'Num 5', 'Numpad5', '5', 19.5],
    ['NUM6', 'Num 6', 'Num 6', 'Numpad6', '6', 20.5],
  ]),
  ...row(4.25, [
    ['LSHIFT', 'LSHIFT', 'LEFT SHIFT', 'ShiftLeft', 'Shift', 0, 2.25],
    ...letters('ZXCVBNM', 2.25),
    ['COMMA', ',', ',', 'Comma', ',', 9.25],
    ['PERIOD', '.', '.', 'Period', '.', 10.25],
    ['SLASH', '/', '/', 'Slash', '/', 11.25],
    ['RSHIFT', 'RSHIFT', 'Right SHIFT', 'ShiftRight', 'Shift', 12.25, 2.75],
    ['UP', 'UP', 'Up', 'ArrowUp', '↑', 16.25],
    ['NUM1', 'Num 1', 'Num 1', 'Numpad1', '1', 18.5],
    ['NUM2', 'Num 2', 'Num 2', 'Numpad2', '2', 19.5],
    ['NUM3', 'Num 3', 'Num 3', 'Numpad3', '3', 20.5],
    ['NUMENTER', 'Num Enter', 'Num Enter', 'NumpadEnter', 'Ent', 21.5, 1, 2],
  ]),
  ...row(5.25, [
    ['LCTRL', 'LCTRL', 'LEFT CTRL', 'ControlLeft', 'Ctrl', 0, 1.25],
    ['LWIN', 'LWIN', 'LEFT WIN', 'MetaLeft', 'Win', 1.25, 1.25],
    ['LALT', 'LALT', 'LEFT ALT', 'AltLeft', 'Alt', 2.5, 1.25],
    ['SPACEBAR', 'Space', 'SPACE', 'Space', 'Space', 3.75, 6.25],
    ['RALT', 'RALT', 'Right ALT', 'AltRight', 'Alt', 10, 1.25],
    ['FN', 'FN', '', '', 'Fn', 11.25, 1.25],
    ['APPKEY', 'APPkey', 'Application', 'ContextMenu', 'Menu', 12.5, 1.25],
    ['RCTRL', 'RCTRL', 'Right CTRL', 'ControlRight', 'Ctrl', 13.75, 1.25],
    ['LEFT', 'LEFT', 'Left', 'ArrowLeft', '←', 15.25],
    ['DOWN', 'DOWN', 'Down', 'ArrowDown', '↓', 16.25],
    ['RIGHT', 'RIGHT', 'Right', 'ArrowRight', '→', 17.25],
    ['NUM0', 'Num 0', 'Num 0', 'Numpad0', '0', 18.5, 2],
    ['NUMPERIOD', 'Num .', 'Num .', 'NumpadDecimal', '.', 20.5],
  ]),
];

export const KEYBOARD_WIDTH_UNITS = 22.5;
export const KEYBOARD_HEIGHT_UNITS = 6.25;

// Keys that are not on the drawn keyboard but can be captured (the right Windows key).
const EXTRA_CAPTURE: Record<string, { task: string; label: string }> = {
  MetaRight: { task: 'Right Windows', label: 'Win' },
};

const BY_CODE = new Map(KEYS.filter((k) => k.code).map((k) => [k.code, k]));
const BY_TASK = new Map(KEYS.filter((k) => k.task).map((k) => [k.task, k]));

// The driver-table task for a pressed key, or null for keys the device cannot send.
export function taskForCode(code: string): string | null {
  return BY_CODE.get(code)?.task ?? EXTRA_CAPTURE[code]?.task ?? null;
}

// What a task looks like to a person: the key's label ("Ctrl" for both control keys).
export function labelForTask(task: string): string {
  const generic: Record<string, string> = { Ctrl: 'Ctrl', Shift: 'Shift', Alt: 'Alt', Win: 'Win' };
  if (generic[task]) return generic[task];
  const key = BY_TASK.get(task);
  if (!key) return task;
  if (/^(LEFT|Right) /.test(task)) return `${task.startsWith('LEFT') ? 'L' : 'R'}${key.label}`;
  if (key.m.startsWith('NUM') && key.m !== 'NUMLOCK') return `Num ${key.label}`;
  return key.label === '`' ? '`' : key.label;
}

// Chords: modifiers travel as the driver table's generic modifiers (Ctrl, Shift, Alt, Win), in
// this order, before the one key. The device keeps at most three parts.
export const CHORD_MODIFIERS = ['Ctrl', 'Shift', 'Alt', 'Win'] as const;
export const MAX_CHORD_PARTS = 3;

const MODIFIER_CODES: Record<string, (typeof CHORD_MODIFIERS)[number]> = {
  ControlLeft: 'Ctrl',
  ControlRight: 'Ctrl',
  ShiftLeft: 'Shift',
  ShiftRight: 'Shift',
  AltLeft: 'Alt',
  AltRight: 'Alt',
  MetaLeft: 'Win',
  MetaRight: 'Win',
};

export function modifierForCode(code: string): string | null {
  return MODIFIER_CODES[code] ?? null;
}

export function chordText(modifiers: string[], key: string | null): string {
  const mods = CHORD_MODIFIERS.filter((m) => modifiers.includes(m));
  return [...mods, ...(key ? [key] : [])].join('+');
}

export function chordLabel(chord: string): string {
  return chord
    .split('+')
    .filter(Boolean)
    .map((p) => labelForTask(p))
    .join(' + ');
}

export function keyByMatrixName(name: string): KeyDef | undefined {
  return KEYS.find((k) => k.m === name);
}

export function keyByProfileValue(value: string): KeyDef | undefined {
  return KEYS.find((k) => k.kb === value);
}
