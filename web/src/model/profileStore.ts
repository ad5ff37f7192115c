// Named profiles per device model. Each profile is a profile XML file the client writes beside
// itself ("ModifyFileFromStr", then "savexml"), named kf-<device>-<n>.xml. The client reads
// files only from its temporary folder, so the pages cannot read those files back; the list of
// names, the active one and each profile's text are also kept in the page's own storage, which
// the client keeps between starts, and that copy is what a start restores. The files stay as
// the durable copy that "Import" brings back.
import type { Answer, CommandClient } from '../bridge/protocol';

export interface NamedEntry {
  name: string;
  file: string;
}

export interface NamedIndex {
  active: string;
  items: NamedEntry[];
}

const INDEX_KEY = 'kf.profiles.v1.';
const TEXT_KEY = 'kf.profile.v1.';

export class ProfileStore {
  constructor(
    private readonly storage: Storage | null,
    private readonly protocol: CommandClient,
  ) {}

  index(deviceId: string): NamedIndex | null {
    try {
      const raw = this.storage?.getItem(INDEX_KEY + deviceId);
      if (!raw) return null;
      const parsed = JSON.parse(raw) as NamedIndex;
      if (!parsed || !Array.isArray(parsed.items) || !parsed.items.length) return null;
      const items = parsed.items.filter((i) => i && typeof i.name === 'string' && typeof i.file === 'string');
      if (!items.length) return null;
      const active = items.some((i) => i.name === parsed.active) ? parsed.active : items[0].name;
      return { active, items };
    } catch {
      return null;
    }
  }

  text(file: string): string | null {
    try {
      return this.storage?.getItem(TEXT_KEY + file) ?? null;
    } catch {
      return null;
    }
  }

  setIndex(deviceId: string, index: NamedIndex): void {
    try {
      this.storage?.setItem(INDEX_KEY + deviceId, JSON.stringify(index));
    } catch {
      // storage full or off: the files on disk still hold the profiles
    }
  }

  forget(file: string): void {
    try {
      this.storage?.removeItem(TEXT_KEY + file);
    } catch {
      // nothing to forget
    }
  }

  static nextFile(deviceId: string, index: NamedIndex | null): string {
    const used = new Set((index?.items ?? []).map((i) => i.file));
    for (let n = 1; ; n++) {
      const file = `kf-${deviceId}-${n}.xml`;
      if (!used.has(file)) return file;
    }
  }

  // Keeps the text in page storage at once, then writes the file and asks the client to save.
  async save(file: string, xml: string): Promise<Answer> {
    try {
      this.storage?.setItem(TEXT_KEY + file, xml);
    } catch {
      // the file below is the copy that counts
    }
    const modified = await this.protocol.modifyFileFromStr(file, xml);
    if (!modified.ok) return modified;
    return this.protocol.savexml();
  }
}
