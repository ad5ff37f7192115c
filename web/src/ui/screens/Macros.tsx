// Macros: a recorder and a step editor; macros are kept in the device's profile and written to
// a button's macro slot with "CustomButton" type "Macro". A macro too long for the slot is
// refused here, before anything is sent.
import { useLayoutEffect, useRef, useState } from 'preact/hooks';
import { fmt } from '../../i18n';
import type { Session } from '../../model/app';
import { buttonName, buttonWrite } from '../../model/assign';
import { labelForTask, modifierForCode, taskForCode } from '../../model/keys';
import {
  applyPauses,
  buildMacroText,
  checkMacroFits,
  DEFAULT_SLOT_BYTES,
  macroBytes,
  macroSlot,
  MACRO_HEADER_BYTES,
  MOUSE_BUTTONS,
  parseMacroText,
  STEP_NAMES,
  stepsFromCapture,
  strayReleases,
  type Captured,
  type PauseRule,
  type MouseButton,
  type Step,
  type StepKind,
} from '../../model/macro';
import { macroUses } from '../../model/macroUses';
import type { ButtonRow, MacroDef } from '../../model/profile';
import { Empty, Icon, ScreenHead, Select, useApp, WriteStatus } from '../kit';
import { MouseTracks } from '../MouseTracks';

const KINDS = Object.keys(STEP_NAMES) as StepKind[];
const MOUSE_OF_EVENT: Record<number, MouseButton> = { 0: '左键', 1: '中键', 2: '右键' };
const MODIFIER_TASKS: Record<string, string> = { Ctrl: 'LEFT CTRL', Shift: 'LEFT SHIFT', Alt: 'LEFT ALT', Win: 'LEFT WIN' };

function taskOfEvent(e: KeyboardEvent): string | null {
  const mod = modifierForCode(e.code);
  return taskForCode(e.code) ?? (mod ? MODIFIER_TASKS[mod] : null);
}

function defaultStep(kind: StepKind): Step {
  switch (kind) {
    case 'keyDown':
    case 'keyUp':
      return { kind, key: 'A' };
    case 'mouseDown':
    case 'mouseUp':
      return { kind, button: '左键' };
    case 'wheelUp':
    case 'wheelDown':
      return { kind, amount: 1 };
    case 'delay':
      return { kind, ms: 50 };
    case 'absolute':
      return { kind, x: 0, y: 0 };
    default:
      return { kind, dx: 0, dy: 0 };
  }
}

function KeyField({ value, onChange }: { value: string; onChange: (task: string) => void }) {
  const app = useApp();
  const [listening, setListening] = useState(false);
  return (
    <button
      type="button"
      class={listening ? 'keyfield listening' : 'keyfield'}
      aria-label={app.t.macros.key}
      onClick={() => setListening(true)}
      onBlur={() => setListening(false)}
      onKeyDown={(e) => {
        if (!listening) return;
        e.preventDefault();
        e.stopPropagation();
        const task = taskOfEvent(e);
        if (task) onChange(task);
        setListening(false);
      }}
    >
      {listening ? app.t.macros.pressAKey : labelForTask(value)}
    </button>
  );
}

function NumField({ value, label, min, max, onChange }: { value: number; label: string; min: number; max: number; onChange: (v: number) => void }) {
  return (
    <input
      type="number"
      class="num small"
      aria-label={label}
      min={min}
      max={max}
      value={value}
      onChange={(e) => onChange(Math.min(max, Math.max(min, Math.trunc(Number((e.currentTarget as HTMLInputElement).value) || 0))))}
    />
  );
}

function StepRow({ step, i, count, onChange, onMove, onRemove }: { step: Step; i: number; count: number; onChange: (s: Step) => void; onMove: (d: number) => void; onRemove: () => void }) {
  const app = useApp();
  const t = app.t.macros;
  let args = null;
  switch (step.kind) {
    case 'keyDown':
    case 'keyUp':
      args = <KeyField value={step.key} onChange={(key) => onChange({ ...step, key })} />;
      break;
    case 'mouseDown':
    case 'mouseUp':
      args = <Select label={t.kinds[step.kind]} value={step.button} options={MOUSE_BUTTONS.map((b) => ({ value: b, label: t.buttons[b] }))} onChange={(button) => onChange({ ...step, button })} />;
      break;
    case 'wheelUp':
    case 'wheelDown':
      args = <NumField label={t.kinds[step.kind]} value={step.amount} min={1} max={255} onChange={(amount) => onChange({ ...step, amount })} />;
      break;
    case 'delay':
      args = (
        <>
          <NumField label={t.kinds.delay} value={step.ms} min={0} max={65535} onChange={(ms) => onChange({ ...step, ms })} />
          <span class="muted">{t.ms}</span>
        </>
      );
      break;
    case 'absolute':
      args = (
        <>
          X <NumField label="X" value={step.x} min={0} max={65535} onChange={(x) => onChange({ ...step, x })} /> Y{' '}
          <NumField label="Y" value={step.y} min={0} max={65535} onChange={(y) => onChange({ ...step, y })} />
        </>
      );
      break;
    default:
      args = (
        <>
          X <NumField label="X" value={step.dx} min={-32767} max={32767} onChange={(dx) => onChange({ ...step, dx })} /> Y{' '}
          <NumField label="Y" value={step.dy} min={-32767} max={32767} onChange={(dy) => onChange({ ...step, dy })} />
        </>
      );
  }
  return (
    <li class={`step k-${step.kind}`}>
      <span class="step-num">{i + 1}</span>
      <Select label={t.steps} value={step.kind} options={KINDS.map((k) => ({ value: k, label: t.kinds[k] }))} onChange={(k) => onChange(defaultStep(k))} />
      <span class="step-args">{args}</span>
      <span class="step-tools">
        <button type="button" class="icon-btn" aria-label={t.moveUp} disabled={i === 0} onClick={() => onMove(-1)}>
          <Icon name="up" size={16} />
        </button>
        <button type="button" class="icon-btn" aria-label={t.moveDown} disabled={i === count - 1} onClick={() => onMove(1)}>
          <Icon name="down" size={16} />
        </button>
        <button type="button" class="icon-btn" aria-label={t.removeStep} onClick={onRemove}>
          <Icon name="trash" size={16} />
        </button>
      </span>
    </li>
  );
}

// Pauses longer than this are shortened to it; a fixed pause is this long.
const TRIM_MS = 500;
const FIXED_MS = 50;

function stepText(t: ReturnType<typeof useApp>['t']['macros'], st: Step): string {
  switch (st.kind) {
    case 'keyDown':
    case 'keyUp':
      return `${t.kinds[st.kind]} ${labelForTask(st.key)}`;
    case 'mouseDown':
    case 'mouseUp':
      return `${t.kinds[st.kind]} ${t.buttons[st.button] ?? st.button}`;
    case 'delay':
      return `${t.kinds.delay} ${st.ms} ${t.ms}`;
    default:
      return t.kinds[st.kind];
  }
}

function targetsOf(s: Session): ButtonRow[] {
  return s.kind === 'keyboard' ? s.profile!.keyRows() : s.profile!.buttons(s.mode);
}

function rowLabel(app: ReturnType<typeof useApp>, s: Session, r: ButtonRow): string {
  const name = s.kind === 'keyboard' ? r.el.getAttribute('value') ?? r.name : buttonName(r.name, app.t);
  return fmt(app.t.macros.slotLabel, { device: app.deviceName(s.kind, s.key), mode: r.mode, button: name });
}

// Writes the macro's current version to every button that holds an older one.
function StaleButtons({ s, macro }: { s: Session; macro: MacroDef }) {
  const app = useApp();
  const t = app.t.macros;
  const stale = macroUses(s.profile!, s.kind, macro.name).filter((r) => r.command !== macro.text);
  if (!stale.length || !macro.text) return null;
  const update = () =>
    stale.forEach((r) => {
      const a = { type: 'Macro', command: macro.text, playType: r.playType, playCount: r.playCount, playDelay: r.playDelay, macro: macro.name };
      app.write(
        `${s.key}:${r.mode}:btn:${r.index}`,
        fmt(app.t.write.button, { name: buttonName(r.name, app.t) }),
        a,
        () => app.protocol.customButton(buttonWrite(s.key, r, a)),
        () => s.profile!.setAssignment(r, a),
        s,
      );
    });
  return (
    <div class="banner warn stale" role="status">
      <span>{fmt(t.assignedOn, { buttons: stale.map((r) => rowLabel(app, s, r)).join(', ') })}</span>
      <button type="button" class="btn small" onClick={update}>
        {t.updateButtons}
      </button>
    </div>
  );
}

function Editor({ s, macro, onSave, onDelete }: { s: Session; macro: MacroDef; onSave: (m: MacroDef, old: string) => void; onDelete: () => void }) {
  const app = useApp();
  const t = app.t.macros;
  const [name, setName] = useState(macro.name);
  const [steps, setSteps] = useState<Step[]>(() => parseMacroText(macro.text).steps);
  const [recording, setRecording] = useState(false);
  const [withDelays, setWithDelays] = useState(true);
  const [pauses, setPauses] = useState<PauseRule['kind']>('recorded');
  // What the recording has caught so far, shown as steps while it runs.
  const [captured, setCaptured] = useState<Captured[]>([]);
  const [stray, setStray] = useState<string[]>([]);
  const pad = useRef<HTMLDivElement>(null);
  const targets = targetsOf(s);
  // No default: a macro goes on the button the person chose.
  const [target, setTarget] = useState<number>(-1);
  const row = targets.find((r) => r.index === target);
  const slot = row ? macroSlot(row.index, row.mode) : 0;
  const slotBytes = s.profile!.macroSlots().find((m) => m.index === slot)?.length ?? DEFAULT_SLOT_BYTES;
  const problem = checkMacroFits(steps, slotBytes);
  const bytes = macroBytes(steps);
  const limit = slotBytes - MACRO_HEADER_BYTES;

  // The pad takes the keyboard as soon as it is drawn, before the next input event, so the
  // first key pressed after "Record" is never lost.
  useLayoutEffect(() => {
    if (recording) pad.current?.focus();
  }, [recording]);

  const record = (e: Captured) => setCaptured((list) => [...list, e]);
  const recordedSteps = (events: Captured[]) => {
    const got = stepsFromCapture(events);
    if (!withDelays) return got.filter((x) => x.kind !== 'delay');
    return applyPauses(got, pauses === 'trim' ? { kind: 'trim', ms: TRIM_MS } : pauses === 'fixed' ? { kind: 'fixed', ms: FIXED_MS } : { kind: 'recorded' });
  };
  const start = () => {
    setCaptured([]);
    setStray([]);
    setRecording(true);
  };
  const stop = () => {
    setRecording(false);
    setSteps([...steps, ...recordedSteps(captured)]);
    setStray(strayReleases(captured));
    setCaptured([]);
  };
  const live = recording ? recordedSteps(captured) : [];
  const save = () => onSave({ name: name.trim() || macro.name, text: buildMacroText(steps) }, macro.name);
  const writeKey = row ? `${s.key}:${row.mode}:btn:${row.index}` : '';
  const write = () => {
    if (!row || problem) return;
    save();
    const text = buildMacroText(steps);
    const a = { type: 'Macro', command: text, playType: 1, playCount: 1, playDelay: 0, macro: name.trim() || macro.name };
    app.write(writeKey, fmt(app.t.write.button, { name: buttonName(row.name, app.t) }), a, () => app.protocol.customButton(buttonWrite(s.key, row, a)), () => s.profile!.setAssignment(row, a), s);
  };

  return (
    <div class="macro-editor">
      <div class="editor-head">
        <label class="field inline-field">
          <span class="field-label">{t.name}</span>
          <input class="text" value={name} maxLength={40} onInput={(e) => setName((e.currentTarget as HTMLInputElement).value)} />
        </label>
        <span class="grow" />
        <button type="button" class="btn primary" onClick={save}>
          {t.save}
        </button>
        <button type="button" class="icon-btn" aria-label={t.remove} title={t.remove} onClick={onDelete}>
          <Icon name="trash" />
        </button>
      </div>
      <StaleButtons s={s} macro={macro} />
      <div class="recorder">
        <button type="button" class={recording ? 'btn danger' : 'btn'} onClick={() => (recording ? stop() : start())}>
          <Icon name={recording ? 'stop' : 'record'} size={16} />
          {recording ? t.stop : t.record}
        </button>
        <label class="check">
          <input type="checkbox" checked={withDelays} onChange={(e) => setWithDelays((e.currentTarget as HTMLInputElement).checked)} />
          {t.recordDelays}
        </label>
        <Select
          label={t.pauses}
          value={pauses}
          options={[
            { value: 'recorded', label: t.pausesAsRecorded },
            { value: 'trim', label: fmt(t.pausesTrim, { ms: TRIM_MS }) },
            { value: 'fixed', label: fmt(t.pausesFixed, { ms: FIXED_MS }) },
          ]}
          onChange={(v) => setPauses(v as PauseRule['kind'])}
        />
        <button type="button" class="btn ghost" onClick={() => setSteps([...steps, defaultStep('delay')])}>
          <Icon name="plus" size={16} />
          {t.addStep}
        </button>
        <span class="grow" />
        <span class={problem?.reason === 'tooLong' ? 'meter over' : 'meter'} aria-live="polite">
          <span class="meter-bar">
            <span style={{ width: `${Math.min(100, (bytes / limit) * 100)}%` }} />
          </span>
          {fmt(t.size, { bytes, limit })}
        </span>
      </div>
      <MouseTracks onSteps={(more) => setSteps([...steps, ...more])} />
      {recording && (
        <div
          ref={pad}
          class="record-pad"
          tabIndex={0}
          role="application"
          aria-label={t.recording}
          onKeyDown={(e) => {
            e.preventDefault();
            if (e.repeat) return;
            const key = taskOfEvent(e);
            if (key) record({ t: e.timeStamp, down: true, key });
          }}
          onKeyUp={(e) => {
            e.preventDefault();
            const key = taskOfEvent(e);
            if (key) record({ t: e.timeStamp, down: false, key });
          }}
          onMouseDown={(e) => MOUSE_OF_EVENT[e.button] && record({ t: e.timeStamp, down: true, button: MOUSE_OF_EVENT[e.button] })}
          onMouseUp={(e) => MOUSE_OF_EVENT[e.button] && record({ t: e.timeStamp, down: false, button: MOUSE_OF_EVENT[e.button] })}
          onContextMenu={(e) => e.preventDefault()}
        >
          <span class="rec-dot" aria-hidden="true" />
          {t.recording}
          <span class="live-count" aria-live="polite">
            {fmt(t.live, { n: live.length })}
          </span>
        </div>
      )}
      {stray.length > 0 && (
        <p class="banner warn" role="status">
          {stray.map((k) => fmt(t.strayRelease, { key: t.buttons[k] ?? labelForTask(k) })).join(' ')}
        </p>
      )}
      {live.length > 0 && (
        <ol class="steps live" aria-label={t.live.replace('{n}', String(live.length))} start={steps.length + 1}>
          {live.map((st, i) => (
            <li class={`step k-${st.kind}`} key={i}>
              <span class="step-num">{steps.length + i + 1}</span>
              <span>{stepText(app.t.macros, st)}</span>
            </li>
          ))}
        </ol>
      )}
      {steps.length === 0 && !recording ? (
        <p class="hint pad">{t.noSteps}</p>
      ) : (
        <ol class="steps" aria-label={t.steps}>
          {steps.map((st, i) => (
            <StepRow
              key={i}
              step={st}
              i={i}
              count={steps.length}
              onChange={(n) => setSteps(steps.map((x, j) => (j === i ? n : x)))}
              onMove={(d) => {
                const next = steps.slice();
                [next[i], next[i + d]] = [next[i + d], next[i]];
                setSteps(next);
              }}
              onRemove={() => setSteps(steps.filter((_, j) => j !== i))}
            />
          ))}
        </ol>
      )}
      <div class="write-bar">
        <span class="field-label">{t.writeTo}</span>
        <Select
          label={t.writeTo}
          value={target}
          options={[{ value: -1, label: t.pickButton }, ...targets.map((r) => ({ value: r.index, label: rowLabel(app, s, r) }))]}
          onChange={setTarget}
        />
        <button type="button" class="btn primary" disabled={!!problem || !row} onClick={write}>
          {t.write}
        </button>
        <WriteStatus state={writeKey ? app.writes.get(writeKey) : undefined} />
        {problem && (
          <span class="error-text" role="alert">
            {problem.reason === 'tooLong' ? fmt(t.tooLong, { bytes: problem.bytes, limit: problem.limit }) : t.emptyMacro}
          </span>
        )}
      </div>
    </div>
  );
}

export function MacrosScreen() {
  const app = useApp();
  const t = app.t.macros;
  const s = app.session && app.session.status === 'ready' ? app.session : null;
  const [selected, setSelected] = useState<string | null>(null);
  if (!s || !s.profile) return <Empty icon="macro" title={t.title} body={t.needDevice} />;
  const macros = s.profile.macros();
  const current = macros.find((m) => m.name === selected) ?? macros[0] ?? null;
  const store = (list: MacroDef[]) => {
    s.profile!.setMacros(list);
    app.schedulePersist(s);
    app.changed();
  };
  const add = () => {
    let n = macros.length + 1;
    while (macros.some((m) => m.name === fmt(t.untitled, { n }))) n++;
    const name = fmt(t.untitled, { n });
    store([...macros, { name, text: '' }]);
    setSelected(name);
  };
  return (
    <section class="screen">
      <ScreenHead title={t.title} sub={t.hint}>
        <button type="button" class="btn primary" onClick={add}>
          <Icon name="plus" size={16} />
          {t.new}
        </button>
      </ScreenHead>
      {macros.length === 0 && <Empty icon="macro" title={t.empty} body={t.hint} />}
      <div class="macros" hidden={macros.length === 0}>
        <ul class="macro-list" aria-label={t.title}>
          {macros.map((m) => (
            <li key={m.name}>
              <button type="button" aria-current={current?.name === m.name ? 'true' : undefined} onClick={() => setSelected(m.name)}>
                <span class="macro-name">{m.name}</span>
                <span class="muted">{fmt(t.size, { bytes: macroBytes(parseMacroText(m.text).steps), limit: DEFAULT_SLOT_BYTES - MACRO_HEADER_BYTES })}</span>
              </button>
            </li>
          ))}
        </ul>
        {current && (
          <Editor
            key={`${s.key}:${current.name}`}
            s={s}
            macro={current}
            onSave={(m, old) => {
              // The buttons that hold it follow a new name.
              if (m.name !== old) macroUses(s.profile!, s.kind, old).forEach((r) => r.el.setAttribute('macro', m.name));
              store(macros.map((x) => (x.name === old ? m : x)).filter((x, i, all) => all.findIndex((y) => y.name === x.name) === i));
              setSelected(m.name);
              app.notify('info', t.saved);
            }}
            onDelete={() => {
              store(macros.filter((x) => x.name !== current.name));
              setSelected(null);
            }}
          />
        )}
      </div>
    </section>
  );
}
