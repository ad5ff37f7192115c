// The pages' state: the attached devices, each device's profile, the writes in flight and what
// failed. Screens read it and call its methods; every device write goes through write(), which
// shows the value as pending, changes the profile only when the device answered success, and
// keeps a failure visible with a retry.
import { PATIENCE_MS, type Answer, type CommandClient, type DeviceInfo } from '../bridge/protocol';
import type { EventClient } from '../bridge/events';
import { fmt, stringsFor, type Locale, type Strings } from '../i18n';
import { functionCodesOf, shortcutPresets } from './functions';
import { chooseProfile, deviceId, PROFILE_NAMES, usbIdFromPath, type ProfileIdentity } from './identity';
import { Profile, type DeviceKind } from './profile';
import { ProfileStore, type NamedIndex } from './profileStore';
import { FirmwareUpdates } from './updates';
import { ClientUpdates } from './client-update';
import { FirmwareOffers } from './firmware-offer';
import { MusicPlayer } from './music';
import { KeyMapStore } from './keymapStore';

export type ScreenId = 'devices' | 'mouse' | 'keyboard' | 'macros' | 'profiles' | 'keymaps' | 'pointer' | 'music' | 'updates';

export interface Session {
  info: DeviceInfo;
  id: string; // model id for storage and file names
  key: string; // "Version": what device commands name
  builtin: string | null;
  status: 'loading' | 'ready' | 'unknown' | 'error';
  profile: Profile | null;
  kind: DeviceKind;
  mode: number;
  named: NamedIndex | null;
  deviceDpiStage: number | null; // pushed by the client (RefreshDpi)
}

// pending: sent, shown as writing; waiting: sent and unanswered past the page's patience, still
// shown as writing until the answer settles it; ok / failed: the answer came.
export interface WriteState {
  status: 'pending' | 'waiting' | 'ok' | 'failed';
  what: string;
  computer?: boolean; // a setting of this computer (the pointer), not of a device
  reason?: string;
  value?: unknown;
  retry?: () => void;
}

export interface Notice {
  id: number;
  key?: string;
  kind: 'error' | 'info';
  text: string;
  retry?: () => void;
}

type Send = () => Promise<Answer>;

// Notices on screen at once, and how long those without Retry stay.
export const MAX_NOTICES = 3;
const INFO_MS = 3500;
const ERROR_MS = 8000;

const busy = (w: WriteState) => w.status === 'pending' || w.status === 'waiting';

// What the assignment dialog offers, from the client's driver table and command packets.
export interface Catalog {
  codes: Map<string, string>;
  presets: { name: string; chord: string }[];
}

interface Job {
  started: number;
  session: Session | null;
  what: string;
  value: unknown;
  send: Send;
  apply: () => void;
}

export class App {
  readonly t: Strings;
  devices: DeviceInfo[] = [];
  devicesState: 'loading' | 'ready' | 'error' = 'loading';
  // The client runs without a device library: an empty list then says so, not "plug one in".
  deviceLibraryMissing = false;
  sessions = new Map<string, Session>();
  selected: string | null = null;
  screen: ScreenId = 'devices';
  writes = new Map<string, WriteState>();
  notices: Notice[] = [];
  diagnostics = false;
  // Devices that went away while the pages had them, by device key, until they come back.
  disconnected = new Map<string, DeviceKind>();
  readonly store: ProfileStore;
  readonly firmware = new FirmwareUpdates(this);
  readonly clientUpdate = new ClientUpdates(this);
  readonly firmwareOffers = new FirmwareOffers(this);
  readonly music = new MusicPlayer(this);
  readonly keyMaps: KeyMapStore;

  private listeners: Array<() => void> = [];
  private queued = new Map<string, Job>();
  private noticeId = 1;
  private identities: Promise<ProfileIdentity[]> | null = null;
  private builtinTexts = new Map<string, string>();
  private saveTimers = new Map<string, number>();
  private refreshTimer = 0;
  private notifyPending = false;
  private catalogLoad: Promise<Catalog> | null = null;
  catalog: Catalog | null = null;

  constructor(
    readonly protocol: CommandClient,
    readonly events: EventClient,
    storage: Storage | null,
    readonly locale: Locale,
  ) {
    this.t = stringsFor(locale);
    this.store = new ProfileStore(storage, protocol);
    this.keyMaps = new KeyMapStore(this, storage);
  }

  subscribe(fn: () => void): () => void {
    this.listeners.push(fn);
    return () => {
      this.listeners = this.listeners.filter((l) => l !== fn);
    };
  }

  // Listeners run once per task however many changes it made.
  changed(): void {
    if (this.notifyPending) return;
    this.notifyPending = true;
    queueMicrotask(() => {
      this.notifyPending = false;
      this.listeners.forEach((l) => l());
    });
  }

  start(): void {
    this.events.on('DevicesChanged', () => {
      window.clearTimeout(this.refreshTimer);
      this.refreshTimer = window.setTimeout(() => void this.refreshDevices(), 200);
    });
    // The client pushes mode and DPI stage changes made on the device as script calls.
    const w = window as unknown as Record<string, unknown>;
    w.RefreshMode = (n: number) => this.onDeviceMode(Number(n));
    w.RefreshDpi = (n: number) => this.onDeviceDpi(Number(n));
    this.firmware.start();
    this.clientUpdate.start();
    this.firmwareOffers.start();
    this.music.start();
    void this.refreshDevices();
  }

  go(screen: ScreenId): void {
    this.screen = screen;
    this.changed();
  }

  get session(): Session | null {
    return (this.selected && this.sessions.get(this.selected)) || null;
  }

  sessionOfKind(kind: DeviceKind): Session | null {
    const s = this.session;
    if (s && s.kind === kind) return s;
    for (const x of this.sessions.values()) if (x.kind === kind && x.status === 'ready') return x;
    return null;
  }

  select(key: string): void {
    this.selected = key;
    this.changed();
  }

  loadCatalog(): Promise<Catalog> {
    if (!this.catalogLoad) {
      this.catalogLoad = Promise.all([
        this.protocol.getLocalConf('D2.0'),
        this.protocol.getLocalConf(this.locale === 'en' ? 'DefaultEn' : 'Default'),
      ]).then(([table, packets]) => {
        const catalog = { codes: functionCodesOf(table ?? ''), presets: shortcutPresets(packets ?? '') };
        if (!catalog.codes.size) this.catalogLoad = null; // not answered: ask again next time
        this.catalog = catalog;
        this.changed();
        return catalog;
      });
    }
    return this.catalogLoad;
  }

  // ---- devices ----

  async refreshDevices(): Promise<void> {
    const list = await this.protocol.getDevicesList();
    if (list === null) {
      this.devicesState = 'error';
      this.changed();
      return;
    }
    this.devices = list;
    this.devicesState = 'ready';
    this.deviceLibraryMissing = list.length === 0 && (await this.protocol.getDeviceLibraryStatus()) === false;
    const keys = new Set(list.map((d) => d.Version));
    const paths = new Set(list.map((d) => d.DevicePath).filter(Boolean));
    for (const [key, s] of Array.from(this.sessions.entries())) {
      if (keys.has(key)) continue;
      this.sessions.delete(key);
      // Still at its path under another key: new firmware, not unplugged.
      if (s.info.DevicePath && paths.has(s.info.DevicePath)) continue;
      this.disconnected.set(key, s.kind);
      this.notify('info', fmt(this.t.devices.disconnected, { name: this.deviceName(s.kind, key) }));
    }
    for (const info of list) {
      const old = this.sessions.get(info.Version);
      if (old) {
        old.info = info;
        continue;
      }
      const back = this.disconnected.get(info.Version);
      if (back) {
        this.disconnected.delete(info.Version);
        this.notify('info', fmt(this.t.devices.back, { name: this.deviceName(back, info.Version) }));
      }
      const session: Session = {
        info,
        id: deviceId(info),
        key: info.Version,
        builtin: null,
        status: 'loading',
        profile: null,
        kind: /-ZKC/.test(info.Version) ? 'keyboard' : 'mouse',
        mode: 1,
        named: null,
        deviceDpiStage: null,
      };
      this.sessions.set(info.Version, session);
      void this.loadSession(session);
    }
    if (!this.selected || !this.sessions.has(this.selected)) this.selected = list.length ? list[0].Version : null;
    this.changed();
  }

  private loadIdentities(): Promise<ProfileIdentity[]> {
    if (!this.identities) {
      this.identities = Promise.all(
        PROFILE_NAMES.map(async (name): Promise<ProfileIdentity | null> => {
          const text = await this.protocol.getLocalConf(name);
          if (!text) return null;
          try {
            const p = Profile.parse(text);
            this.builtinTexts.set(name, text);
            return { name, usbId: p.usbId, firmware: p.firmware };
          } catch {
            return null;
          }
        }),
      ).then((list) => {
        const found = list.filter((x): x is ProfileIdentity => x !== null);
        if (!found.length) this.identities = null; // try again with the next device
        return found;
      });
    }
    return this.identities!;
  }

  async loadSession(s: Session): Promise<void> {
    const identities = await this.loadIdentities();
    s.builtin = chooseProfile(s.info, identities);
    if (!s.builtin) {
      s.status = identities.length ? 'unknown' : 'error';
      this.changed();
      return;
    }
    const builtin = Profile.parse(this.builtinTexts.get(s.builtin)!);
    s.kind = builtin.kind;
    s.named = this.store.index(s.id);
    let profile: Profile | null = null;
    if (s.named) {
      const entry = s.named.items.find((i) => i.name === s.named!.active)!;
      const text = this.store.text(entry.file);
      try {
        profile = text ? Profile.parse(text) : null;
      } catch {
        profile = null;
      }
    }
    if (!profile) {
      profile = builtin;
      if (!s.named) {
        const file = ProfileStore.nextFile(s.id, null);
        s.named = { active: this.locale === 'en' ? 'Default' : '默认', items: [] };
        s.named.items.push({ name: s.named.active, file });
        this.store.setIndex(s.id, s.named);
      }
    }
    s.profile = profile;
    s.mode = profile.modes()[0]?.id ?? 1;
    s.status = 'ready';
    this.changed();
  }

  deviceName(kind: DeviceKind, key: string): string {
    return `${kind === 'keyboard' ? this.t.devices.keyboard : this.t.devices.mouse} ${key}`;
  }

  // Whether a device of this kind went away while the pages had it (and none of its kind is here).
  lost(kind: DeviceKind): boolean {
    return !this.sessionOfKind(kind) && Array.from(this.disconnected.values()).includes(kind);
  }

  builtinProfile(s: Session): Profile | null {
    const text = s.builtin ? this.builtinTexts.get(s.builtin) : undefined;
    return text ? Profile.parse(text) : null;
  }

  usbId(s: Session): string {
    return usbIdFromPath(s.info.DevicePath);
  }

  private onDeviceMode(n: number): void {
    const s = this.sessionOfKind('mouse');
    if (!s || !s.profile || !Number.isFinite(n)) return;
    const modes = s.profile.modes();
    const m = modes.find((x) => x.id === n + 1) ?? modes.find((x) => x.id === n);
    if (m) s.mode = m.id;
    this.changed();
  }

  private onDeviceDpi(n: number): void {
    const s = this.sessionOfKind('mouse');
    if (!s || !Number.isFinite(n)) return;
    s.deviceDpiStage = n;
    s.profile?.setValue('CurDpi', s.mode, String(n));
    this.schedulePersist(s);
    this.changed();
  }

  // ---- writes ----

  // What a control shows: the value being written while a write is in flight, else `confirmed`.
  shown<T>(key: string, confirmed: T): T {
    const w = this.writes.get(key);
    return w && busy(w) ? (w.value as T) : confirmed;
  }

  // `session` null marks a setting of this computer rather than of a device.
  write(key: string, what: string, value: unknown, send: Send, apply: () => void, session = this.session): void {
    const job: Job = { started: performance.now(), session, what, value, send, apply };
    const current = this.writes.get(key);
    if (current && busy(current)) {
      // Latest wins: the next write of this setting starts when the one in flight answers.
      this.queued.set(key, job);
      current.value = value;
      this.changed();
      return;
    }
    void this.run(key, job);
  }

  private async run(key: string, job: Job): Promise<void> {
    const computer = job.session === null;
    const state: WriteState = { status: 'pending', what: job.what, value: job.value, computer };
    this.writes.set(key, state);
    this.changed();
    // Past the page's patience the write is shown as not answered yet; its answer is still
    // awaited and settles the setting whenever it comes.
    const slow = window.setTimeout(() => {
      if (this.writes.get(key) !== state) return;
      state.status = 'waiting';
      this.changed();
      console.log(`write ${key}: no answer yet after ${PATIENCE_MS} ms`);
    }, PATIENCE_MS);
    const answer = await job.send();
    window.clearTimeout(slow);
    const next = this.queued.get(key);
    this.queued.delete(key);
    if (answer.ok) {
      job.apply();
      this.writes.set(key, { status: 'ok', what: job.what, computer });
      this.notices = this.notices.filter((n) => n.key !== key);
      if (job.session) this.schedulePersist(job.session);
    } else {
      const reason = answer.timedOut ? this.t.common.noAnswer : answer.text || this.t.common.refused;
      const retry = () => this.write(key, job.what, job.value, job.send, job.apply, job.session);
      this.writes.set(key, { status: 'failed', what: job.what, reason, retry, computer });
      const kept = computer ? this.t.write.keptComputer : this.t.write.kept;
      this.notify('error', fmt(this.t.write.failed, { what: job.what, reason }) + ' ' + kept, retry, key);
    }
    this.changed();
    // Logged once the outcome is on screen: the client's log then says what reached the device
    // and how long a person waited for it.
    requestAnimationFrame(() =>
      console.log(`write ${key}: ${answer.ok ? 'ok' : 'failed'} "${answer.text}" shown after ${Math.round(performance.now() - job.started)} ms`),
    );
    if (next) void this.run(key, next);
    else if (answer.ok) window.setTimeout(() => this.clearOk(key), 2500);
  }

  private clearOk(key: string): void {
    if (this.writes.get(key)?.status === 'ok') {
      this.writes.delete(key);
      this.changed();
    }
  }

  // ---- notices ----

  notify(kind: Notice['kind'], text: string, retry?: () => void, key?: string): void {
    const id = this.noticeId++;
    const notice: Notice = { id, kind, text, key };
    if (retry) {
      notice.retry = () => {
        this.dismiss(id);
        retry();
      };
    }
    this.notices = [...this.notices.filter((n) => n.text !== text && (!key || n.key !== key)), notice].slice(-MAX_NOTICES);
    this.changed();
    // A notice closes by itself unless it offers Retry: that one stays until used or dismissed.
    if (!retry) window.setTimeout(() => this.dismiss(id), kind === 'info' ? INFO_MS : ERROR_MS);
  }

  dismiss(id: number): void {
    this.notices = this.notices.filter((n) => n.id !== id);
    this.changed();
  }

  // ---- keeping profiles ----

  schedulePersist(s: Session): void {
    window.clearTimeout(this.saveTimers.get(s.key));
    this.saveTimers.set(
      s.key,
      window.setTimeout(() => void this.persist(s), 400),
    );
  }

  async persist(s: Session): Promise<boolean> {
    if (!s.profile || !s.named) return false;
    const entry = s.named.items.find((i) => i.name === s.named!.active);
    if (!entry) return false;
    const answer = await this.store.save(entry.file, s.profile.serialize());
    if (!answer.ok) {
      const reason = answer.timedOut ? this.t.common.noAnswer : answer.text;
      this.notify('error', fmt(this.t.write.profileSave, { reason }), () => void this.persist(s));
      return false;
    }
    return true;
  }
}
