// Small controls every screen uses. Each one works with the keyboard alone and shows focus.
import type { ComponentChildren, JSX } from 'preact';
import { createContext } from 'preact';
import { useContext, useEffect, useReducer, useRef } from 'preact/hooks';
import type { App, WriteState } from '../model/app';

export const AppContext = createContext<App>(null as unknown as App);

// The app, re-rendering the caller whenever the state changes.
export function useApp(): App {
  const app = useContext(AppContext);
  const [, tick] = useReducer((n: number, _: void) => n + 1, 0);
  useEffect(() => app.subscribe(() => tick()), [app]);
  return app;
}

export function Icon({ name, size = 18 }: { name: keyof typeof PATHS; size?: number }) {
  return (
    <svg class="icon" width={size} height={size} viewBox="0 0 24 24" aria-hidden="true">
      <path d={PATHS[name]} />
    </svg>
  );
}

const PATHS = {
  devices: 'M4 6h16v10H4zM2 18h20v2H2z',
  mouse: 'M12 2a6 6 0 0 1 6 6v8a6 6 0 0 1-12 0V8a6 6 0 0 1 6-6zm-1 2.1A4 4 0 0 0 8 8v1h3zm2 0V9h3V8a4 4 0 0 0-3-3.9zM8 11v5a4 4 0 0 0 8 0v-5z',
  keyboard: 'M3 6h18v12H3zm2 2v2h2V8zm3 0v2h2V8zm3 0v2h2V8zm3 0v2h2V8zm3 0v2h2V8zM5 11v2h2v-2zm3 0v2h2v-2zm3 0v2h2v-2zm3 0v2h2v-2zm3 0v2h2v-2zM7 14v2h10v-2z',
  macro: 'M4 5h10v2H4zm0 4h16v2H4zm0 4h7v2H4zm0 4h12v2H4zm14-12l3 2-3 2z',
  profile: 'M6 2h9l5 5v15H6zm8 1.5V8h4.5zM9 12h8v2H9zm0 4h8v2H9z',
  pointer: 'M5 2l14 11-6 1 4 7-3 1.5-4-7L5 20z',
  min: 'M5 12h14v1.6H5z',
  max: 'M5 5h14v14H5zm2 2v10h10V7z',
  restore: 'M8 4h12v12h-3v3H5V7h3zm2 2v1h7v7h1V6zM7 9v8h8V9z',
  close: 'M6.4 5L12 10.6 17.6 5 19 6.4 13.4 12l5.6 5.6-1.4 1.4L12 13.4 6.4 19 5 17.6 10.6 12 5 6.4z',
  check: 'M9 16.2l-3.5-3.5L4 14.2l5 5 11-11-1.4-1.5z',
  alert: 'M11 7h2v6h-2zm0 8h2v2h-2zM12 2l10 19H2z',
  refresh: 'M17.6 6.4A8 8 0 1 0 20 12h-2a6 6 0 1 1-1.8-4.2L13 11h7V4z',
  plus: 'M11 5h2v6h6v2h-6v6h-2v-6H5v-2h6z',
  record: 'M12 6a6 6 0 1 1 0 12 6 6 0 0 1 0-12z',
  stop: 'M7 7h10v10H7z',
  up: 'M12 7l6 6-1.4 1.4L12 9.8l-4.6 4.6L6 13z',
  down: 'M12 17l-6-6 1.4-1.4 4.6 4.6 4.6-4.6L18 11z',
  trash: 'M9 3h6l1 2h4v2H4V5h4zM6 9h12l-1 12H7z',
  usb: 'M11 2h2v4h2l-3 3-3-3h2zm-4 9h10v2h-4v4.3a2 2 0 1 1-2 0V13H7z',
  brush: 'M20.7 4.6l-1.3-1.3a1 1 0 0 0-1.4 0L9 12.3l2.7 2.7 9-9a1 1 0 0 0 0-1.4zM7 14c-1.7 0-3 1.3-3 3 0 1.3-1.2 2-2 2 .9 1.2 2.5 2 4 2 2.2 0 4-1.8 4-4 0-1.7-1.3-3-3-3z',
  menu: 'M4 6h16v2H4zm0 5h16v2H4zm0 5h16v2H4z',
  keymap: 'M3 5h8v6H3zm2 2v2h4V7zm8-2h8v6h-8zm2 2v2h4V7zM3 13h8v6H3zm2 2v2h4v-2zm9 0h3v-2l4 3-4 3v-2h-3z',
  music: 'M9 3h12v13.5a3.5 3.5 0 1 1-2-3.2V7h-8v11.5a3.5 3.5 0 1 1-2-3.2z',
  update: 'M12 3v9.2l3.6-3.6L17 10l-6 6-6-6 1.4-1.4 3.6 3.6V3zM4 18h16v2H4z',
  play: 'M7 4l13 8-13 8z',
  pause: 'M6 4h4v16H6zm8 0h4v16h-4z',
  bug: 'M14 4l2-2 1.4 1.4L15.6 5A5 5 0 0 1 17 8h3v2h-3v2h3v2h-3a5 5 0 0 1-10 0H4v-2h3v-2H4V8h3a5 5 0 0 1 1.4-3L6.6 3.4 8 2l2 2a5 5 0 0 1 4 0z',
};

export function WriteStatus({ state }: { state: WriteState | undefined }) {
  const app = useContext(AppContext);
  const t = app.t.common;
  if (!state) return <span class="wstatus" aria-live="polite" />;
  if (state.status === 'pending' || state.status === 'waiting') {
    const waiting = state.status === 'waiting';
    const long = state.computer ? t.waitingComputer : t.waitingDevice;
    return (
      <span class={waiting ? 'wstatus pending waiting' : 'wstatus pending'} aria-live="polite" title={waiting ? long : undefined}>
        <span class="spinner" aria-hidden="true" />
        {waiting ? t.waiting : t.writing}
        {waiting && <span class="sr-only">{long}</span>}
      </span>
    );
  }
  if (state.status === 'ok')
    return (
      <span class="wstatus ok" aria-live="polite">
        <Icon name="check" size={14} />
        {state.computer ? t.applied : t.written}
      </span>
    );
  return (
    <span class="wstatus failed" role="alert">
      <Icon name="alert" size={14} />
      {state.computer ? t.notApplied : t.notWritten}
      <button type="button" class="link" onClick={state.retry}>
        {t.retry}
      </button>
    </span>
  );
}

// True while a write of this setting is unanswered: the control shows the new value, marked busy.
export function isBusy(state: WriteState | undefined): boolean {
  return !!state && (state.status === 'pending' || state.status === 'waiting');
}

export function Field({ label, hint, status, children }: { label: string; hint?: string; status?: WriteState; children: ComponentChildren }) {
  return (
    <div class="field">
      <div class="field-head">
        <span class="field-label">{label}</span>
        <WriteStatus state={status} />
      </div>
      {children}
      {hint && <div class="hint">{hint}</div>}
    </div>
  );
}

// A row of mutually exclusive choices; arrow keys move between them.
export function Segmented<T extends string | number>(props: {
  label: string;
  value: T;
  options: { value: T; label: string }[];
  onChange: (v: T) => void;
  disabled?: boolean;
}) {
  const { value, options, onChange } = props;
  const onKey = (e: KeyboardEvent) => {
    const i = options.findIndex((o) => o.value === value);
    let next = -1;
    if (e.key === 'ArrowRight' || e.key === 'ArrowDown') next = (i + 1) % options.length;
    if (e.key === 'ArrowLeft' || e.key === 'ArrowUp') next = (i - 1 + options.length) % options.length;
    if (next >= 0) {
      e.preventDefault();
      onChange(options[next].value);
      const group = e.currentTarget as HTMLElement;
      requestAnimationFrame(() => (group.querySelector('[aria-checked="true"]') as HTMLElement | null)?.focus());
    }
  };
  return (
    <div class="segmented" role="radiogroup" aria-label={props.label} onKeyDown={onKey}>
      {options.map((o) => (
        <button
          type="button"
          role="radio"
          key={String(o.value)}
          aria-checked={o.value === value}
          tabIndex={o.value === value ? 0 : -1}
          disabled={props.disabled}
          onClick={() => onChange(o.value)}
        >
          {o.label}
        </button>
      ))}
    </div>
  );
}

export function Tabs<T extends string>(props: { label: string; value: T; tabs: { id: T; label: string }[]; onChange: (t: T) => void }) {
  const onKey = (e: KeyboardEvent) => {
    const i = props.tabs.findIndex((t) => t.id === props.value);
    let next = -1;
    if (e.key === 'ArrowRight') next = (i + 1) % props.tabs.length;
    if (e.key === 'ArrowLeft') next = (i - 1 + props.tabs.length) % props.tabs.length;
    if (next >= 0) {
      e.preventDefault();
      props.onChange(props.tabs[next].id);
      const list = e.currentTarget as HTMLElement;
      requestAnimationFrame(() => (list.querySelector('[aria-selected="true"]') as HTMLElement | null)?.focus());
    }
  };
  return (
    <div class="tabs" role="tablist" aria-label={props.label} onKeyDown={onKey}>
      {props.tabs.map((t) => (
        <button
          type="button"
          role="tab"
          key={t.id}
          id={`tab-${t.id}`}
          aria-selected={t.id === props.value}
          tabIndex={t.id === props.value ? 0 : -1}
          onClick={() => props.onChange(t.id)}
        >
          {t.label}
        </button>
      ))}
    </div>
  );
}

// A slider that writes when it is let go (or on each arrow key), not on every pixel.
export function Slider(props: {
  label: string;
  min: number;
  max: number;
  step?: number;
  value: number;
  format?: (v: number) => string;
  onCommit: (v: number) => void;
  ends?: [string, string];
}) {
  const ref = useRef<HTMLInputElement>(null);
  const out = useRef<HTMLOutputElement>(null);
  const show = (v: number) => (props.format ? props.format(v) : String(v));
  useEffect(() => {
    if (ref.current && document.activeElement !== ref.current) ref.current.value = String(props.value);
    if (out.current) out.current.textContent = show(props.value);
  });
  const commit = () => {
    const v = Number(ref.current!.value);
    if (v !== props.value) props.onCommit(v);
  };
  return (
    <div class="slider">
      {props.ends && <span class="end">{props.ends[0]}</span>}
      <input
        ref={ref}
        type="range"
        aria-label={props.label}
        min={props.min}
        max={props.max}
        step={props.step ?? 1}
        defaultValue={String(props.value)}
        onInput={() => out.current && (out.current.textContent = show(Number(ref.current!.value)))}
        onChange={commit}
      />
      {props.ends && <span class="end">{props.ends[1]}</span>}
      <output ref={out}>{show(props.value)}</output>
    </div>
  );
}

export function Toggle(props: { label: string; checked: boolean; onChange: (v: boolean) => void }) {
  return (
    <button type="button" role="switch" class="toggle" aria-checked={props.checked} aria-label={props.label} onClick={() => props.onChange(!props.checked)}>
      <span class="knob" />
    </button>
  );
}

export function Select<T extends string | number>(props: {
  label: string;
  value: T;
  options: { value: T; label: string }[];
  onChange: (v: T) => void;
}) {
  return (
    <select
      class="select"
      aria-label={props.label}
      value={String(props.value)}
      onChange={(e) => {
        const raw = (e.currentTarget as HTMLSelectElement).value;
        const hit = props.options.find((o) => String(o.value) === raw);
        if (hit) props.onChange(hit.value);
      }}
    >
      {props.options.map((o) => (
        <option key={String(o.value)} value={String(o.value)}>
          {o.label}
        </option>
      ))}
    </select>
  );
}

// A modal dialog: focus moves in, Tab stays inside, Escape closes, focus returns afterwards.
export function Dialog(props: { title: string; onClose: () => void; children: ComponentChildren; wide?: boolean }) {
  const ref = useRef<HTMLDivElement>(null);
  useEffect(() => {
    const before = document.activeElement as HTMLElement | null;
    const first = ref.current?.querySelector<HTMLElement>('[data-autofocus], button, input, select, textarea');
    first?.focus();
    return () => before?.focus?.();
  }, []);
  const onKey = (e: KeyboardEvent) => {
    if (e.key === 'Escape') {
      e.stopPropagation();
      props.onClose();
      return;
    }
    if (e.key !== 'Tab' || !ref.current) return;
    const items = Array.from(
      ref.current.querySelectorAll<HTMLElement>('button:not([disabled]), input:not([disabled]), select, textarea, [tabindex="0"]'),
    ).filter((el) => el.offsetParent !== null);
    if (!items.length) return;
    const first = items[0];
    const last = items[items.length - 1];
    if (e.shiftKey && document.activeElement === first) {
      e.preventDefault();
      last.focus();
    } else if (!e.shiftKey && document.activeElement === last) {
      e.preventDefault();
      first.focus();
    }
  };
  return (
    <div class="scrim" onMouseDown={(e) => e.target === e.currentTarget && props.onClose()}>
      <div ref={ref} class={props.wide ? 'dialog wide' : 'dialog'} role="dialog" aria-modal="true" aria-label={props.title} onKeyDown={onKey}>
        <header class="dialog-head">
          <h2>{props.title}</h2>
          <button type="button" class="icon-btn" aria-label="×" onClick={props.onClose}>
            <Icon name="close" />
          </button>
        </header>
        {props.children}
      </div>
    </div>
  );
}

// A screen's title line: its heading, a line under it, and the screen's own buttons on the right.
export function ScreenHead({ title, sub, titleId, children }: { title: string; sub: ComponentChildren; titleId?: string; children?: ComponentChildren }) {
  return (
    <header class="screen-head">
      <div>
        <h1 id={titleId}>{title}</h1>
        <p class="sub">{sub}</p>
      </div>
      {children}
    </header>
  );
}

export function Empty({ icon, title, body, children }: { icon: keyof typeof PATHS; title: string; body?: string; children?: ComponentChildren }) {
  return (
    <div class="empty">
      <div class="empty-icon">
        <Icon name={icon} size={40} />
      </div>
      <h2>{title}</h2>
      {body && <p>{body}</p>}
      {children}
    </div>
  );
}

export function Swatch({ rgb, ...rest }: { rgb: string } & JSX.HTMLAttributes<HTMLSpanElement>) {
  return <span class="swatch" style={{ background: `#${rgb}` }} {...rest} />;
}
