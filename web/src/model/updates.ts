// Firmware updates as the pages follow them. The client answers "ExecuteUpdateFirmware" only
// through "RefreshUpdateState": "5" at the start, rising values up to "100" when the device
// runs its new firmware, and "-1" when the update stopped. The update changes the device's
// firmware text, which is also its key, so the device is found again by its path.
import type { DeviceInfo } from '../bridge/protocol';
import { updateState } from '../bridge/events';
import type { App } from './app';

// Without any progress for this long the screen says the device has not answered yet. The
// update's own waits are about 31 s in all; the longest single wait is 8 s.
export const FIRMWARE_STALL_MS = 60000;

// The open dialog answers this when the person closed it without a file.
export const NO_FILE = "doesn't select file";

export interface FirmwareJob {
  key: string; // the device key when the update started
  name: string;
  path: string; // the device's path: the same device after its firmware text changed
  family: string; // firmware text before "-V": a fallback when the path changed
  before: string;
  file: string;
  progress: number;
  status: 'running' | 'done' | 'failed';
  stalled: boolean;
}

const family = (version: string) => version.replace(/-V.*$/, '');

export const firmwareText = (d: DeviceInfo) => d.Version + (d.LastVersionNum ? ` · ${d.LastVersionNum}` : '');

export class FirmwareUpdates {
  job: FirmwareJob | null = null;
  private stallTimer = 0;

  constructor(private readonly app: App) {}

  start(): void {
    this.app.events.on('RefreshUpdateState', (args) => this.onState(args));
  }

  // Asks for an image through the open dialog: the path, null when none was chosen, or an
  // error text for the screen to show.
  async choose(): Promise<{ path: string } | { error: 'notBin' | 'dialog'; text: string } | null> {
    const answer = await this.app.protocol.openFileDialog();
    if (!answer.ok) return answer.text === NO_FILE ? null : { error: 'dialog', text: answer.text };
    if (!/\.bin$/i.test(answer.text)) return { error: 'notBin', text: answer.text };
    return { path: answer.text };
  }

  get running(): boolean {
    return this.job?.status === 'running';
  }

  run(device: DeviceInfo, name: string, file: string): void {
    if (this.running) return; // one update at a time: the progress events name no device
    this.job = {
      key: device.Version,
      name,
      path: device.DevicePath,
      family: family(device.Version),
      before: firmwareText(device),
      file,
      progress: 0,
      status: 'running',
      stalled: false,
    };
    this.watch();
    this.app.protocol.executeUpdateFirmware(device.Version, file);
    this.app.changed();
  }

  dismiss(): void {
    if (!this.running) this.job = null;
    this.app.changed();
  }

  // The device as the refreshed list shows it now, or null while it is away.
  deviceNow(): DeviceInfo | null {
    const job = this.job;
    if (!job) return null;
    const list = this.app.devices;
    return list.find((d) => d.DevicePath === job.path) ?? list.find((d) => family(d.Version) === job.family) ?? null;
  }

  private watch() {
    window.clearTimeout(this.stallTimer);
    this.stallTimer = window.setTimeout(() => {
      if (!this.running) return;
      this.job!.stalled = true;
      this.app.changed();
    }, FIRMWARE_STALL_MS);
  }

  private onState(args: unknown[]) {
    const job = this.job;
    const state = updateState(args);
    if (!job || job.status !== 'running' || !state || state.kind === 'downloaded') return;
    job.stalled = false;
    if (state.kind === 'failed') {
      job.status = 'failed';
      window.clearTimeout(this.stallTimer);
      console.log(`firmware update of ${job.key}: failed after ${job.progress}`);
      void this.app.refreshDevices();
    } else {
      job.progress = Math.max(job.progress, state.value);
      this.watch();
      if (job.progress >= 100) {
        job.status = 'done';
        window.clearTimeout(this.stallTimer);
        console.log(`firmware update of ${job.key}: done`);
        void this.app.refreshDevices();
      }
    }
    this.app.changed();
  }
}
