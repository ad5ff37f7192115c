// System pointer: speed, acceleration, wheel lines, horizontal wheel and double-click time. The
// values last set are kept in page storage; "Restore defaults" uses the mouse profile's values.
import type { PointerCommand } from '../../bridge/protocol';
import { fmt } from '../../i18n';
import type { App } from '../../model/app';
import { ACCELERATION, doubleClickMs, DOUBLE_CLICK_STEPS, POINTER_SPEED_TICKS, speedForTick } from '../../model/functions';
import { Field, Icon, ScreenHead, Segmented, Slider, useApp } from '../kit';

export interface PointerValues {
  speed: number; // tick 0..10
  accel: number; // Num 0..3
  lines: number;
  chars: number;
  dbl: number; // Num 0..11
}

const KEY = 'kf.pointer.v1';

export function pointerDefaults(app: App): PointerValues {
  const mouse = app.sessionOfKind('mouse')?.profile;
  const v = (name: string, d: number) => {
    const n = parseInt(mouse?.value(name, 1) ?? '', 10);
    return Number.isFinite(n) ? n : d;
  };
  // Acceleration Num 3 is the X server's own default (twice as fast beyond 4 pixels).
  return { speed: v('PointerSpeed', 5), accel: 3, lines: v('WheelSpeed', 3), chars: 3, dbl: v('Dblclick', 5) };
}

function load(app: App): PointerValues {
  try {
    const raw = JSON.parse(localStorage.getItem(KEY) ?? 'null') as PointerValues | null;
    if (raw && typeof raw.speed === 'number') return { ...pointerDefaults(app), ...raw };
  } catch {
    // fall back to the defaults
  }
  return pointerDefaults(app);
}

const SETTINGS: { field: keyof PointerValues; command: PointerCommand; num: (v: number) => number; part: 'speedPart' | 'accelPart' | 'linesPart' | 'charsPart' | 'dblPart' }[] = [
  { field: 'speed', command: 'ModifyWindowAcceleratedSpeed', num: speedForTick, part: 'speedPart' },
  { field: 'accel', command: 'modifyMouseAcce', num: (v) => v, part: 'accelPart' },
  { field: 'lines', command: 'ModifyMouseScrollLines', num: (v) => v, part: 'linesPart' },
  { field: 'chars', command: 'modifyMouseScrollLinesX', num: (v) => v, part: 'charsPart' },
  { field: 'dbl', command: 'modifyMouseDoubleClick', num: (v) => v, part: 'dblPart' },
];

export function PointerScreen() {
  const app = useApp();
  const t = app.t.pointer;
  const values = load(app);
  const key = (f: keyof PointerValues) => `pointer:${f}`;
  const shown = (f: keyof PointerValues) => app.shown(key(f), values[f]);
  const set = (f: keyof PointerValues, v: number) => {
    const s = SETTINGS.find((x) => x.field === f)!;
    app.write(
      key(f),
      fmt(app.t.write.pointer, { part: t[s.part] }),
      v,
      () => app.protocol.pointer(s.command, s.num(v)),
      () => {
        const next = { ...load(app), [f]: v };
        try {
          localStorage.setItem(KEY, JSON.stringify(next));
        } catch {
          // the system keeps the setting either way
        }
      },
      null,
    );
  };
  const restore = () => {
    const d = pointerDefaults(app);
    (Object.keys(d) as (keyof PointerValues)[]).forEach((f) => set(f, d[f]));
  };
  return (
    <section class="screen">
      <ScreenHead title={t.title} sub={t.hint}>
        <button type="button" class="btn ghost" onClick={restore}>
          <Icon name="refresh" size={16} />
          {t.defaults}
        </button>
      </ScreenHead>
      <div class="card form">
        <Field label={t.speed} status={app.writes.get(key('speed'))}>
          <Slider label={t.speed} min={0} max={POINTER_SPEED_TICKS} value={shown('speed')} ends={[t.slow, t.fast]} format={(v) => String(speedForTick(v))} onCommit={(v) => set('speed', v)} />
        </Field>
        <Field label={t.accel} status={app.writes.get(key('accel'))}>
          <Segmented label={t.accel} value={shown('accel')} options={ACCELERATION.map((num, i) => ({ value: num, label: t.accelNames[i] }))} onChange={(v) => set('accel', v)} />
        </Field>
        <Field label={t.lines} status={app.writes.get(key('lines'))}>
          <Slider label={t.lines} min={1} max={20} value={shown('lines')} onCommit={(v) => set('lines', v)} />
        </Field>
        <Field label={t.chars} status={app.writes.get(key('chars'))}>
          <Slider label={t.chars} min={1} max={20} value={shown('chars')} onCommit={(v) => set('chars', v)} />
        </Field>
        <Field label={t.dblclick} status={app.writes.get(key('dbl'))}>
          <Slider label={t.dblclick} min={0} max={DOUBLE_CLICK_STEPS - 1} value={shown('dbl')} ends={[t.slow, t.fast]} format={(v) => `${doubleClickMs(v)} ms`} onCommit={(v) => set('dbl', v)} />
        </Field>
      </div>
    </section>
  );
}
