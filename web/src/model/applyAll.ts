// Every device write a profile stands for, in order: what switching to a profile (or "write
// all") sends so the device holds exactly what the profile says.
import type { Answer, CommandClient } from '../bridge/protocol';
import { buttonWrite, byteCode, fromRow } from './assign';
import type { Profile } from './profile';

export interface PlannedWrite {
  label: string; // row name, for the failure list
  send: (p: CommandClient) => Promise<Answer>;
}

const ONE_BYTE_ROWS = /^(CurDpi|LightTheme\d|LightBrightness\d|LightSpeed\d|LightTrigger\d|Reportrate|Height|LineCorrection|LightSwitch|LightMode|LightBrightness|LightSpeed|LightDirection)$/;
const COLOUR_ROWS = /^LightRGB\d?$/;

// Flat profiles give each mode its own button indices, so every mode is written; a sectioned
// profile repeats the same indices in every mode, so only `mode` (the one in use) is.
export function plannedWrites(profile: Profile, version: string, mode = 1): PlannedWrite[] {
  const out: PlannedWrite[] = [];
  const seen = new Set<number>();
  const once = (index: number) => !seen.has(index) && (seen.add(index), true);
  const scopes = profile.kind === 'keyboard' ? [1] : profile.layout === 'sectioned' ? [mode] : profile.modes().map((m) => m.id);
  for (const m of scopes) {
    const rows = profile.kind === 'keyboard' ? profile.keyRows().filter((r) => r.type) : profile.buttons(m);
    for (const r of rows) {
      const a = fromRow(r);
      out.push({ label: r.name, send: (p) => p.customButton(buttonWrite(version, { index: r.index, mode: m }, a)) });
    }
    for (const st of profile.dpiStages(m)) {
      if (once(st.index))
        out.push({ label: st.name, send: (p) => p.writeDeviceMultimedia(version, st.index, 5, String(st.value)) });
    }
    const names = ['CurDpi', ...profile.lightSets(m).flatMap((n) => ['LightTheme', 'LightBrightness', 'LightSpeed', 'LightTrigger', 'LightRGB'].map((x) => x + n)), 'Reportrate', 'Height', 'LineCorrection', 'LightSwitch', 'LightMode', 'LightBrightness', 'LightSpeed', 'LightDirection', 'LightRGB'];
    for (const name of names) {
      const row = profile.setting(name, m);
      if (!row || !row.hasAttribute('index')) continue;
      const index = Number(row.getAttribute('index'));
      if (!once(index)) continue;
      const value = row.getAttribute('value') ?? '';
      if (COLOUR_ROWS.test(name) && /^[0-9A-Fa-f]{6}$/.test(value)) out.push({ label: name, send: (p) => p.writeDeviceMultimedia(version, index, 3, value.toUpperCase()) });
      else if (ONE_BYTE_ROWS.test(name) && value !== '') out.push({ label: name, send: (p) => p.writeDeviceMultimedia(version, index, 1, byteCode(Number(value))) });
    }
  }
  if (profile.kind === 'keyboard') {
    const colours = profile.keyColours();
    const items = Object.entries(colours).map(([n, c]) => `${n}#${c}`);
    out.push({ label: 'keycolours', send: (p) => p.notifyRGBDevice(version, items) });
  }
  return out;
}
