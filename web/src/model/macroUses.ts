// Which buttons hold a macro of the library, and whether they hold its current version: a
// button keeps the steps written to it, so editing the macro leaves it on the older version
// until it is written again.
import type { ButtonRow, DeviceKind, Profile } from './profile';

// Every button or key, in every mode, that holds the macro `name`.
export function macroUses(profile: Profile, kind: DeviceKind, name: string): ButtonRow[] {
  const rows = kind === 'keyboard' ? profile.keyRows() : profile.modes().flatMap((m) => profile.buttons(m.id));
  return rows.filter((r) => r.type.toUpperCase() === 'MACRO' && r.macro === name);
}

// A button that holds an older version of its macro than the library's.
export function macroOutOfDate(profile: Profile, row: ButtonRow): boolean {
  if (row.type.toUpperCase() !== 'MACRO' || !row.macro) return false;
  const m = profile.macros().find((x) => x.name === row.macro);
  return !!m && m.text !== row.command;
}
