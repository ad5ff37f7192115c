// Mouse tracks in the macro editor: record left clicks anywhere on the desktop, see them on a
// small map of the screen, and add them to the macro as pointer moves and clicks.
import { useState } from 'preact/hooks';
import { fmt } from '../i18n';
import type { Step } from '../model/macro';
import { clicksSince, clickSteps, msSinceMidnight, parseTracks, type TrackClick } from '../model/tracks';
import { Icon, useApp } from './kit';

const MAP_W = 240;

export function MouseTracks({ onSteps }: { onSteps: (steps: Step[]) => void }) {
  const app = useApp();
  const t = app.t.tracks;
  const [state, setState] = useState<'idle' | 'starting' | 'recording' | 'stopping'>('idle');
  const [since, setSince] = useState(0);
  const [clicks, setClicks] = useState<TrackClick[] | null>(null);
  const fail = (reason: string) => app.notify('error', fmt(t.failed, { reason }));
  const start = async () => {
    setState('starting');
    setClicks(null);
    const at = msSinceMidnight(new Date());
    const answer = await app.protocol.startMouseTracks();
    if (!answer.ok) return setState('idle'), fail(answer.timedOut ? app.t.common.noAnswer : answer.text);
    setSince(at);
    setState('recording');
  };
  const stop = async () => {
    setState('stopping');
    const answer = await app.protocol.stopMouseTracks();
    setState('idle');
    if (!answer.ok) return fail(answer.timedOut ? app.t.common.noAnswer : answer.text);
    setClicks(clicksSince(parseTracks(answer.text), since, msSinceMidnight(new Date())));
  };
  const sw = window.screen.width || 1920;
  const sh = window.screen.height || 1080;
  const busy = state === 'starting' || state === 'stopping';
  return (
    <div class="tracks" role="group" aria-label={t.title}>
      <button type="button" class={state === 'recording' ? 'btn danger' : 'btn'} aria-pressed={state === 'recording'} aria-busy={busy} disabled={busy} onClick={() => void (state === 'recording' ? stop() : start())}>
        <Icon name={state === 'recording' ? 'stop' : 'pointer'} size={16} />
        {state === 'recording' ? t.stop : t.record}
      </button>
      {state === 'recording' && (
        <span class="hint" role="status">
          {t.recording}
        </span>
      )}
      {clicks && (
        <>
          <svg class="track-map" data-count={clicks.length} width={MAP_W} height={Math.round((MAP_W * sh) / sw)} viewBox={`0 0 ${sw} ${sh}`} role="img" aria-label={fmt(t.map, { n: clicks.length })}>
            <rect width={sw} height={sh} />
            {clicks.length > 1 && <polyline points={clicks.map((c) => `${c.x},${c.y}`).join(' ')} />}
            {clicks.map((c, i) => (
              <circle key={i} cx={c.x} cy={c.y} r={sw / 60} />
            ))}
          </svg>
          <span class="hint">{fmt(t.count, { n: clicks.length })}</span>
          <button type="button" class="btn ghost" disabled={!clicks.length} onClick={() => (onSteps(clickSteps(clicks)), setClicks(null))}>
            <Icon name="plus" size={16} />
            {t.add}
          </button>
        </>
      )}
    </div>
  );
}
