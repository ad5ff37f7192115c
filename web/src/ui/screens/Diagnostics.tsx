// Diagnostics (Ctrl+Shift+D): the developer's request box and the last device writes the pages
// made, so a person who doubts a setting can see exactly what was sent and what came back.
import { useEffect, useReducer, useState } from 'preact/hooks';
import { Dialog, useApp } from '../kit';

export function Diagnostics() {
  const app = useApp();
  const t = app.t.diag;
  const [, tick] = useReducer((n: number, _: void) => n + 1, 0);
  useEffect(() => app.protocol.onWrite(() => tick()), [app]);
  const [text, setText] = useState('{"FuncName":"GetDevicesList"}');
  const [answer, setAnswer] = useState<{ text: string; ok: boolean | null }>({ text: t.noRequest, ok: null });
  const [pending, setPending] = useState(false);
  const close = () => {
    app.diagnostics = false;
    app.changed();
  };
  const send = async () => {
    setPending(true);
    setAnswer({ text: t.waiting, ok: null });
    const a = await app.protocol.request(text, 10000);
    setPending(false);
    setAnswer({ text: `${a.ok ? 'success' : a.timedOut ? 'no answer' : 'failure'} (${Math.round(a.ms)} ms): ${JSON.stringify(a.text)}`, ok: a.ok });
  };
  return (
    <Dialog title={t.title} onClose={close} wide>
      <div class="diag">
        <label class="field">
          <span class="field-label">{t.request}</span>
          <textarea
            class="text mono"
            rows={3}
            spellcheck={false}
            value={text}
            onInput={(e) => setText((e.currentTarget as HTMLTextAreaElement).value)}
            onKeyDown={(e) => e.key === 'Enter' && e.ctrlKey && void send()}
          />
        </label>
        <div class="inline-form">
          <button type="button" class="btn primary" disabled={pending} onClick={() => void send()}>
            {t.send}
          </button>
          <pre class={answer.ok === null ? 'answer' : answer.ok ? 'answer ok' : 'answer fail'} aria-live="polite">
            {answer.text}
          </pre>
        </div>
        <h3>{t.writes}</h3>
        <div class="table-wrap">
          {app.protocol.writes.length === 0 ? (
            <p class="hint">{t.none}</p>
          ) : (
            <table class="writes">
              <thead>
                <tr>
                  <th>{t.time}</th>
                  <th>{t.command}</th>
                  <th>{t.args}</th>
                  <th>{t.result}</th>
                  <th>ms</th>
                </tr>
              </thead>
              <tbody>
                {app.protocol.writes.map((w, i) => (
                  <tr key={i} class={w.ok === null ? '' : w.ok ? 'ok' : 'fail'}>
                    <td class="mono">{new Date(w.at).toLocaleTimeString()}</td>
                    <td>{w.command}</td>
                    <td class="mono args">{Object.entries(w.args).map(([k, v]) => `${k}=${v}`).join('  ')}</td>
                    <td class="mono">{w.ok === null ? w.answer || '…' : w.answer}</td>
                    <td class="mono">{w.ok === null ? '' : w.ms}</td>
                  </tr>
                ))}
              </tbody>
            </table>
          )}
        </div>
      </div>
    </Dialog>
  );
}
