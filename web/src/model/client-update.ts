// The client's own update as the pages follow it. The offer comes from "GetClientUpdate" (the
// manifest at the UpdateUrl setting); "Update" downloads the package through the engine into
// the update folder, shows "RefreshDownState" as bytes, takes the path of "RefreshUpdateState"
// when the download is complete, and asks "ExecuteUpdateClient" with it. That answers "60" when
// the Updater has started (the client then quits and comes back) or "-1" when it refused.
import type { ClientUpdate } from '../bridge/protocol';
import { downState, updateState } from '../bridge/events';
import type { App } from './app';

// Without any download progress for this long the download counts as failed: the address gave
// a page instead of a file, or nothing at all.
export const DOWNLOAD_STALL_MS = 30000;
// After "ExecuteUpdateClient" the client answers within moments; the unpacking of a large
// package takes the longest.
export const INSTALL_WAIT_MS = 120000;

export type ClientPhase = 'checking' | 'ready' | 'downloading' | 'installing' | 'restarting' | 'failed';

// Compares versions part by part, numbers as numbers and letters as text ("2.10" after "2.9",
// "rc10" after "rc2"): <0, 0 or >0. A release is newer than its pre-releases ("2.1.0" after
// "2.1.0-rc1"), and a missing number counts as 0 ("2.0" equals "2.0.0").
export function compareVersions(a: string, b: string): number {
  const pa = a.match(/\d+|[^\d.+_-]+/g) ?? [];
  const pb = b.match(/\d+|[^\d.+_-]+/g) ?? [];
  const num = (x: string) => /^\d+$/.test(x);
  for (let i = 0; i < Math.max(pa.length, pb.length); i++) {
    const x = pa[i];
    const y = pb[i];
    if (x === undefined) return num(y!) ? (Number(y) > 0 ? -1 : 0) : 1;
    if (y === undefined) return num(x) ? (Number(x) > 0 ? 1 : 0) : -1;
    const d = num(x) && num(y) ? Number(x) - Number(y) : num(x) ? 1 : num(y) ? -1 : x.localeCompare(y);
    if (d) return d;
  }
  return 0;
}

// The package's file name in the update folder: the last part of its address's path, letters,
// digits and . _ - only.
export function packageName(url: string): string {
  let path = '';
  try {
    path = new URL(url).pathname;
  } catch {
    // not an address: the default name
  }
  let last = path.replace(/\/+$/, '').split('/').pop() ?? '';
  try {
    last = decodeURIComponent(last);
  } catch {
    // a broken escape stays as it is and loses its % below
  }
  last = last.replace(/[^\w.-]/g, '');
  return last && !/^\.+$/.test(last) ? last : 'update.kfa';
}

export class ClientUpdates {
  phase: ClientPhase | null = null;
  info: ClientUpdate | null = null;
  received = 0;
  total = 0;
  failure: 'download' | 'install' | null = null;
  private timer = 0;

  constructor(private readonly app: App) {}

  start(): void {
    this.app.events.on('RefreshDownState', (args) => this.onDown(args));
    this.app.events.on('RefreshUpdateState', (args) => this.onState(args));
  }

  get newer(): boolean {
    const info = this.info;
    return !!info?.offer && compareVersions(info.offer.version, info.running) > 0;
  }

  get busy(): boolean {
    return this.phase === 'checking' || this.phase === 'downloading' || this.phase === 'installing' || this.phase === 'restarting';
  }

  async check(): Promise<void> {
    if (this.busy) return;
    this.phase = 'checking';
    this.failure = null;
    this.app.changed();
    this.info = await this.app.protocol.getClientUpdate();
    this.phase = 'ready';
    this.app.changed();
  }

  update(): void {
    const offer = this.info?.offer;
    if (!offer || this.busy || this.app.firmware.running || this.app.firmwareOffers.busy) return;
    this.phase = 'downloading';
    this.failure = null;
    this.received = 0;
    this.total = offer.size;
    this.wait(DOWNLOAD_STALL_MS);
    this.app.protocol.downloadFile(offer.package, packageName(offer.package));
    this.app.changed();
  }

  private wait(ms: number) {
    window.clearTimeout(this.timer);
    this.timer = window.setTimeout(() => this.fail(this.phase === 'installing' ? 'install' : 'download'), ms);
  }

  private fail(what: 'download' | 'install') {
    if (this.phase !== 'downloading' && this.phase !== 'installing') return;
    window.clearTimeout(this.timer);
    this.phase = 'failed';
    this.failure = what;
    console.log(`client update: the ${what} failed`);
    this.app.changed();
  }

  private onDown(args: unknown[]) {
    const s = downState(args);
    // An offered firmware image comes through the same events: never take it for the package.
    if (this.phase !== 'downloading' || !s || this.app.firmwareOffers.owns(s.path)) return;
    // A completed download is announced once more as 100 of 100: keep the real sizes.
    if (s.total === 100 && s.received === 100 && this.total > 100) this.received = this.total;
    else {
      if (s.total > 0) this.total = s.total;
      this.received = Math.max(0, s.received);
    }
    this.wait(DOWNLOAD_STALL_MS);
    this.app.changed();
  }

  private onState(args: unknown[]) {
    const s = updateState(args);
    if (!s || (s.kind === 'downloaded' && this.app.firmwareOffers.owns(s.path))) return;
    if (this.phase === 'downloading' && s.kind === 'downloaded') {
      this.received = this.total;
      this.phase = 'installing';
      this.wait(INSTALL_WAIT_MS);
      this.app.protocol.executeUpdateClient(s.path);
    } else if (this.phase === 'installing' && s.kind === 'failed') {
      this.fail('install');
      return;
    } else if (this.phase === 'installing' && s.kind === 'progress' && s.value >= 60) {
      window.clearTimeout(this.timer);
      this.phase = 'restarting';
    } else return;
    this.app.changed();
  }
}
