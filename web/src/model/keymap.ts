// Software key maps: trigger keys and mouse buttons that the client itself catches and answers
// with a macro, a key combination, a click, a text, a pointer move or a program. The whole map
// travels as key map XML with "RefreshVirtualDrive"; an empty map turns the feature off.
import { buildMacroText } from './macro';

// A trigger as the client's trigger table ("GetVirtualDevice") names it: keyboard keys by scan
// code and E0 flag, mouse buttons by their button-down flag with flag 10.
export interface TriggerDef {
  name: string;
  scancode: number;
  flag: number;
  vk: number; // the key's virtual key code, to find the key a person pressed; 0 for buttons
}

export type ActionType = 'macro' | 'Keyboard' | 'Mouse' | 'Text' | 'move' | 'Shortcut';
export const ACTION_TYPES: ActionType[] = ['macro', 'Keyboard', 'Mouse', 'Text', 'move', 'Shortcut'];

// The clicks a "Mouse" action can make, as the client names them.
export const CLICKS = ['单击左键()', '单击右键()', '单击中键()', '单击前进键()', '单击后退键()'] as const;

// Play modes: once (or N times), N times, while held, on/off.
export const PLAY_TYPES = [1, 3, 4] as const;

export interface KeyMapEntry {
  trigger: TriggerDef;
  type: ActionType;
  command: string; // macro text, chord, click, text, "dx,dy" or program
  label: string; // what the list shows (a macro's name)
  playType: number;
  playCount: number;
}

// The whole map as the screen shows it; off sends the empty map but keeps the entries.
export interface KeyMapState {
  enabled: boolean;
  entries: KeyMapEntry[];
}

const LEFT_BUTTON_FLAG = 1; // the left button is never a trigger
const isLeftButton = (scancode: number, flag: number) => flag === 10 && scancode === LEFT_BUTTON_FLAG;

// Limits on a map read from a file or page storage: more triggers than any trigger table has,
// commands as long as a long macro.
export const MAX_ENTRIES = 256;
export const MAX_COMMAND = 8192;
const MAX_NAME = 64;
const MAX_LABEL = 200;

// The trigger table: <map><key name scancode flag vkcode …/></map>.
export function parseTriggers(xml: string): TriggerDef[] {
  let doc: Document;
  try {
    doc = new DOMParser().parseFromString(xml, 'application/xml');
  } catch {
    return [];
  }
  if (doc.getElementsByTagName('parsererror').length) return [];
  return Array.from(doc.getElementsByTagName('key'))
    .map((k) => ({
      name: k.getAttribute('name') ?? '',
      scancode: Number(k.getAttribute('scancode')),
      flag: Number(k.getAttribute('flag')),
      vk: Number(k.getAttribute('vkcode')) || 0,
    }))
    .filter((t) => t.name && Number.isInteger(t.scancode) && Number.isInteger(t.flag) && !isLeftButton(t.scancode, t.flag));
}

export const isButton = (t: TriggerDef) => t.flag === 10;

// The virtual key code a key event stands for; left and right modifiers have codes of their own.
export function vkOf(e: { keyCode: number; location: number }): number {
  const right = e.location === 2 ? 1 : 0;
  if (e.keyCode === 16) return 160 + right;
  if (e.keyCode === 17) return 162 + right;
  if (e.keyCode === 18) return 164 + right;
  return e.keyCode;
}

// A pressed mouse button (MouseEvent.button) as its button-down flag.
export const BUTTON_FLAGS: Record<number, number> = { 1: 16, 2: 4, 3: 64, 4: 256 };

// What the client plays: type and command text of the key element.
export function wireAction(e: KeyMapEntry): { type: string; command: string } {
  if (e.type === 'move') {
    const [dx, dy] = e.command.split(',').map((v) => parseInt(v, 10) || 0);
    return { type: 'macro', command: buildMacroText([{ kind: 'relative', dx, dy }]) };
  }
  return { type: e.type, command: e.command };
}

const attr = (v: string | number) =>
  String(v).replace(/&/g, '&amp;').replace(/"/g, '&quot;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/\r?\n/g, '&#10;');

export function keyMapXml(entries: KeyMapEntry[]): string {
  const keys = entries.map((e) => {
    const a = wireAction(e);
    const count = e.playType === 1 ? Math.max(1, e.playCount) : 1;
    return `<key name="${attr(e.trigger.name)}" scancode="${e.trigger.scancode}" flag="${e.trigger.flag}" type="${attr(a.type)}" playtype="${e.playType}" playcount="${count}" playdelay="0"><command value="${attr(a.command)}"/></key>`;
  });
  return `<map>${keys.join('')}</map>`;
}

// The problem with an entry before it is sent, or null.
export function entryProblem(e: Pick<KeyMapEntry, 'type' | 'command'>): 'empty' | 'move' | null {
  if (!e.command.trim()) return 'empty';
  if (e.type === 'move' && !/^\s*-?\d+\s*,\s*-?\d+\s*$/.test(e.command)) return 'move';
  return null;
}

// An entry as read from a profile file or page storage, every field unchecked.
export interface LooseEntry {
  name?: unknown;
  scancode?: unknown;
  flag?: unknown;
  vk?: unknown;
  type?: unknown;
  command?: unknown;
  label?: unknown;
  playType?: unknown;
  playCount?: unknown;
}

function whole(v: unknown, lo: number, hi: number): number | null {
  if (v === null || v === undefined || v === '') return null;
  const n = Number(v);
  return Number.isInteger(n) && n >= lo && n <= hi ? n : null;
}

// The entry a stored record stands for, or null when it cannot be played as it is: the left
// button, an unknown action or an over-long command are dropped rather than sent.
export function entryFrom(x: LooseEntry): KeyMapEntry | null {
  const name = typeof x.name === 'string' ? x.name : '';
  const scancode = whole(x.scancode, 0, 0xffff);
  const flag = whole(x.flag, 0, 0xffff);
  const type = ACTION_TYPES.find((t) => t === x.type);
  const command = typeof x.command === 'string' ? x.command : '';
  if (!name || name.length > MAX_NAME || scancode === null || flag === null || isLeftButton(scancode, flag)) return null;
  if (!type || command.length > MAX_COMMAND || entryProblem({ type, command })) return null;
  const playType = PLAY_TYPES.find((p) => p === whole(x.playType, 1, 4)) ?? 1;
  const playCount = playType === 1 ? (whole(x.playCount, 1, 255) ?? 1) : 1;
  const label = typeof x.label === 'string' ? x.label.slice(0, MAX_LABEL) : '';
  return { trigger: { name, scancode, flag, vk: whole(x.vk, 0, 255) ?? 0 }, type, command, label, playType, playCount };
}

// Entries read from storage: at most MAX_ENTRIES, one per trigger (the first).
export function entriesFrom(list: LooseEntry[]): KeyMapEntry[] {
  const out: KeyMapEntry[] = [];
  for (const x of list.slice(0, MAX_ENTRIES)) {
    const e = entryFrom(x);
    if (e && !out.some((o) => o.trigger.scancode === e.trigger.scancode && o.trigger.flag === e.trigger.flag)) out.push(e);
  }
  return out;
}
