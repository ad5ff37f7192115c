// Key maps: software triggers that the client catches on any keyboard or mouse and answers
// with a macro, a key combination, a click, a text, a pointer move or a program. Every change
// sends the whole map ("RefreshVirtualDrive"); the switch turns the feature off with an empty
// map. The map is saved with the host profile (the mouse's active profile, else the
// keyboard's), which the screen names; with no device it is kept in page storage.
import { useEffect, useState } from 'preact/hooks';
import { fmt } from '../../i18n';
import type { App } from '../../model/app';
import { ACTION_TYPES, BUTTON_FLAGS, CLICKS, entryProblem, isButton, parseTriggers, PLAY_TYPES, vkOf, type ActionType, type KeyMapEntry, type KeyMapState, type TriggerDef } from '../../model/keymap';
import { KEYMAP_WRITE } from '../../model/keymapStore';
import { Icon, ScreenHead, Select, Toggle, useApp, WriteStatus } from '../kit';

const CLICK_BUTTONS = ['左键', '右键', '中键', '前进', '后退'];

// The client starts with no key map: the pages send the kept one again when they start (once
// the devices are known, from the host profile), so what the screen lists is what the client plays.
export function restoreKeyMap(app: App): void {
  app.keyMaps.start();
}

let triggers: Promise<TriggerDef[]> | null = null;

function triggerName(app: App, t: TriggerDef): string {
  return isButton(t) ? app.t.keymaps.buttons[t.name] ?? t.name : t.name;
}

function AddForm({ list, onAdd }: { list: TriggerDef[]; onAdd: (e: KeyMapEntry) => void }) {
  const app = useApp();
  const t = app.t.keymaps;
  const macros = app.keyMaps.host()?.profile?.macros() ?? [];
  const [trigger, setTrigger] = useState<TriggerDef | null>(null);
  const [capturing, setCapturing] = useState(false);
  const [type, setType] = useState<ActionType>('Keyboard');
  const [command, setCommand] = useState('');
  const [playType, setPlayType] = useState(1);
  const [count, setCount] = useState(1);
  const [problem, setProblem] = useState('');
  useEffect(() => {
    if (!capturing) return;
    const key = (e: KeyboardEvent) => {
      e.preventDefault();
      if (e.key === 'Escape') return setCapturing(false);
      const hit = list.find((d) => !isButton(d) && d.vk === vkOf(e));
      if (hit) (setTrigger(hit), setCapturing(false));
    };
    const mouse = (e: MouseEvent) => {
      const hit = list.find((d) => isButton(d) && d.scancode === BUTTON_FLAGS[e.button]);
      if (hit) (e.preventDefault(), setTrigger(hit), setCapturing(false));
    };
    window.addEventListener('keydown', key, true);
    window.addEventListener('mousedown', mouse, true);
    return () => (window.removeEventListener('keydown', key, true), window.removeEventListener('mousedown', mouse, true));
  }, [capturing, list]);
  const macroText = type === 'macro' ? (macros.find((m) => m.text === command) ?? macros[0])?.text ?? '' : command;
  const add = () => {
    const cmd = type === 'Mouse' ? command || CLICKS[0] : macroText;
    if (!trigger) return setProblem(t.needTrigger);
    const p = entryProblem({ type, command: cmd });
    if (p) return setProblem(p === 'move' ? t.badMove : t.needValue);
    const label = type === 'macro' ? macros.find((m) => m.text === cmd)?.name ?? '' : cmd;
    onAdd({ trigger, type, command: cmd, label, playType, playCount: playType === 1 ? Math.max(1, count) : 1 });
    setProblem('');
    setCommand('');
    setTrigger(null);
  };
  const field: Record<ActionType, preact.JSX.Element> = {
    macro: macros.length ? (
      <Select label={t.macro} value={macroText} options={macros.map((m) => ({ value: m.text, label: m.name }))} onChange={setCommand} />
    ) : (
      <p class="hint">{t.noMacros}</p>
    ),
    Mouse: <Select label={t.types.Mouse} value={command || CLICKS[0]} options={CLICKS.map((c, i) => ({ value: c, label: t.buttons[CLICK_BUTTONS[i]] }))} onChange={setCommand} />,
    Keyboard: <input class="text" aria-label={t.chord} placeholder={t.chord} value={command} onInput={(e) => setCommand(e.currentTarget.value)} />,
    Text: <input class="text" aria-label={t.text} placeholder={t.text} value={command} onInput={(e) => setCommand(e.currentTarget.value)} />,
    move: <input class="text" aria-label={t.move} placeholder={t.move} value={command} onInput={(e) => setCommand(e.currentTarget.value)} />,
    Shortcut: <input class="text" aria-label={t.program} placeholder={t.program} value={command} onInput={(e) => setCommand(e.currentTarget.value)} />,
  };
  return (
    <div class="card keymap-add" role="group" aria-label={t.add}>
      <h2 class="card-title">{t.add}</h2>
      <div class="keymap-grid">
        <span class="field-label">{t.trigger}</span>
        <div class="inline-form">
          <button type="button" class={capturing ? 'btn capture active' : 'btn capture'} aria-pressed={capturing} onClick={() => setCapturing(!capturing)}>
            {capturing ? t.pressing : trigger ? triggerName(app, trigger) : t.press}
          </button>
          <span class="hint">{t.choose}</span>
          <Select
            label={t.trigger}
            value={trigger ? `${trigger.scancode}:${trigger.flag}` : ''}
            options={[{ value: '', label: '—' }, ...list.map((d) => ({ value: `${d.scancode}:${d.flag}`, label: triggerName(app, d) }))]}
            onChange={(v) => setTrigger(list.find((d) => `${d.scancode}:${d.flag}` === v) ?? null)}
          />
        </div>
        <span class="field-label">{t.action}</span>
        <div class="inline-form">
          <Select label={t.action} value={type} options={ACTION_TYPES.map((x) => ({ value: x, label: t.types[x] }))} onChange={(v) => (setType(v), setCommand(''))} />
          {field[type]}
        </div>
        <span class="field-label">{t.mode}</span>
        <div class="inline-form">
          <Select label={t.mode} value={playType} options={PLAY_TYPES.map((p) => ({ value: p, label: t.modes[p] }))} onChange={setPlayType} />
          {playType === 1 && (
            <input class="text count" type="number" min={1} max={255} aria-label={t.count} value={count} onInput={(e) => setCount(Number(e.currentTarget.value) || 1)} />
          )}
        </div>
      </div>
      {problem && (
        <p class="field-error" role="alert">
          {problem}
        </p>
      )}
      <button type="button" class="btn primary" onClick={add}>
        <Icon name="plus" size={16} />
        {t.addBtn}
      </button>
    </div>
  );
}

export function KeyMapsScreen() {
  const app = useApp();
  const t = app.t.keymaps;
  const stored = app.shown<KeyMapState>(KEYMAP_WRITE, app.keyMaps.state);
  const host = app.keyMaps.host();
  const [list, setList] = useState<TriggerDef[]>([]);
  const [status, setStatus] = useState<boolean | null | undefined>(undefined);
  const [capture, setCapture] = useState<true | { reason: string } | null>(true);
  useEffect(() => {
    if (!triggers) triggers = app.protocol.getVirtualDevice().then((x) => parseTriggers(x ?? ''));
    void triggers.then((l) => (l.length ? setList(l) : (triggers = null)));
    void app.protocol.getVirtualDeviceStatus().then(setStatus);
    void app.protocol.getKeyMapCaptureStatus().then(setCapture);
  }, [app]);
  const change = (next: KeyMapState) => app.keyMaps.change(next);
  return (
    <section class="screen" aria-labelledby="keymaps-title">
      <ScreenHead title={t.title} sub={t.hint} titleId="keymaps-title">
        <div class="inline-form">
          <WriteStatus state={app.writes.get(KEYMAP_WRITE)} />
          <span class="field-label">{t.enabled}</span>
          <Toggle label={t.enabled} checked={stored.enabled} onChange={(v) => change({ ...stored, enabled: v })} />
        </div>
      </ScreenHead>
      {status === false && (
        <div class="banner warn" role="alert">
          <Icon name="alert" size={16} />
          {t.noDevice}
        </div>
      )}
      {capture && capture !== true && (
        <div class="banner warn keymap-capture" role="alert">
          <Icon name="alert" size={16} />
          {fmt(t.noCapture, { reason: capture.reason })}
        </div>
      )}
      {status === null && (
        <div class="banner warn" role="status">
          {t.noStatus}
        </div>
      )}
      <p class="hint keymap-home">{host?.named ? fmt(t.savedWith, { name: host.named.active, device: app.deviceName(host.kind, host.key) }) : t.savedHere}</p>
      {!stored.enabled && <p class="hint">{t.off}</p>}
      <div class="card">
        {stored.entries.length === 0 ? (
          <p class="hint keymap-empty">{t.empty}</p>
        ) : (
          <ul class="update-list keymap-list">
            {stored.entries.map((e, i) => (
              <li class="update-device" key={`${e.trigger.scancode}:${e.trigger.flag}`} data-trigger={e.trigger.name}>
                <span class="key-cap">{triggerName(app, e.trigger)}</span>
                <span class="grow">
                  {t.types[e.type]}: <span class="mono">{e.label || e.command}</span>
                </span>
                <span class="hint">{t.modes[e.playType as 1 | 3 | 4] + (e.playType === 1 && e.playCount > 1 ? ` × ${e.playCount}` : '')}</span>
                <button type="button" class="icon-btn" aria-label={fmt(t.remove, { key: triggerName(app, e.trigger) })} onClick={() => change({ ...stored, entries: stored.entries.filter((_, j) => j !== i) })}>
                  <Icon name="trash" size={16} />
                </button>
              </li>
            ))}
          </ul>
        )}
      </div>
      <AddForm
        list={list}
        onAdd={(e) =>
          change({ ...stored, entries: [...stored.entries.filter((x) => x.trigger.scancode !== e.trigger.scancode || x.trigger.flag !== e.trigger.flag), e] })
        }
      />
    </section>
  );
}
