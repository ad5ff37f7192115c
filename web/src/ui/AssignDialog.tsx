// What a button or key does: a mouse function, a key combination pressed by the person, a media
// key, a DPI value, a macro, or nothing. Applying it writes it to the device.
import { useEffect, useRef, useState } from 'preact/hooks';
import { fmt } from '../i18n';
import type { Session } from '../model/app';
import { buttonWrite, describe, DISABLED, type Assignment } from '../model/assign';
import { FUNCTION_GROUPS } from '../model/functions';
import { chordLabel, chordText, MAX_CHORD_PARTS, modifierForCode, taskForCode } from '../model/keys';
import { checkMacroFits, DEFAULT_SLOT_BYTES, macroSlot, parseMacroText } from '../model/macro';
import type { ButtonRow } from '../model/profile';
import { Dialog, Select, useApp } from './kit';

type Tab = 'mouse' | 'keys' | 'media' | 'dpi' | 'macro' | 'disable';

function tabOf(a: Assignment, mediaTasks: Set<string>): Tab {
  const type = a.type.toUpperCase();
  if (!a.command) return 'disable';
  if (type === 'KEYBOARD' || type === 'HOTKEY') return 'keys';
  if (type === 'DPI') return 'dpi';
  if (type === 'MACRO') return 'macro';
  return mediaTasks.has(a.command) ? 'media' : 'mouse';
}

const MEDIA = FUNCTION_GROUPS.find((g) => g.id === 'media')!.items;
const MEDIA_TASKS = new Set(MEDIA.map((m) => m.task));

function ChordCapture(props: { chord: string; onChord: (c: string) => void; onError: (e: string) => void }) {
  const app = useApp();
  const [listening, setListening] = useState(false);
  const mods = useRef<Set<string>>(new Set());
  const keys = useRef<string[]>([]);
  const box = useRef<HTMLButtonElement>(null);
  const finish = () => {
    setListening(false);
    const parts = [...mods.current].length + keys.current.length;
    if (parts > MAX_CHORD_PARTS) props.onError(app.t.assign.tooMany);
    else if (keys.current.length || mods.current.size) props.onChord(chordText([...mods.current], keys.current[keys.current.length - 1] ?? null));
    mods.current = new Set();
    keys.current = [];
  };
  const onKeyDown = (e: KeyboardEvent) => {
    if (!listening) return;
    e.preventDefault();
    e.stopPropagation();
    const mod = modifierForCode(e.code);
    if (mod) {
      mods.current.add(mod);
      return;
    }
    const task = taskForCode(e.code);
    if (!task) {
      props.onError(app.t.assign.notDeviceKey);
      return;
    }
    if (!keys.current.includes(task)) keys.current.push(task);
    if (keys.current.length > 1) {
      props.onError(app.t.assign.tooMany);
      keys.current = [];
      mods.current = new Set();
      setListening(false);
    }
  };
  const onKeyUp = (e: KeyboardEvent) => {
    if (!listening) return;
    e.preventDefault();
    e.stopPropagation();
    if (keys.current.length || !modifierForCode(e.code)) finish();
    else if (!e.ctrlKey && !e.shiftKey && !e.altKey && !e.metaKey) finish();
  };
  return (
    <div class="capture-wrap">
      <button
        ref={box}
        type="button"
        class={listening ? 'capture listening' : 'capture'}
        data-autofocus
        aria-label={app.t.assign.pressKeys}
        onClick={() => {
          setListening(true);
          props.onError('');
        }}
        onKeyDown={onKeyDown}
        onKeyUp={onKeyUp}
        onBlur={() => setListening(false)}
      >
        {listening ? app.t.assign.capturing : props.chord ? chordLabel(props.chord) : app.t.assign.pressKeys}
      </button>
      <div class="hint">{props.chord && !listening ? app.t.assign.captureAgain + ' · ' : ''}{app.t.assign.captureHint}</div>
    </div>
  );
}

export function AssignDialog(props: { session: Session; row: ButtonRow; name: string; onClose: () => void; slotKey: string }) {
  const app = useApp();
  const t = app.t.assign;
  const { session, row } = props;
  const current: Assignment = { type: row.type || 'Mouse', command: row.command, playType: row.playType, playCount: row.playCount, playDelay: row.playDelay, macro: row.macro };
  const [tab, setTab] = useState<Tab>(() => tabOf(current, MEDIA_TASKS));
  const [a, setA] = useState<Assignment>(current);
  const [error, setError] = useState('');
  const [dpiText, setDpiText] = useState(current.type.toUpperCase() === 'DPI' ? current.command.split('|')[1] ?? '' : '');
  useEffect(() => void app.loadCatalog(), [app]);
  const codes = app.catalog?.codes;
  const macros = session.profile?.macros() ?? [];
  const max = session.profile?.maxDpi ?? 8000;

  const slot = macroSlot(row.index, row.mode);
  const slotBytes = session.profile?.macroSlots().find((m) => m.index === slot)?.length ?? DEFAULT_SLOT_BYTES;
  const macroProblem = a.type === 'Macro' ? checkMacroFits(parseMacroText(a.command).steps, slotBytes) : null;
  const mouseFunction = a.type.toUpperCase() === 'MOUSE' && (codes?.get(a.command) ?? '').startsWith('0x01');
  const oneShot = !a.command || mouseFunction;
  const canApply =
    !macroProblem && !error && (tab === 'disable' || (a.command !== '' && (tab !== 'dpi' || (Number(a.command.split('|')[1]) >= 50))));

  const pick = (next: Partial<Assignment>) => {
    setError('');
    setA({ ...a, macro: undefined, ...next });
  };
  const apply = () => {
    const chosen = tab === 'disable' ? { ...DISABLED } : a;
    const what = fmt(app.t.write.button, { name: props.name });
    app.write(
      props.slotKey,
      what,
      chosen,
      () => app.protocol.customButton(buttonWrite(session.key, row, chosen)),
      () => session.profile?.setAssignment(row, chosen),
      session,
    );
    props.onClose();
  };

  const tabs: Tab[] = ['mouse', 'keys', 'media', 'dpi', 'macro', 'disable'];
  const fnButton = (task: string, label: string) => {
    const missing = codes && !codes.has(task);
    if (missing) return null;
    return (
      <button type="button" key={task} class="chip" aria-pressed={a.type === 'Mouse' && a.command === task} onClick={() => pick({ type: 'Mouse', command: task })}>
        {label}
      </button>
    );
  };

  return (
    <Dialog title={fmt(t.title, { name: props.name })} onClose={props.onClose} wide>
      <p class="sub">{fmt(t.current, { what: describe(current, app.locale, app.t) })}</p>
      <div class="assign">
        <div class="vtabs" role="tablist" aria-orientation="vertical" aria-label={props.name}>
          {tabs.map((id) => (
            <button
              type="button"
              role="tab"
              key={id}
              aria-selected={tab === id}
              onClick={() => {
                setTab(id);
                setError('');
              }}
            >
              {t.tabs[id]}
            </button>
          ))}
        </div>
        <div class="assign-body" role="tabpanel">
          {tab === 'mouse' &&
            FUNCTION_GROUPS.filter((g) => g.id !== 'media').map((g) => (
              <div class="chip-group" key={g.id}>
                <h3>{t.groups[g.id]}</h3>
                <div class="chips">{g.items.map((i) => fnButton(i.task, i[app.locale]))}</div>
              </div>
            ))}
          {tab === 'media' && (
            <div class="chips">{MEDIA.map((i) => fnButton(i.task, i[app.locale]))}</div>
          )}
          {tab === 'keys' && (
            <>
              <ChordCapture chord={a.type === 'Keyboard' ? a.command : ''} onChord={(c) => pick({ type: 'Keyboard', command: c })} onError={setError} />
              {(app.catalog?.presets.length ?? 0) > 0 && (
                <div class="chip-group">
                  <h3>{t.presets}</h3>
                  <div class="chips">
                    {app.catalog!.presets.map((p) => (
                      <button type="button" key={p.chord} class="chip" aria-pressed={a.type === 'Keyboard' && a.command === p.chord} onClick={() => pick({ type: 'Keyboard', command: p.chord })}>
                        {p.name} <span class="muted">{chordLabel(p.chord)}</span>
                      </button>
                    ))}
                  </div>
                </div>
              )}
            </>
          )}
          {tab === 'dpi' && (
            <label class="field">
              <span class="field-label">{t.dpiValue}</span>
              <input
                type="number"
                class="num"
                min={50}
                max={max}
                step={50}
                value={dpiText}
                data-autofocus
                onInput={(e) => {
                  const text = (e.currentTarget as HTMLInputElement).value;
                  setDpiText(text);
                  const v = Math.round(Number(text) / 50) * 50;
                  if (v >= 50 && v <= max) pick({ type: 'DPI', command: `1|${v}|${v}` });
                  else pick({ type: 'DPI', command: '' });
                }}
              />
              <span class="hint">{fmt(app.t.mouse.max, { max })} · {app.t.mouse.step50}</span>
            </label>
          )}
          {tab === 'macro' &&
            (macros.length ? (
              <div class="field">
                <span class="field-label">{t.macroPick}</span>
                <Select
                  label={t.macroPick}
                  value={a.type === 'Macro' ? a.macro ?? '' : ''}
                  options={[{ value: '', label: '—' }, ...macros.map((m) => ({ value: m.name, label: m.name }))]}
                  onChange={(name) => {
                    const m = macros.find((x) => x.name === name);
                    if (m) pick({ type: 'Macro', command: m.text, macro: m.name });
                  }}
                />
              </div>
            ) : (
              <p class="hint">{t.noMacros}</p>
            ))}
          {tab === 'disable' && <p>{t.disableBody}</p>}
          {macroProblem && macroProblem.reason === 'tooLong' && (
            <p class="error-text" role="alert">
              {fmt(t.macroTooLong, { bytes: macroProblem.bytes, limit: macroProblem.limit })}
            </p>
          )}
          {error && (
            <p class="error-text" role="alert">
              {error}
            </p>
          )}
        </div>
      </div>
      {tab !== 'disable' && (
        <fieldset class="play" disabled={oneShot}>
          <legend>{t.play}</legend>
          <Select
            label={t.play}
            value={a.playType}
            options={[1, 2, 3, 4].map((v) => ({ value: v, label: t.playTypes[v] }))}
            onChange={(v) => setA({ ...a, playType: v })}
          />
          <label class="inline">
            {t.count}
            <input type="number" class="num small" min={1} max={255} value={a.playCount} onInput={(e) => setA({ ...a, playCount: Math.min(255, Math.max(1, Number((e.currentTarget as HTMLInputElement).value) || 1)) })} />
          </label>
          {(a.playType === 3 || a.playType === 4) && (
            <label class="inline">
              {t.delay}
              <input type="number" class="num small" min={0} max={65535} value={a.playDelay} onInput={(e) => setA({ ...a, playDelay: Math.min(65535, Math.max(0, Number((e.currentTarget as HTMLInputElement).value) || 0)) })} />
            </label>
          )}
          {mouseFunction && tab === 'mouse' && <span class="hint">{t.oneShot}</span>}
        </fieldset>
      )}
      <footer class="dialog-foot">
        <span class="grow preview">{tab === 'disable' ? t.disabled : a.command ? describe(a, app.locale, app.t) : ''}</span>
        <button type="button" class="btn ghost" onClick={props.onClose}>
          {app.t.common.cancel}
        </button>
        <button type="button" class="btn primary" disabled={!canApply} onClick={apply}>
          {app.t.common.apply}
        </button>
      </footer>
    </Dialog>
  );
}
