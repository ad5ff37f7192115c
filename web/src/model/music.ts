// The music player as the pages drive it: one file at a time, opened through the open dialog
// and played by the client, which sends the spectrum and the position as "OnRGBMusicData"
// about every 60 ms while it plays. The client answers every "RGBMusicPlay" the same, so a
// file it could not open shows only in "GetMusicInfo": no length and no tags.
import { musicFrame, type MusicFrame } from '../bridge/events';
import type { Answer, MusicInfo } from '../bridge/protocol';
import { fmt } from '../i18n';
import type { App } from './app';
import { NO_FILE } from './updates';
import { byteCode } from './assign';
import type { Session } from './app';

// No frame for this long after the position reached the end: the music has ended.
const END_QUIET_MS = 1500;

export type MusicStatus = 'idle' | 'opening' | 'playing' | 'paused' | 'ended' | 'unreadable';

// "MM:SS" as milliseconds; anything else is 0.
export function clockMs(text: string): number {
  const m = /^(\d+):(\d{2})$/.exec(text.trim());
  return m ? (Number(m[1]) * 60 + Number(m[2])) * 1000 : 0;
}

export function clockText(ms: number): string {
  const s = Math.max(0, Math.floor(ms / 1000));
  return `${String(Math.floor(s / 60)).padStart(2, '0')}:${String(s % 60).padStart(2, '0')}`;
}

export class MusicPlayer {
  status: MusicStatus = 'idle';
  file: string | null = null;
  info: MusicInfo | null = null;
  lengthMs = 0;
  volume = { left: 100, right: 100 };
  last: MusicFrame | null = null;
  // The spectrum's draw cost, kept by the screen: frames drawn and their total and worst time.
  readonly drawStats = { frames: 0, totalMs: 0, maxMs: 0 };
  private frameListeners = new Set<(f: MusicFrame) => void>();
  private endTimer = 0;
  // Lighting from the music: the bass drives each device's brightness. One write at a time:
  // the next level goes out only after the device answered the last, so writes never queue
  // faster than a device takes them.
  lighting = false;
  private lightBusy = false;
  private lastLevel = new Map<string, number>();

  constructor(private readonly app: App) {}

  start(): void {
    this.app.events.on('OnRGBMusicData', (args) => {
      const frame = musicFrame(args);
      if (!frame) return;
      this.last = frame;
      this.frameListeners.forEach((l) => l(frame));
      if (this.lighting) void this.light(frame);
      this.watchEnd();
    });
  }

  onFrame(fn: (f: MusicFrame) => void): () => void {
    this.frameListeners.add(fn);
    return () => this.frameListeners.delete(fn);
  }

  async open(): Promise<void> {
    const t = this.app.t.music;
    const chosen = await this.app.protocol.openFileDialog();
    if (!chosen.ok) {
      if (chosen.text !== NO_FILE) this.app.notify('error', fmt(this.app.t.updates.dialogFailed, { reason: chosen.text }));
      return;
    }
    this.file = chosen.text;
    this.info = null;
    this.last = null;
    this.set('opening');
    if (!(await this.check(t.play, this.app.protocol.playMusic(chosen.text)))) return this.set('idle');
    const info = await this.app.protocol.getMusicInfo();
    if (!info) {
      this.app.notify('error', fmt(t.noAnswer, { what: t.name, reason: this.app.t.common.noAnswer }));
      return this.set('idle');
    }
    this.info = info;
    this.lengthMs = clockMs(info.Time);
    const vol = (v: string) => (/^\d+$/.test(v) ? Math.min(100, Number(v)) : 100);
    this.volume = { left: vol(info.LeftVolume), right: vol(info.RightVolume) };
    this.set(this.lengthMs > 0 ? 'playing' : 'unreadable');
  }

  async pause(): Promise<void> {
    if (await this.check(this.app.t.music.pause, this.app.protocol.musicEvent('PauseMusic'))) this.set('paused');
  }

  async resume(): Promise<void> {
    // An ended file starts again from its beginning.
    const send = this.status === 'ended' && this.file ? this.app.protocol.playMusic(this.file) : this.app.protocol.musicEvent('ResumeMusic');
    if (!(await this.check(this.app.t.music.resume, send))) return;
    // Resuming fades the player's volume in to 80 on both sides.
    if (this.status !== 'ended') this.volume = { left: 80, right: 80 };
    this.set('playing');
  }

  seek(ms: number): Promise<boolean> {
    return this.check(this.app.t.music.position, this.app.protocol.seekMusic(ms));
  }

  async setVolume(left: number, right: number): Promise<void> {
    const before = this.volume;
    this.volume = { left, right };
    this.app.changed();
    if (!(await this.check(this.app.t.music.left, this.app.protocol.setMusicVolume(left, right)))) {
      this.volume = before;
      this.app.changed();
    }
  }

  async setLighting(on: boolean): Promise<void> {
    this.lighting = on;
    this.app.changed();
    if (on) return;
    // Back to each device's own brightness once the last music write was answered.
    while (this.lightBusy) await new Promise((r) => window.setTimeout(r, 20));
    this.lastLevel.clear();
    for (const { s, row, value } of this.brightnessRows()) await this.writeLevel(s, row, value);
  }

  private brightnessRows(): { s: Session; row: Element; value: number; min: number; max: number }[] {
    const out: { s: Session; row: Element; value: number; min: number; max: number }[] = [];
    for (const s of this.app.sessions.values()) {
      if (s.status !== 'ready' || !s.profile) continue;
      const name = s.kind === 'keyboard' ? 'LightBrightness' : `LightBrightness${s.profile.lightSets(s.mode)[0] ?? 1}`;
      const row = s.profile.setting(name, s.mode);
      if (!row) continue;
      const [min, max] = s.kind === 'keyboard' ? [0, 8] : [1, 5];
      out.push({ s, row, value: Number(s.profile.value(name, s.mode)) || max, min, max });
    }
    return out;
  }

  private writeLevel(s: Session, row: Element, level: number): Promise<Answer> {
    return this.app.protocol.writeDeviceMultimedia(s.key, Number(row.getAttribute('index')), 1, byteCode(level));
  }

  private async light(f: MusicFrame) {
    if (this.lightBusy) return;
    // The bass: the strongest of the lowest bins (about 40 to 260 Hz at 44.1 kHz), 0..100.
    let bass = 0;
    for (let k = 1; k <= 6; k++) bass = Math.max(bass, f.left[k] ?? 0, f.right[k] ?? 0);
    this.lightBusy = true;
    for (const { s, row, min, max } of this.brightnessRows()) {
      const level = min + Math.round((Math.min(100, bass) / 100) * (max - min));
      if (this.lastLevel.get(s.key) === level) continue;
      const answer = await this.writeLevel(s, row, level);
      if (!answer.ok) {
        this.lightBusy = false;
        this.app.notify('error', fmt(this.app.t.music.lightFailed, { reason: answer.text || this.app.t.common.refused }));
        return this.setLighting(false);
      }
      this.lastLevel.set(s.key, level);
    }
    this.lightBusy = false;
  }

  private async check(what: string, sent: Promise<Answer>): Promise<boolean> {
    const answer = await sent;
    if (!answer.ok) {
      const reason = answer.timedOut ? this.app.t.common.noAnswer : answer.text || this.app.t.common.refused;
      this.app.notify('error', fmt(this.app.t.music.noAnswer, { what, reason }));
    }
    return answer.ok;
  }

  private set(status: MusicStatus) {
    this.status = status;
    this.app.changed();
  }

  private watchEnd() {
    window.clearTimeout(this.endTimer);
    this.endTimer = window.setTimeout(() => {
      if (this.status === 'playing' && this.last && this.lengthMs && this.last.position >= this.lengthMs - END_QUIET_MS) this.set('ended');
    }, END_QUIET_MS);
  }
}
