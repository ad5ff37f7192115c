// A device profile: the XML the client ships for each model (root `configuration`, rows `key`
// with a parameter `index` and byte `length`), plus what the pages add to keep a person's
// settings in the same file: a macro library (`macros`), per-key colours (`keycolours`) and
// the software key map (`softkeymap`). The document is edited in place so rows and attributes the pages do not know survive.

export type DeviceKind = 'mouse' | 'keyboard';
export type Layout = 'flat' | 'sectioned' | 'template';

export interface ButtonRow {
  el: Element;
  name: string;
  index: number;
  mode: number; // 1-based profile mode the row belongs to
  type: string;
  command: string;
  playType: number;
  playCount: number;
  playDelay: number;
  macro: string; // name of the library macro assigned, if any
}

export interface MacroDef {
  name: string;
  text: string;
}

export interface ModeRef {
  id: number; // 1-based; what "CustomButton" gets as Mode
  label: string;
}

import { entriesFrom, MAX_ENTRIES, type KeyMapState } from './keymap';

const XML_DECL = '<?xml version="1.0" encoding="utf-8"?>\n';

function num(v: string | null | undefined, fallback = 0): number {
  const n = parseInt(v ?? '', 10);
  return Number.isFinite(n) ? n : fallback;
}

export class ProfileError extends Error {}

export class Profile {
  private constructor(readonly doc: Document) {}

  // Reads a profile text; a byte-order mark is accepted. Anything that is not a profile (not
  // XML, another root, no parameter rows) is refused with the reason.
  static parse(text: string): Profile {
    const clean = text.replace(/^\uFEFF/, '').trim();
    if (!clean) throw new ProfileError('empty');
    const doc = new DOMParser().parseFromString(clean, 'application/xml');
    if (doc.getElementsByTagName('parsererror').length > 0) throw new ProfileError('not XML');
    const root = doc.documentElement;
    if (!root || root.tagName !== 'configuration') throw new ProfileError('not a profile');
    const rows = Array.from(root.getElementsByTagName('key'));
    if (!rows.some((r) => r.hasAttribute('index'))) throw new ProfileError('no device rows');
    return new Profile(doc);
  }

  clone(): Profile {
    return new Profile(this.doc.cloneNode(true) as Document);
  }

  // The name the person gave the profile, kept in the file so an exported profile keeps it.
  get profileName(): string {
    return this.root.getAttribute('profilename') ?? '';
  }

  set profileName(name: string) {
    if (name) this.root.setAttribute('profilename', name);
    else this.root.removeAttribute('profilename');
  }

  serialize(): string {
    return XML_DECL + new XMLSerializer().serializeToString(this.doc.documentElement);
  }

  get root(): Element {
    return this.doc.documentElement;
  }

  get kind(): DeviceKind {
    return this.root.getAttribute('Ver') === 'K2.0' || /-ZKC/.test(this.firmware) ? 'keyboard' : 'mouse';
  }

  get layout(): Layout {
    if (this.child(this.root, 'conf')) return 'sectioned';
    return this.root.getAttribute('Ver') === '1.0' ? 'template' : 'flat';
  }

  private child(parent: Element, tag: string): Element | null {
    return Array.from(parent.children).find((c) => c.tagName === tag) ?? null;
  }

  private rows(parent: Element): Element[] {
    return Array.from(parent.children).filter((c) => c.tagName === 'key');
  }

  // A device row (UsbId, FirmwareVersion, SN, MaxDPI, ...): in `conf` or at the top.
  deviceRow(name: string): Element | null {
    const conf = this.child(this.root, 'conf') ?? this.root;
    return this.rows(conf).find((r) => r.getAttribute('name') === name) ?? null;
  }

  get usbId(): string {
    return (this.deviceRow('UsbId')?.getAttribute('value') ?? '').toLowerCase();
  }

  get firmware(): string {
    return this.deviceRow('FirmwareVersion')?.getAttribute('value') ?? '';
  }

  modes(): ModeRef[] {
    if (this.layout === 'sectioned') {
      return Array.from(this.root.getElementsByTagName('mode'))
        .filter((m) => m.parentElement === this.root)
        .map((m) => ({ id: num(m.getAttribute('index')) + 1, label: m.getAttribute('name') ?? '' }));
    }
    const ids = new Set<number>();
    for (const r of this.rows(this.root)) if (r.hasAttribute('mode')) ids.add(num(r.getAttribute('mode'), 1));
    const list = Array.from(ids).sort((a, b) => a - b);
    return (list.length ? list : [1]).map((id) => ({ id, label: `Conf${id}` }));
  }

  // Where the per-mode rows of `mode` live.
  private scope(mode: number): Element {
    if (this.layout !== 'sectioned') return this.root;
    const modes = Array.from(this.root.children).filter((c) => c.tagName === 'mode');
    return modes.find((m) => num(m.getAttribute('index')) + 1 === mode) ?? modes[0] ?? this.root;
  }

  setting(name: string, mode: number): Element | null {
    return this.rows(this.scope(mode)).find((r) => r.getAttribute('name') === name) ?? this.deviceRow(name);
  }

  value(name: string, mode: number, attr = 'value'): string {
    return this.setting(name, mode)?.getAttribute(attr) ?? '';
  }

  setValue(name: string, mode: number, v: string, attr = 'value'): void {
    this.setting(name, mode)?.setAttribute(attr, v);
  }

  // Mouse button rows: the rows with a button slot (length 15) and the key-table columns.
  buttons(mode: number): ButtonRow[] {
    const flat = this.layout !== 'sectioned';
    return this.rows(this.scope(mode))
      .filter((r) => r.hasAttribute('scancode') && r.getAttribute('length') === '15')
      .filter((r) => !flat || !r.hasAttribute('mode') || num(r.getAttribute('mode'), 1) === mode)
      .map((el) => this.buttonRow(el, mode));
  }

  // Keyboard key rows ("Button0" ... with the key in `value`).
  keyRows(): ButtonRow[] {
    return this.rows(this.root)
      .filter((r) => /^Button\d+$/.test(r.getAttribute('name') ?? ''))
      .map((el) => this.buttonRow(el, 1));
  }

  private buttonRow(el: Element, mode: number): ButtonRow {
    return {
      el,
      name: el.getAttribute('name') ?? '',
      index: num(el.getAttribute('index')),
      mode,
      type: el.getAttribute('type') ?? '',
      command: el.getAttribute('command') ?? '',
      playType: num(el.getAttribute('playtype'), 1) || 1,
      playCount: num(el.getAttribute('playcount'), 1) || 1,
      playDelay: num(el.getAttribute('playdelay'), 0),
      macro: el.getAttribute('macro') ?? '',
    };
  }

  setAssignment(row: ButtonRow, a: { type: string; command: string; playType: number; playCount: number; playDelay: number; macro?: string }): void {
    row.el.setAttribute('type', a.type);
    row.el.setAttribute('command', a.command);
    row.el.setAttribute('playtype', String(a.playType));
    row.el.setAttribute('playcount', String(a.playCount));
    row.el.setAttribute('playdelay', String(a.playDelay));
    if (a.macro) row.el.setAttribute('macro', a.macro);
    else row.el.removeAttribute('macro');
  }

  // DPI stages of a mode ("Dpi0" ...): parameter index and value (x = y).
  dpiStages(mode: number): { name: string; index: number; value: number }[] {
    return this.rows(this.scope(mode))
      .filter((r) => /^Dpi\d+$/.test(r.getAttribute('name') ?? ''))
      .map((r) => ({ name: r.getAttribute('name')!, index: num(r.getAttribute('index')), value: num(r.getAttribute('x')) }));
  }

  setDpi(mode: number, name: string, value: number): void {
    const row = this.setting(name, mode);
    row?.setAttribute('x', String(value));
    row?.setAttribute('y', String(value));
  }

  // The highest DPI the model offers; profiles without a "MaxDPI" row get the family's 8000.
  get maxDpi(): number {
    return num(this.deviceRow('MaxDPI')?.getAttribute('value'), 8000) || 8000;
  }

  // Light sets present in a mode ("LightTheme1" ... ): 1, 2, 3.
  lightSets(mode: number): number[] {
    return this.rows(this.scope(mode))
      .map((r) => /^LightTheme(\d+)$/.exec(r.getAttribute('name') ?? ''))
      .filter((m): m is RegExpExecArray => m !== null)
      .map((m) => num(m[1]));
  }

  macroSlots(): { name: string; index: number; length: number }[] {
    return Array.from(this.root.getElementsByTagName('key'))
      .filter((r) => /^macro\d+$/.test(r.getAttribute('task') ?? ''))
      .map((r) => ({ name: r.getAttribute('name') ?? '', index: num(r.getAttribute('index')), length: num(r.getAttribute('length'), 200) }));
  }

  // ---- what the pages add ----

  private ensure(tag: string): Element {
    let el = this.child(this.root, tag);
    if (!el) {
      el = this.doc.createElement(tag);
      this.root.appendChild(el);
    }
    return el;
  }

  macros(): MacroDef[] {
    const lib = this.child(this.root, 'macros');
    if (!lib) return [];
    return Array.from(lib.children)
      .filter((c) => c.tagName === 'macro')
      .map((c) => ({ name: c.getAttribute('name') ?? '', text: c.getAttribute('text') ?? '' }))
      .filter((m) => m.name);
  }

  setMacros(list: MacroDef[]): void {
    const lib = this.ensure('macros');
    while (lib.firstChild) lib.removeChild(lib.firstChild);
    for (const m of list) {
      const el = this.doc.createElement('macro');
      el.setAttribute('name', m.name);
      el.setAttribute('text', m.text);
      lib.appendChild(el);
    }
  }

  keyColours(): Record<string, string> {
    const out: Record<string, string> = {};
    const el = this.child(this.root, 'keycolours');
    for (const c of el ? Array.from(el.children).filter((c) => c.tagName === 'colour') : []) {
      const name = c.getAttribute('name');
      const rgb = (c.getAttribute('rgb') ?? '').toUpperCase();
      if (name && /^[0-9A-F]{6}$/.test(rgb)) out[name] = rgb;
    }
    return out;
  }

  setKeyColours(colours: Record<string, string>): void {
    const el = this.ensure('keycolours');
    while (el.firstChild) el.removeChild(el.firstChild);
    for (const [name, rgb] of Object.entries(colours)) {
      const k = this.doc.createElement('colour');
      k.setAttribute('name', name);
      k.setAttribute('rgb', rgb);
      el.appendChild(k);
    }
  }

  // The software key map kept with this profile, or null for a file from before key maps were
  // kept here. Entries that cannot be played as they stand are left out.
  softKeyMap(): KeyMapState | null {
    const el = this.child(this.root, 'softkeymap');
    if (!el) return null;
    const rows = Array.from(el.children)
      .filter((c) => c.tagName === 'entry')
      .slice(0, MAX_ENTRIES)
      .map((c) => ({
        name: c.getAttribute('name'),
        scancode: c.getAttribute('scancode'),
        flag: c.getAttribute('flag'),
        vk: c.getAttribute('vk'),
        type: c.getAttribute('type'),
        command: c.getAttribute('command'),
        label: c.getAttribute('label'),
        playType: c.getAttribute('playtype'),
        playCount: c.getAttribute('playcount'),
      }));
    return { enabled: el.getAttribute('enabled') !== '0', entries: entriesFrom(rows) };
  }

  setSoftKeyMap(map: KeyMapState): void {
    const el = this.ensure('softkeymap');
    el.setAttribute('enabled', map.enabled ? '1' : '0');
    while (el.firstChild) el.removeChild(el.firstChild);
    for (const e of map.entries) {
      const k = this.doc.createElement('entry');
      const attrs: [string, string | number][] = [
        ['name', e.trigger.name],
        ['scancode', e.trigger.scancode],
        ['flag', e.trigger.flag],
        ['vk', e.trigger.vk],
        ['type', e.type],
        ['command', e.command],
        ['label', e.label],
        ['playtype', e.playType],
        ['playcount', e.playCount],
      ];
      for (const [name, value] of attrs) k.setAttribute(name, String(value));
      el.appendChild(k);
    }
  }
}
