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
