// Firmware images that the update offer names per device key (the firmware text before "-V").
// "Download and install" fetches the image through the engine into the update folder, follows
// "RefreshDownState" as bytes, and once "RefreshUpdateState" brings the downloaded file's path,
// the screen asks the same confirmation as for a chosen file and hands the path to
// FirmwareUpdates.run. The client package uses the same two events, so each side takes only the
// events of its own file: this one those of the image's file name, the client card none of the
// names this one downloaded.
import type { DeviceInfo } from '../bridge/protocol';
import { downState, updateState } from '../bridge/events';
import { DOWNLOAD_STALL_MS, packageName } from './client-update';
import { productOf } from './identity';
import type { App } from './app';

export interface ImageOffer {
  url: string;
  name: string; // the file name in the update folder; for an unusable offer, what the address shows
  usable: boolean;
}

export interface ImageDownload {
  key: string; // the device key it was asked for
  name: string;
  phase: 'downloading' | 'confirm' | 'stalled';
  received: number;
  total: number; // 0 while unknown
  path: string; // the downloaded file, once complete
}

// The file name part of a path the client gives, with either separator.
export const baseName = (path: string) => path.split(/[\\/]/).pop() ?? '';

// Whether a downloaded path is the image of this name. The engine may put " (1)" before the
// extension when the folder still holds a file of that name (a download not installed).
export function isImage(path: string, name: string): boolean {
  const base = baseName(path);
  const stem = name.slice(0, -'.bin'.length);
  return base === name || (base.startsWith(`${stem} (`) && /^ \(\d+\)\.bin$/i.test(base.slice(stem.length)));
}

// The image's file name: the last part of its address's path, decoded. It is used as it is
// only when it is letters, digits and . _ - and ends in .bin, so what lands in the update folder
// is exactly the file the offer names; anything else makes the offer unusable.
export function imageOffer(url: string): ImageOffer {
  let last = '';
  try {
    last = new URL(url).pathname.split('/').pop() ?? '';
    last = decodeURIComponent(last);
  } catch {
    // not an address, or a broken escape: unusable below
  }
  const usable = /^[A-Za-z0-9_-][A-Za-z0-9._-]*\.bin$/i.test(last) && last.length <= 128;
  return { url, name: last.slice(0, 80) || url.slice(0, 80), usable };
}

export class FirmwareOffers {
  download: ImageDownload | null = null;
  // Names of the images downloaded since the start: a late event of one of them is never the
  // client package's.
  private names = new Set<string>();
  private timer = 0;

  constructor(private readonly app: App) {}

  start(): void {
    this.app.events.on('RefreshDownState', (args) => this.onDown(args));
    this.app.events.on('RefreshUpdateState', (args) => this.onState(args));
  }

  // The offered image for a device, or null when the offer names none for its key.
  offerFor(d: DeviceInfo): ImageOffer | null {
    const offer = this.app.clientUpdate.info?.offer;
    const key = productOf(d.Version);
    if (!offer || !Object.prototype.hasOwnProperty.call(offer.firmware, key)) return null;
    const image = imageOffer(offer.firmware[key]!);
    // An image under the package's own name could not be told from it.
    if (image.name === packageName(offer.package)) image.usable = false;
    return image;
  }

  get busy(): boolean {
    return this.download?.phase === 'downloading';
  }

  // Whether a path the client reports is one of the images this downloaded.
  owns(path: string): boolean {
    for (const name of this.names) if (isImage(path, name)) return true;
    return false;
  }

  fetch(d: DeviceInfo): void {
    const image = this.offerFor(d);
    const client = this.app.clientUpdate;
    if (!image?.usable || this.busy || this.app.firmware.running || (client.busy && client.phase !== 'checking')) return;
    this.names.add(image.name);
    this.download = { key: d.Version, name: image.name, phase: 'downloading', received: 0, total: 0, path: '' };
    this.watch();
    this.app.protocol.downloadFile(image.url, image.name);
    this.app.changed();
  }

  // The person confirmed (the update starts with the downloaded file) or cancelled.
  finish(device: DeviceInfo | null, name: string): void {
    const dl = this.download;
    this.download = null;
    window.clearTimeout(this.timer);
    if (dl?.phase === 'confirm' && device) this.app.firmware.run(device, name, dl.path);
    this.app.changed();
  }

  private watch() {
    window.clearTimeout(this.timer);
    this.timer = window.setTimeout(() => {
      const dl = this.download;
      if (dl?.phase !== 'downloading') return;
      dl.phase = 'stalled';
      console.log(`firmware image ${dl.name}: the download stalled at ${dl.received} bytes`);
      this.app.changed();
    }, DOWNLOAD_STALL_MS);
  }

  private mine(path: string): ImageDownload | null {
    const dl = this.download;
    return dl?.phase === 'downloading' && isImage(path, dl.name) ? dl : null;
  }

  private onDown(args: unknown[]) {
    const s = downState(args);
    const dl = s && this.mine(s.path);
    if (!s || !dl) return;
    // A completed download is announced once more as 100 of 100: keep the real sizes.
    if (s.total === 100 && s.received === 100 && dl.total > 100) dl.received = dl.total;
    else {
      dl.total = Math.max(0, s.total);
      dl.received = Math.max(0, s.received);
    }
    this.watch();
    this.app.changed();
  }

  private onState(args: unknown[]) {
    const s = updateState(args);
    const dl = s?.kind === 'downloaded' ? this.mine(s.path) : null;
    if (!dl || s?.kind !== 'downloaded') return;
    window.clearTimeout(this.timer);
    dl.path = s.path;
    dl.received = Math.max(dl.received, dl.total);
    dl.phase = 'confirm';
    this.app.changed();
  }
}
