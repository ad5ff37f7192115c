// Where the software key map is kept and when it is sent. The map belongs to the host profile:
// the active named profile of the mouse, else of the keyboard. It is saved in that profile's
// file (so export and import carry it) and mirrored in page storage, the copy used while no
// device is attached. The client starts with no map and holds one at a time, so whenever the
// host profile changes its map is sent; a profile from before key maps were kept there takes
// on the map in use instead of losing it.
import { EMPTY_KEY_MAP, type Answer } from '../bridge/protocol';
import type { App, Session } from './app';
import { entriesFrom, keyMapXml, type KeyMapState, type LooseEntry } from './keymap';
import type { Profile } from './profile';

const STORE = 'kf.keymap.v1';
export const KEYMAP_WRITE = 'keymap';

const wire = (m: KeyMapState) => (m.enabled && m.entries.length ? keyMapXml(m.entries) : EMPTY_KEY_MAP);

export class KeyMapStore {
  // What the screen lists and, once answered, what the client plays.
  state: KeyMapState = { enabled: true, entries: [] };
  private started = false;
  private hostProfile: Profile | null | undefined = undefined; // undefined: not followed yet
  private wanted = EMPTY_KEY_MAP; // the map last sent, or the one the client played before it failed
  private played = EMPTY_KEY_MAP;

  constructor(
    private readonly app: App,
    private readonly storage: Storage | null,
  ) {}

  // Restores the map once the devices are known, then follows the host profile.
  start(): void {
    if (this.started) return;
    this.started = true;
    this.state = this.kept();
    this.app.subscribe(() => this.follow());
    this.follow();
  }

  host(): Session | null {
    const ready = Array.from(this.app.sessions.values()).filter((s) => s.status === 'ready' && s.profile && s.named);
    return ready.find((s) => s.kind === 'mouse') ?? ready.find((s) => s.kind === 'keyboard') ?? null;
  }

  // A change made on the Key maps screen: sent, and once answered kept in the host profile
  // (saved with it) and in page storage.
  change(next: KeyMapState): void {
    const host = this.host();
    const profile = host?.profile ?? null;
    const file = host?.named?.items.find((i) => i.name === host.named!.active)?.file;
    this.send(next, () => {
      this.use(next);
      if (!host || !profile) return;
      profile.setSoftKeyMap(next);
      // Switched to another profile meanwhile: the change still goes to the one it was made in.
      if (host.profile === profile) this.app.schedulePersist(host);
      else if (file) void this.app.store.save(file, profile.serialize());
    });
  }

  private follow(): void {
    const app = this.app;
    if (app.devicesState === 'loading' || Array.from(app.sessions.values()).some((s) => s.status === 'loading')) return;
    const host = this.host();
    const profile = host?.profile ?? null;
    if (profile === this.hostProfile) return;
    this.hostProfile = profile;
    let next = !host || !profile ? this.kept() : profile.softKeyMap();
    if (!next) {
      next = this.state;
      profile!.setSoftKeyMap(next);
      if (next.entries.length) app.schedulePersist(host!);
    }
    this.use(next);
    if (wire(next) !== this.wanted) this.send(next, () => this.use(next));
    app.changed();
  }

  private use(next: KeyMapState): void {
    this.state = next;
    try {
      this.storage?.setItem(STORE, JSON.stringify(next));
    } catch {
      // storage full or off: the profile and the client hold the map
    }
  }

  private send(next: KeyMapState, apply: () => void): void {
    const app = this.app;
    const xml = wire(next);
    this.wanted = xml;
    const ask = async (): Promise<Answer> => {
      const answer = await (xml === EMPTY_KEY_MAP ? app.protocol.clearVirtualDrive() : app.protocol.refreshVirtualDrive(xml));
      if (answer.ok) this.played = xml;
      else if (this.wanted === xml) this.wanted = this.played;
      return answer;
    };
    app.write(KEYMAP_WRITE, app.t.keymaps.what, next, ask, apply, null);
  }

  private kept(): KeyMapState {
    try {
      const raw = JSON.parse(this.storage?.getItem(STORE) ?? 'null') as { enabled?: unknown; entries?: unknown } | null;
      if (raw && Array.isArray(raw.entries)) {
        const loose = raw.entries.map((e: { trigger?: LooseEntry } & LooseEntry) => ({ ...e, ...(e?.trigger ?? {}) }));
        return { enabled: raw.enabled !== false, entries: entriesFrom(loose) };
      }
    } catch {
      // start empty
    }
    return { enabled: true, entries: [] };
  }
}
