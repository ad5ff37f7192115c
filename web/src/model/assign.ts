// Button assignments: what a profile row holds (type and command, as "CustomButton" takes
// them), how the pages describe it, and the device writes for settings rows.
import type { ButtonWrite } from '../bridge/protocol';
import { fmt, type Locale, type Strings } from '../i18n';
import { functionLabel } from './functions';
import { chordLabel } from './keys';
import type { ButtonRow } from './profile';

export interface Assignment {
  type: string; // "Mouse", "Keyboard", "DPI", "Macro"
  command: string;
  playType: number;
  playCount: number;
  playDelay: number;
  macro?: string;
}

export const DISABLED: Assignment = { type: 'Mouse', command: '', playType: 1, playCount: 1, playDelay: 0 };

export function fromRow(row: ButtonRow): Assignment {
  return { type: row.type || 'Mouse', command: row.command, playType: row.playType, playCount: row.playCount, playDelay: row.playDelay, macro: row.macro };
}

export function describe(a: Assignment, locale: Locale, t: Strings): string {
  const type = a.type.toUpperCase();
  if (!a.command) return t.assign.disabled;
  if (type === 'MOUSE' || type === 'MACROFUN') return functionLabel(a.command, locale) ?? a.command;
  if (type === 'KEYBOARD' || type === 'HOTKEY') return chordLabel(a.command);
  if (type === 'DPI') return fmt(t.assign.dpiLabel, { dpi: a.command.split('|')[1] ?? '' });
  if (type === 'MACRO') return fmt(t.assign.macroLabel, { name: a.macro || '…' });
  return a.command;
}

export function buttonWrite(version: string, row: { index: number; mode: number }, a: Assignment): ButtonWrite {
  return {
    version,
    mode: row.mode,
    taskIndex: row.index,
    task: a.command,
    taskType: a.type,
    playCount: a.playCount,
    playDelay: a.playDelay,
    playType: a.playType,
  };
}

// A one-byte setting as the client writes it: the number as a hexadecimal byte token.
export function byteCode(value: number): string {
  const v = Math.max(0, Math.min(255, Math.trunc(value)));
  return `0x${v.toString(16).padStart(2, '0').toUpperCase()}`;
}

// The name of a mouse button row in the page's words.
const BUTTON_KEYS: Record<string, keyof Strings['buttonNames']> = {
  左键: 'left',
  'LEFT CLICK': 'left',
  右键: 'right',
  'RIGHT CLICK': 'right',
  中键: 'middle',
  'MIDDLE CLICK': 'middle',
  前进: 'forward',
  FORWARD: 'forward',
  后退: 'back',
  BACKWARD: 'back',
  DPI循环: 'dpi',
  'DPI CYCLING': 'dpi',
  精准定位: 'precision',
  PRECISION: 'precision',
};

export function buttonName(name: string, t: Strings): string {
  const key = BUTTON_KEYS[name];
  return key ? t.buttonNames[key] : name;
}

export function buttonSlotKey(name: string): string {
  return BUTTON_KEYS[name] ?? name;
}
