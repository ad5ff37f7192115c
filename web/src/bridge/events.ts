// Events from the client. The bridge keeps only the first function a page registers for a name,
// so this registers once per name and hands each event to every listener of the screens.

export type EventName =
  | 'DevicesChanged'
  | 'currentPropChanged'
  | 'navStateChanged'
  | 'OnBrowserMsg'
  | 'onSwitchVirtualDevice'
  | 'OnRGBMusicData'
  | 'RefreshDownState'
  | 'RefreshUpdateState';

export type EventListener = (args: unknown[]) => void;

type Register = (name: string, fn: (name: string, args: unknown[]) => unknown) => unknown;

export class EventClient {
  private listeners = new Map<string, EventListener[]>();
  private registered = new Set<string>();

  constructor(private readonly register: Register | null) {}

  static fromWindow(): EventClient {
    const w = window as unknown as { setMessageCallback?: Register };
    return new EventClient(typeof w.setMessageCallback === 'function' ? (n, f) => w.setMessageCallback!(n, f) : null);
  }

  on(name: EventName, fn: EventListener): () => void {
    const list = this.listeners.get(name) ?? [];
    list.push(fn);
    this.listeners.set(name, list);
    if (!this.registered.has(name) && this.register) {
      this.registered.add(name);
      try {
        this.register(name, (_n, args) => this.emit(name, Array.isArray(args) ? args : []));
      } catch {
        this.registered.delete(name);
      }
    }
    return () => {
      this.listeners.set(
        name,
        (this.listeners.get(name) ?? []).filter((l) => l !== fn),
      );
    };
  }

  emit(name: string, args: unknown[]): void {
    for (const fn of this.listeners.get(name) ?? []) {
      try {
        fn(args);
      } catch (e) {
        console.error(`event ${name}: ${String(e)}`);
      }
    }
  }
}

// ---- what the events carry ----

// "RefreshUpdateState": a progress value of an update ("5" … "100"), "-1" when it failed, or
// the full path of a download that has just completed.
export type UpdateState = { kind: 'progress'; value: number } | { kind: 'failed' } | { kind: 'downloaded'; path: string };

export function updateState(args: unknown[]): UpdateState | null {
  const text = String(args[0] ?? '').trim();
  if (!text) return null;
  if (/^-?\d+$/.test(text)) {
    const value = Number(text);
    if (value < 0) return { kind: 'failed' };
    return { kind: 'progress', value: Math.min(value, 100) };
  }
  return { kind: 'downloaded', path: text };
}

// "RefreshDownState": total and received bytes of a download, and where it goes. A completed
// download is announced once more as 100 of 100.
export interface DownState {
  total: number;
  received: number;
  path: string;
}

export function downState(args: unknown[]): DownState | null {
  const total = Number(args[0]);
  const received = Number(args[1]);
  if (!Number.isFinite(total) || !Number.isFinite(received)) return null;
  return { total, received, path: String(args[2] ?? '') };
}

// "OnRGBMusicData": the script text "VisualizeMusice(" + JSON + ")" with both channels'
// spectra (257 values each) and the play position.
export interface MusicFrame {
  left: number[];
  right: number[];
  position: number; // ms
  curTime: string; // MM:SS
}

const MUSIC_CALL = 'VisualizeMusice(';

export function musicFrame(args: unknown[]): MusicFrame | null {
  const text = String(args[0] ?? '');
  const start = text.indexOf(MUSIC_CALL);
  const end = text.lastIndexOf(')');
  if (start < 0 || end <= start) return null;
  try {
    const m = JSON.parse(text.slice(start + MUSIC_CALL.length, end)) as Record<string, unknown>;
    const nums = (v: unknown) => (Array.isArray(v) ? v.map((x) => Number(x) || 0) : []);
    return { left: nums(m.LeftChannel), right: nums(m.RightChannel), position: Number(m.Position) || 0, curTime: String(m.CurTime ?? '') };
  } catch {
    return null;
  }
}
