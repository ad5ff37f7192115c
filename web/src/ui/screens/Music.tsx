// Music: open a file, play, pause, resume, seek and set each side's volume; its tags; and the
// live spectrum, drawn on a canvas straight from each "OnRGBMusicData" without re-rendering the
// screen (the time line and clock are updated in place too).
import { useEffect, useRef } from 'preact/hooks';
import type { MusicFrame } from '../../bridge/events';
import { fmt } from '../../i18n';
import { clockText } from '../../model/music';
import { Empty, Icon, ScreenHead, Slider, Toggle, useApp } from '../kit';

const BARS = 48;
const TOP = 100; // the largest spectrum value

// Bar i covers bins [EDGES[i], EDGES[i+1]) of the 257, spaced logarithmically so the bass is
// not squeezed into one bar.
const EDGES = Array.from({ length: BARS + 1 }, (_, i) => Math.min(257, Math.round(Math.pow(257, i / BARS))));

function drawSpectrum(canvas: HTMLCanvasElement, f: MusicFrame | null) {
  const g = canvas.getContext('2d');
  if (!g) return;
  const { width: w, height: h } = canvas;
  g.clearRect(0, 0, w, h);
  if (!f) return;
  const bw = w / BARS;
  g.fillStyle = '#2eabf3';
  for (let i = 0; i < BARS; i++) {
    let v = 0;
    for (let k = EDGES[i]; k < Math.max(EDGES[i + 1], EDGES[i] + 1); k++) v = Math.max(v, f.left[k] ?? 0, f.right[k] ?? 0);
    const bh = (Math.min(v, TOP) / TOP) * h;
    g.fillRect(i * bw + 1, h - bh, bw - 2, bh);
  }
}

function Spectrum() {
  const app = useApp();
  const canvas = useRef<HTMLCanvasElement>(null);
  useEffect(() => {
    const c = canvas.current!;
    // One canvas pixel per screen pixel, so the bars stay sharp at any window width.
    c.width = Math.max(1, Math.round(c.clientWidth * (window.devicePixelRatio || 1)));
    c.height = Math.max(1, Math.round(c.clientHeight * (window.devicePixelRatio || 1)));
    const stats = app.music.drawStats;
    drawSpectrum(c, app.music.last);
    return app.music.onFrame((f) => {
      const t0 = performance.now();
      drawSpectrum(c, f);
      const ms = performance.now() - t0;
      stats.frames++;
      stats.totalMs += ms;
      stats.maxMs = Math.max(stats.maxMs, ms);
    });
  }, [app]);
  return <canvas ref={canvas} class="spectrum" width={640} height={140} role="img" aria-label={app.t.music.spectrum} />;
}

function Timeline() {
  const app = useApp();
  const m = app.music;
  const t = app.t.music;
  const range = useRef<HTMLInputElement>(null);
  const clock = useRef<HTMLSpanElement>(null);
  useEffect(() => {
    // The time line moves in whole seconds: touched once a second, not with every frame.
    let second = -1;
    return m.onFrame((f) => {
      const s = Math.floor(f.position / 1000);
      if (s === second) return;
      second = s;
      if (clock.current) clock.current.textContent = f.curTime || clockText(f.position);
      if (range.current && document.activeElement !== range.current) range.current.value = String(f.position);
    });
  }, [m]);
  const at = m.last?.position ?? 0;
  return (
    <div class="timeline">
      <span class="clock" ref={clock}>
        {clockText(at)}
      </span>
      <input
        ref={range}
        type="range"
        aria-label={t.position}
        min={0}
        max={m.lengthMs}
        step={1000}
        defaultValue={String(at)}
        onChange={(e) => void m.seek(Number((e.currentTarget as HTMLInputElement).value))}
      />
      <span class="clock">{clockText(m.lengthMs)}</span>
    </div>
  );
}

export function MusicScreen() {
  const app = useApp();
  const m = app.music;
  const t = app.t.music;
  const info = m.info;
  const playing = m.status === 'playing';
  const loaded = playing || m.status === 'paused' || m.status === 'ended';
  const name = m.file ? m.file.replace(/^.*[\\/]/, '') : '';
  return (
    <section class="screen" aria-labelledby="music-title">
      <ScreenHead title={t.title} sub={t.hint} titleId="music-title">
        <button type="button" class="btn primary" aria-busy={m.status === 'opening'} disabled={m.status === 'opening'} onClick={() => void m.open()}>
          <Icon name="music" size={16} />
          {m.status === 'opening' ? t.opening : t.open}
        </button>
      </ScreenHead>
      {m.status === 'unreadable' && (
        <div class="banner error" role="alert">
          {fmt(t.unreadable, { file: name })}
        </div>
      )}
      {(m.status === 'idle' || m.status === 'opening') && !loaded && <Empty icon="music" title={m.status === 'opening' ? t.opening : t.empty} />}
      {loaded && info && (
        <div class="card music">
          <div class="music-head">
            <button
              type="button"
              class="btn primary round"
              aria-label={playing ? t.pause : m.status === 'ended' ? t.play : t.resume}
              title={playing ? t.pause : m.status === 'ended' ? t.play : t.resume}
              onClick={() => void (playing ? m.pause() : m.resume())}
            >
              <Icon name={playing ? 'pause' : 'play'} size={20} />
            </button>
            <dl class="facts music-tags">
              <dt>{t.name}</dt>
              <dd>{info.Title || name}</dd>
              <dt>{t.artist}</dt>
              <dd>{info.Artist || t.unknown}</dd>
              <dt>{t.album}</dt>
              <dd>{info.Album || t.unknown}</dd>
              <dt>{t.length}</dt>
              <dd>{info.Time}</dd>
            </dl>
          </div>
          <Timeline />
          <Spectrum />
          {!playing && <p class="hint">{t.idle}</p>}
          <div class="music-volume">
            <label class="field">
              <span class="field-label">{t.left}</span>
              <Slider label={t.left} min={0} max={100} value={m.volume.left} onCommit={(v) => void m.setVolume(v, m.volume.right)} />
            </label>
            <label class="field">
              <span class="field-label">{t.right}</span>
              <Slider label={t.right} min={0} max={100} value={m.volume.right} onCommit={(v) => void m.setVolume(m.volume.left, v)} />
            </label>
          </div>
          <p class="hint">{t.resumeFade}</p>
          <div class="inline-form">
            <Toggle label={t.lighting} checked={m.lighting} onChange={(v) => void m.setLighting(v)} />
            <span>{t.lighting}</span>
          </div>
        </div>
      )}
    </section>
  );
}
