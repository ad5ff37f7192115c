// Keyboard: a drawn keyboard for per-key colours and per-key assignments, and the lighting rows
// of the keyboard profile.
import { useRef, useState } from 'preact/hooks';
import { fmt } from '../../i18n';
import type { Session } from '../../model/app';
import { describe, fromRow } from '../../model/assign';
import { DIRECTIONS, KEYBOARD_EFFECTS } from '../../model/functions';
import { KEYBOARD_HEIGHT_UNITS, KEYBOARD_WIDTH_UNITS, KEYS, type KeyDef } from '../../model/keys';
import type { ButtonRow } from '../../model/profile';
import { AssignDialog } from '../AssignDialog';
import { ColourPicker, hsvToHex } from '../colour';
import { Empty, Field, Select, Slider, Tabs, Toggle, useApp, WriteStatus } from '../kit';
import { DeviceHeader, rowValue, writeRow } from './Mouse';

type Tab = 'colours' | 'keys' | 'lighting';
const UNIT = 38;

// The nearest key from `from` in an arrow key's direction, by the drawn positions.
function neighbour(from: KeyDef, dir: string): KeyDef | undefined {
  const cx = from.x + from.w / 2;
  const cy = from.y + from.h / 2;
  let best: KeyDef | undefined;
  let bestScore = Infinity;
  for (const k of KEYS) {
    if (k === from) continue;
    const dx = k.x + k.w / 2 - cx;
    const dy = k.y + k.h / 2 - cy;
    const ahead = dir === 'ArrowRight' ? dx : dir === 'ArrowLeft' ? -dx : dir === 'ArrowDown' ? dy : -dy;
    const side = dir === 'ArrowRight' || dir === 'ArrowLeft' ? Math.abs(dy) : Math.abs(dx);
    if (ahead <= 0.1) continue;
    const score = ahead + side * 3;
    if (score < bestScore) {
      bestScore = score;
      best = k;
    }
  }
  return best;
}

function KeyboardArt(props: {
  colours: Record<string, string>;
  marks?: Set<string>;
  onKey: (k: KeyDef) => void;
  onStroke?: (k: KeyDef) => void;
  onStrokeEnd?: () => void;
  label: string;
}) {
  const [focus, setFocus] = useState('ESC');
  const painting = useRef(false);
  const wrap = useRef<HTMLDivElement>(null);
  const onKeyDown = (e: KeyboardEvent, k: KeyDef) => {
    if (e.key.startsWith('Arrow')) {
      e.preventDefault();
      const n = neighbour(k, e.key);
      if (n) {
        setFocus(n.m);
        (wrap.current?.querySelector(`[data-key="${n.m}"]`) as HTMLElement | null)?.focus();
      }
    }
  };
  return (
    <div
      ref={wrap}
      class="kb"
      role="group"
      aria-label={props.label}
      style={{ width: `${KEYBOARD_WIDTH_UNITS * UNIT}px`, height: `${KEYBOARD_HEIGHT_UNITS * UNIT}px` }}
      onPointerUp={() => {
        if (painting.current) {
          painting.current = false;
          props.onStrokeEnd?.();
        }
      }}
      onPointerLeave={() => {
        if (painting.current) {
          painting.current = false;
          props.onStrokeEnd?.();
        }
      }}
    >
      {KEYS.filter((k) => k.m).map((k) => {
        const rgb = props.colours[k.m];
        return (
          <button
            type="button"
            key={k.m}
            data-key={k.m}
            class={props.marks?.has(k.m) ? 'key marked' : 'key'}
            tabIndex={focus === k.m ? 0 : -1}
            aria-label={k.label === k.m ? k.m : `${k.label} (${k.m})`}
            style={{
              left: `${k.x * UNIT}px`,
              top: `${k.y * UNIT}px`,
              width: `${k.w * UNIT - 4}px`,
              height: `${k.h * UNIT - 4}px`,
              ...(rgb ? { '--glow': `#${rgb}` } : {}),
            }}
            onFocus={() => setFocus(k.m)}
            onKeyDown={(e) => onKeyDown(e, k)}
            onPointerDown={(e) => {
              if (!props.onStroke || e.button !== 0) return;
              painting.current = true;
              (e.currentTarget as HTMLElement).releasePointerCapture?.(e.pointerId);
              props.onStroke(k);
            }}
            onPointerEnter={() => painting.current && props.onStroke?.(k)}
            onClick={(e) => {
              if (props.onStroke && e.detail > 0) return; // the pointer already painted it
              props.onKey(k);
            }}
          >
            <span class={rgb ? 'cap lit' : 'cap'}>{k.label}</span>
          </button>
        );
      })}
    </div>
  );
}

function presetColours(id: string): Record<string, string> {
  const out: Record<string, string> = {};
  for (const k of KEYS.filter((x) => x.m)) {
    const fx = k.x / KEYBOARD_WIDTH_UNITS;
    const fy = k.y / KEYBOARD_HEIGHT_UNITS;
    if (id === 'rainbow') out[k.m] = hsvToHex(fx * 300, 1, 1);
    if (id === 'ocean') out[k.m] = hsvToHex(180 + fx * 50, 0.9, 0.6 + fy * 0.4);
    if (id === 'ember') out[k.m] = hsvToHex(fy * 40, 1, 1 - fx * 0.4);
    if (id === 'wasd') out[k.m] = ['W', 'A', 'S', 'D'].includes(k.m) ? 'FF2A2A' : '1C3A5A';
  }
  return out;
}

function ColoursTab({ s }: { s: Session }) {
  const app = useApp();
  const t = app.t.keyboard;
  const key = `${s.key}:colours`;
  const confirmed = s.profile!.keyColours();
  const [draft, setDraft] = useState<Record<string, string> | null>(null);
  const [brush, setBrush] = useState('2EABF3');
  const shown = draft ?? app.shown(key, confirmed);
  const send = (colours: Record<string, string>) => {
    setDraft(null);
    const items = Object.entries(colours)
      .filter(([, c]) => c !== '000000')
      .map(([n, c]) => `${n}#${c}`);
    app.write(key, app.t.write.keyColours, colours, () => app.protocol.notifyRGBDevice(s.key, items), () => s.profile!.setKeyColours(colours), s);
  };
  const paintOne = (k: KeyDef) => setDraft((d) => ({ ...(d ?? shown), [k.m]: brush }));
  const count = Object.values(shown).filter((c) => c !== '000000').length;
  const lightsOff = rowValue(app, s, 'LightSwitch') === '0';
  return (
    <div class="colours-tab">
      {lightsOff && (
        <div class="banner warn lights-off" role="status">
          <span>{t.lightsOff}</span>
          <button type="button" class="btn small" onClick={() => writeRow(app, s, 'LightSwitch', '1', fmt(app.t.write.keyLight, { part: t.lights.toLowerCase() }))}>
            {t.lightsOn}
          </button>
        </div>
      )}
      <div class="kb-top">
        <ColourPicker label={t.paint} value={brush} onCommit={setBrush} />
        <div class="kb-tools">
          <div class="tool-row wrap">
            <span class="field-label">{t.presets}</span>
            {(['wasd', 'rainbow', 'ocean', 'ember'] as const).map((id) => (
              <button type="button" class="chip" key={id} onClick={() => send(presetColours(id))}>
                {t.presetNames[id]}
              </button>
            ))}
          </div>
          <div class="tool-row">
            <button type="button" class="btn" onClick={() => send(Object.fromEntries(KEYS.filter((k) => k.m).map((k) => [k.m, brush])))}>
              {t.fill}
            </button>
            <button type="button" class="btn ghost" onClick={() => send({})}>
              {t.clear}
            </button>
            <span class="grow" />
            <span class="hint">{fmt(t.keyCount, { n: count })}</span>
            <WriteStatus state={app.writes.get(key)} />
          </div>
          <span class="hint">{t.paintHint}</span>
        </div>
      </div>
      <KeyboardArt
        label={t.paint}
        colours={shown}
        onKey={(k) => send({ ...shown, [k.m]: brush })}
        onStroke={paintOne}
        onStrokeEnd={() => draft && send(draft)}
      />
    </div>
  );
}

function KeysTab({ s }: { s: Session }) {
  const app = useApp();
  const [open, setOpen] = useState<{ row: ButtonRow; key: KeyDef } | null>(null);
  const rows = s.profile!.keyRows();
  const rowFor = (k: KeyDef): ButtonRow | undefined => {
    const r = rows.find((x) => x.el.getAttribute('value') === k.kb);
    if (!r) return undefined;
    // A key row without a type sends its own key.
    return r.type ? r : { ...r, type: k.task ? 'Keyboard' : '', command: k.task, playType: 1, playCount: 1, playDelay: 0 };
  };
  const slotKey = (r: ButtonRow) => `${s.key}:1:btn:${r.index}`;
  const marks = new Set(
    KEYS.filter((k) => {
      const r = rows.find((x) => x.el.getAttribute('value') === k.kb);
      return r && r.type && !(r.type === 'Keyboard' && r.command === k.task);
    }).map((k) => k.m),
  );
  return (
    <div class="keys-tab">
      <p class="hint">{app.t.keyboard.keysHint}</p>
      <KeyboardArt
        label={app.t.keyboard.tabs.keys}
        colours={{}}
        marks={marks}
        onKey={(k) => {
          const row = rowFor(k);
          if (row) setOpen({ row, key: k });
        }}
      />
      <ul class="rows compact">
        {KEYS.filter((k) => marks.has(k.m)).map((k) => {
          const r = rowFor(k)!;
          return (
            <li key={k.m}>
              <span class="row-name">{k.label}</span>
              <span class="row-value">{describe(app.shown(slotKey(r), fromRow(r)), app.locale, app.t)}</span>
              <WriteStatus state={app.writes.get(slotKey(r))} />
            </li>
          );
        })}
      </ul>
      {open && <AssignDialog session={s} row={open.row} name={open.key.label} slotKey={slotKey(open.row)} onClose={() => setOpen(null)} />}
    </div>
  );
}

function LightingTab({ s }: { s: Session }) {
  const app = useApp();
  const t = app.t.keyboard;
  const m = app.t.mouse;
  const part = (p: string) => fmt(app.t.write.keyLight, { part: p.toLowerCase() });
  const num = (n: string) => Number(rowValue(app, s, n)) || 0;
  const st = (n: string) => app.writes.get(`${s.key}:${s.mode}:${n}`);
  const mode = num('LightMode');
  return (
    <div class="two-col">
      <div class="col">
        <Field label={t.lights} status={st('LightSwitch')}>
          <Toggle label={t.lights} checked={num('LightSwitch') === 1} onChange={(v) => writeRow(app, s, 'LightSwitch', v ? '1' : '0', part(t.lights))} />
        </Field>
        <Field label={t.mode} status={st('LightMode')}>
          <Select
            label={t.mode}
            value={mode}
            options={[...KEYBOARD_EFFECTS, ...(KEYBOARD_EFFECTS.includes(mode) ? [] : [mode])].map((v) => ({ value: v, label: app.t.kbEffects[v] || `#${v}` }))}
            onChange={(v) => writeRow(app, s, 'LightMode', String(v), part(t.mode))}
          />
        </Field>
        <Field label={m.brightness} status={st('LightBrightness')}>
          <Slider label={m.brightness} min={0} max={8} value={num('LightBrightness')} onCommit={(v) => writeRow(app, s, 'LightBrightness', String(v), part(m.brightness))} />
        </Field>
        <Field label={m.speed} status={st('LightSpeed')}>
          <Slider label={m.speed} min={0} max={8} value={num('LightSpeed')} onCommit={(v) => writeRow(app, s, 'LightSpeed', String(v), part(m.speed))} />
        </Field>
        <Field label={t.direction} status={st('LightDirection')}>
          <Select label={t.direction} value={num('LightDirection')} options={DIRECTIONS.map((v) => ({ value: v, label: app.t.directions[v] }))} onChange={(v) => writeRow(app, s, 'LightDirection', String(v), part(t.direction))} />
        </Field>
      </div>
      <div class="col">
        <Field label={m.colour} status={st('LightRGB')}>
          <ColourPicker label={m.colour} value={(rowValue(app, s, 'LightRGB') || 'FF0000').toUpperCase()} onCommit={(hex) => writeRow(app, s, 'LightRGB', hex, part(m.colour))} />
        </Field>
      </div>
    </div>
  );
}

export function KeyboardScreen() {
  const app = useApp();
  const [tab, setTab] = useState<Tab>('colours');
  const s = app.sessionOfKind('keyboard');
  if (!s || !s.profile) return <Empty icon="keyboard" title={app.t.keyboard.title} body={app.lost('keyboard') ? app.t.keyboard.gone : app.t.keyboard.none} />;
  const t = app.t.keyboard;
  const tabs: Tab[] = ['colours', 'keys', 'lighting'];
  return (
    <section class="screen">
      <DeviceHeader s={s} title={t.title} />
      <Tabs label={t.title} value={tab} tabs={tabs.map((id) => ({ id, label: t.tabs[id] }))} onChange={setTab} />
      <div class="tab-panel" role="tabpanel" aria-labelledby={`tab-${tab}`}>
        {tab === 'colours' && <ColoursTab s={s} />}
        {tab === 'keys' && <KeysTab s={s} />}
        {tab === 'lighting' && <LightingTab s={s} />}
      </div>
    </section>
  );
}
