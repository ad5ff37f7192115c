// Mouse: buttons, DPI stages, lighting and performance of the selected mouse, per mode.
import { useEffect, useRef, useState } from 'preact/hooks';
import { fmt } from '../../i18n';
import type { App, Session } from '../../model/app';
import { buttonName, buttonSlotKey, byteCode, describe, fromRow } from '../../model/assign';
import { macroOutOfDate } from '../../model/macroUses';
import { LIFT_HEIGHTS, MOUSE_EFFECTS, REPORT_RATES } from '../../model/functions';
import type { ButtonRow } from '../../model/profile';
import { AssignDialog } from '../AssignDialog';
import { ColourPicker } from '../colour';
import { Empty, Field, Icon, isBusy, ScreenHead, Segmented, Slider, Tabs, Toggle, useApp, WriteStatus } from '../kit';

type Tab = 'buttons' | 'dpi' | 'lighting' | 'performance';

// A one-byte or colour row of the profile, written with "WriteDeviceMultimedia".
export function writeRow(app: App, s: Session, name: string, value: string, what: string, keyName = name): void {
  const row = s.profile?.setting(name, s.mode);
  if (!row || !s.profile) return;
  const index = Number(row.getAttribute('index'));
  const length = Number(row.getAttribute('length'));
  const code = length === 3 ? value : byteCode(Number(value));
  app.write(
    `${s.key}:${s.mode}:${keyName}`,
    what,
    value,
    () => app.protocol.writeDeviceMultimedia(s.key, index, length, code),
    () => s.profile!.setValue(name, s.mode, value),
    s,
  );
}

export function rowValue(app: App, s: Session, name: string): string {
  return app.shown(`${s.key}:${s.mode}:${name}`, s.profile?.value(name, s.mode) ?? '');
}

// The mouse from above; its buttons are drawn where they are and open the same dialog as the
// list beside it (the list is what the keyboard reaches).
const HOTSPOTS: Record<string, { d: string; lx: number; ly: number }> = {
  left: { d: 'M60 20 C60 20 40 26 36 70 L36 120 L96 120 L96 20 Z', lx: 64, ly: 78 },
  right: { d: 'M104 20 L104 120 L164 120 L164 70 C160 26 140 20 140 20 Z', lx: 136, ly: 78 },
  middle: { d: 'M92 44 h16 v40 h-16 Z', lx: 100, ly: 64 },
  dpi: { d: 'M92 92 h16 v16 h-16 Z', lx: 100, ly: 100 },
  forward: { d: 'M30 132 h8 v34 h-8 Z', lx: 18, ly: 149 },
  back: { d: 'M30 172 h8 v34 h-8 Z', lx: 18, ly: 189 },
  precision: { d: 'M30 212 h8 v22 h-8 Z', lx: 18, ly: 223 },
};

function MouseArt({ rows, onPick }: { rows: ButtonRow[]; onPick: (r: ButtonRow) => void }) {
  return (
    <svg class="mouse-art" viewBox="0 0 200 300" aria-hidden="true">
      <defs>
        <linearGradient id="shell" x1="0" y1="0" x2="0" y2="1">
          <stop offset="0" stop-color="#3a4048" />
          <stop offset="1" stop-color="#23272d" />
        </linearGradient>
      </defs>
      <path class="shell" d="M100 14 C40 14 32 60 32 120 L32 200 C32 260 60 290 100 290 C140 290 168 260 168 200 L168 120 C168 60 160 14 100 14 Z" fill="url(#shell)" />
      {rows.map((r, i) => {
        const spot = HOTSPOTS[buttonSlotKey(r.name)];
        if (!spot) return null;
        return (
          <g key={r.name} class="spot" onClick={() => onPick(r)}>
            <path d={spot.d} />
            <circle cx={spot.lx} cy={spot.ly} r="9" class="spot-num" />
            <text x={spot.lx} y={spot.ly + 4}>
              {i + 1}
            </text>
          </g>
        );
      })}
      <path class="glow" d="M70 270 Q100 282 130 270" />
    </svg>
  );
}

function ButtonsTab({ s }: { s: Session }) {
  const app = useApp();
  const [open, setOpen] = useState<ButtonRow | null>(null);
  const rows = s.profile!.buttons(s.mode);
  const slotKey = (r: ButtonRow) => `${s.key}:${s.mode}:btn:${r.index}`;
  return (
    <div class="buttons-tab">
      <MouseArt rows={rows} onPick={setOpen} />
      <div class="button-list">
        <p class="hint">{app.t.mouse.buttonsHint}</p>
        <ul class="rows">
          {rows.map((r, i) => (
            <li key={r.index}>
              <button type="button" class="row-btn" data-button={r.index} onClick={() => setOpen(r)}>
                <span class="row-num">{i + 1}</span>
                <span class="row-name">{buttonName(r.name, app.t)}</span>
                <span class="row-value">{describe(app.shown(slotKey(r), fromRow(r)), app.locale, app.t)}</span>
                {macroOutOfDate(s.profile!, r) && <span class="tag warn">{app.t.macros.outOfDate}</span>}
                <Icon name="down" size={16} />
              </button>
              <WriteStatus state={app.writes.get(slotKey(r))} />
            </li>
          ))}
        </ul>
      </div>
      {open && <AssignDialog session={s} row={open} name={buttonName(open.name, app.t)} slotKey={slotKey(open)} onClose={() => setOpen(null)} />}
    </div>
  );
}

// A DPI value settles this long after its last change (slider arrow keys, the number field's
// spinner) before it is written: one write per settled value, not one per step.
const DPI_SETTLE_MS = 500;

function DpiTab({ s }: { s: Session }) {
  const app = useApp();
  const t = app.t.mouse;
  const stages = s.profile!.dpiStages(s.mode);
  const max = s.profile!.maxDpi;
  const curKey = `${s.key}:${s.mode}:CurDpi`;
  const current = Number(rowValue(app, s, 'CurDpi')) || 0;
  const curBusy = isBusy(app.writes.get(curKey));
  const [draft, setDraft] = useState<Record<string, number>>({});
  const timers = useRef(new Map<string, number>());
  const group = useRef<HTMLDivElement>(null);
  useEffect(() => () => timers.current.forEach((id) => window.clearTimeout(id)), []);
  const setCurrent = (i: number) => writeRow(app, s, 'CurDpi', String(i), app.t.write.currentStage);
  const clamp = (v: number) => Math.min(max, Math.max(50, Math.round(v / 50) * 50));
  const writeStage = (st: { name: string; index: number }, n: number, value: number) => {
    app.write(
      `${s.key}:${s.mode}:${st.name}`,
      fmt(app.t.write.dpiStage, { n }),
      value,
      () => app.protocol.writeDeviceMultimedia(s.key, st.index, 5, String(value)),
      () => s.profile!.setDpi(s.mode, st.name, value),
      s,
    );
  };
  const setStage = (st: { name: string; index: number; value: number }, n: number, v: number) => {
    if (!Number.isFinite(v)) return;
    const value = clamp(v);
    setDraft((d) => ({ ...d, [st.name]: value }));
    window.clearTimeout(timers.current.get(st.name));
    timers.current.set(
      st.name,
      window.setTimeout(() => {
        timers.current.delete(st.name);
        setDraft((d) => {
          const { [st.name]: _, ...rest } = d;
          return rest;
        });
        if (value !== app.shown(`${s.key}:${s.mode}:${st.name}`, st.value)) writeStage(st, n, value);
      }, DPI_SETTLE_MS),
    );
  };
  // Arrow keys move the current stage, as in every group of choices.
  const onKey = (e: KeyboardEvent) => {
    if (!(e.target as HTMLElement).classList.contains('stage-pick')) return;
    const step = e.key === 'ArrowRight' || e.key === 'ArrowDown' ? 1 : e.key === 'ArrowLeft' || e.key === 'ArrowUp' ? -1 : 0;
    if (!step || !stages.length) return;
    e.preventDefault();
    const next = (current + step + stages.length) % stages.length;
    setCurrent(next);
    requestAnimationFrame(() => group.current?.querySelector<HTMLElement>(`[data-stage="${next}"] .stage-pick`)?.focus());
  };
  return (
    <div class="dpi-tab">
      <div class="section-head">
        <h2>{t.dpiTitle}</h2>
        <WriteStatus state={app.writes.get(curKey)} />
      </div>
      <p class="hint">{t.dpiHint}</p>
      <div class="stages" role="radiogroup" aria-label={t.dpiTitle} ref={group} onKeyDown={onKey}>
        {stages.map((st, i) => {
          const stageKey = `${s.key}:${s.mode}:${st.name}`;
          const value = draft[st.name] ?? app.shown(stageKey, st.value);
          const isCurrent = current === i;
          const busy = (isCurrent && curBusy) || isBusy(app.writes.get(stageKey));
          const label = fmt(t.stage, { n: i + 1 });
          return (
            <div class={isCurrent ? 'stage current' : 'stage'} key={st.name} data-stage={i} aria-busy={busy}>
              <button
                type="button"
                role="radio"
                aria-checked={isCurrent}
                aria-busy={isCurrent && curBusy}
                tabIndex={isCurrent ? 0 : -1}
                class="stage-pick"
                aria-label={label}
                onClick={() => setCurrent(i)}
              >
                <span class="stage-name">{label}</span>
                <span class="bar" aria-hidden="true">
                  <span class="fill" style={{ height: `${Math.max(4, (value / max) * 100)}%` }} />
                </span>
                <span class="stage-value">{value}</span>
                {/* Every stage keeps the tag's room, so the sliders line up. */}
                <span class={isCurrent ? 'tag' : 'tag placeholder'} aria-hidden={!isCurrent}>
                  {isCurrent && curBusy ? app.t.common.writing : t.current}
                </span>
              </button>
              <div class="stage-edit">
                <Slider label={label} min={50} max={max} step={50} value={value} onCommit={(v) => setStage(st, i + 1, v)} />
                <input
                  type="number"
                  class="num small"
                  aria-label={fmt(t.dpiNumber, { n: i + 1 })}
                  min={50}
                  max={max}
                  step={50}
                  value={value}
                  onInput={(e) => {
                    const v = Number((e.currentTarget as HTMLInputElement).value);
                    if (v >= 50 && v <= max && v % 50 === 0) setStage(st, i + 1, v);
                  }}
                  onChange={(e) => setStage(st, i + 1, Number((e.currentTarget as HTMLInputElement).value))}
                />
              </div>
              <WriteStatus state={app.writes.get(stageKey)} />
            </div>
          );
        })}
      </div>
      <p class="hint">
        {fmt(t.max, { max })} · {t.step50}
      </p>
    </div>
  );
}

function LightingTab({ s }: { s: Session }) {
  const app = useApp();
  const t = app.t.mouse;
  const sets = s.profile!.lightSets(s.mode);
  const [set, setSet] = useState(sets[0] ?? 1);
  const part = (p: string) => fmt(app.t.write.light, { n: set, part: p.toLowerCase() });
  const key = (n: string) => app.writes.get(`${s.key}:${s.mode}:${n}${set}`);
  const num = (n: string) => Number(rowValue(app, s, `${n}${set}`)) || 0;
  return (
    <div class="lighting-tab">
      {sets.length > 1 && (
        <Segmented label={t.light.replace('{n}', '')} value={set} options={sets.map((n) => ({ value: n, label: fmt(t.light, { n }) }))} onChange={setSet} />
      )}
      <div class="two-col">
        <div class="col">
          <Field label={t.effect} status={key('LightTheme')}>
            <div class="chips" role="radiogroup" aria-label={t.effect}>
              {MOUSE_EFFECTS.map((e) => (
                <button type="button" key={e} role="radio" class="chip" aria-checked={num('LightTheme') === e} onClick={() => writeRow(app, s, `LightTheme${set}`, String(e), part(t.effect))}>
                  {app.t.effects[e]}
                </button>
              ))}
            </div>
          </Field>
          <Field label={t.brightness} status={key('LightBrightness')}>
            <Slider label={t.brightness} min={1} max={5} value={num('LightBrightness')} onCommit={(v) => writeRow(app, s, `LightBrightness${set}`, String(v), part(t.brightness))} />
          </Field>
          <Field label={t.speed} status={key('LightSpeed')}>
            <Slider label={t.speed} min={1} max={5} value={num('LightSpeed')} onCommit={(v) => writeRow(app, s, `LightSpeed${set}`, String(v), part(t.speed))} />
          </Field>
          <Field label={t.trigger} status={key('LightTrigger')}>
            <Segmented label={t.trigger} value={num('LightTrigger')} options={[0, 1].map((v) => ({ value: v, label: app.t.triggers[v] }))} onChange={(v) => writeRow(app, s, `LightTrigger${set}`, String(v), part(t.trigger))} />
          </Field>
        </div>
        <div class="col">
          <Field label={t.colour} status={key('LightRGB')}>
            <ColourPicker label={t.colour} value={(rowValue(app, s, `LightRGB${set}`) || '2EABF3').toUpperCase()} onCommit={(hex) => writeRow(app, s, `LightRGB${set}`, hex, part(t.colour))} />
          </Field>
        </div>
      </div>
    </div>
  );
}

function PerformanceTab({ s }: { s: Session }) {
  const app = useApp();
  const t = app.t.mouse;
  const st = (n: string) => app.writes.get(`${s.key}:${s.mode}:${n}`);
  const snKey = `${s.key}:sn`;
  const [sn, setSn] = useState(s.profile!.value('SN', s.mode) || s.info.Sn || '');
  const snOk = /^[A-Za-z0-9-]{0,14}$/.test(sn);
  const writeSn = () =>
    app.write(snKey, app.t.write.serial, sn, () => app.protocol.writeDeviceSn(s.key, sn), () => s.profile!.setValue('SN', s.mode, sn), s);
  return (
    <div class="perf-tab">
      <Field label={t.reportRate} hint={t.reportRateHint} status={st('Reportrate')}>
        <Segmented
          label={t.reportRate}
          value={Number(rowValue(app, s, 'Reportrate'))}
          options={REPORT_RATES.map((r) => ({ value: r.value, label: `${r.hz} Hz` }))}
          onChange={(v) => writeRow(app, s, 'Reportrate', String(v), app.t.write.reportRate)}
        />
      </Field>
      <Field label={t.lift} hint={t.liftHint} status={st('Height')}>
        <Segmented
          label={t.lift}
          value={Number(rowValue(app, s, 'Height'))}
          options={LIFT_HEIGHTS.map((v) => ({ value: v, label: app.t.lifts[v] }))}
          onChange={(v) => writeRow(app, s, 'Height', String(v), app.t.write.lift)}
        />
      </Field>
      <Field label={t.line} hint={t.lineHint} status={st('LineCorrection')}>
        <Toggle label={t.line} checked={rowValue(app, s, 'LineCorrection') === '1'} onChange={(v) => writeRow(app, s, 'LineCorrection', v ? '1' : '0', app.t.write.line)} />
      </Field>
      <Field label={t.serial} hint={snOk ? t.serialHint : t.serialBad} status={app.writes.get(snKey)}>
        <div class="inline-form">
          <input class="text mono" value={sn} maxLength={14} aria-label={t.serial} aria-invalid={!snOk} spellcheck={false} onInput={(e) => setSn((e.currentTarget as HTMLInputElement).value)} onKeyDown={(e) => e.key === 'Enter' && snOk && writeSn()} />
          <button type="button" class="btn" disabled={!snOk} onClick={writeSn}>
            {t.writeSerial}
          </button>
        </div>
      </Field>
    </div>
  );
}

export function DeviceHeader({ s, title }: { s: Session; title: string }) {
  const app = useApp();
  const modes = s.profile?.modes() ?? [];
  return (
    <ScreenHead title={title} sub={<>{s.info.Version} · {s.named?.active}</>}>
      {modes.length > 1 && (
        <div class="mode-pick">
          <Segmented
            label={app.t.mouse.modeHint}
            value={s.mode}
            options={modes.map((m) => ({ value: m.id, label: fmt(app.t.mouse.mode, { n: m.id }) }))}
            onChange={(m) => {
              s.mode = m;
              app.changed();
            }}
          />
        </div>
      )}
    </ScreenHead>
  );
}

export function MouseScreen() {
  const app = useApp();
  const [tab, setTab] = useState<Tab>('buttons');
  const s = app.sessionOfKind('mouse');
  if (!s || !s.profile) return <Empty icon="mouse" title={app.t.mouse.title} body={app.lost('mouse') ? app.t.mouse.gone : app.t.mouse.none} />;
  const t = app.t.mouse;
  const tabs: Tab[] = ['buttons', 'dpi', 'lighting', 'performance'];
  return (
    <section class="screen">
      <DeviceHeader s={s} title={t.title} />
      <Tabs label={t.title} value={tab} tabs={tabs.map((id) => ({ id, label: t.tabs[id] }))} onChange={setTab} />
      <div class="tab-panel" role="tabpanel" aria-labelledby={`tab-${tab}`} key={`${tab}-${s.mode}`}>
        {tab === 'buttons' && <ButtonsTab s={s} />}
        {tab === 'dpi' && <DpiTab s={s} />}
        {tab === 'lighting' && <LightingTab s={s} />}
        {tab === 'performance' && <PerformanceTab s={s} />}
      </div>
    </section>
  );
}
