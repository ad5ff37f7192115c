// Measures the Music screen in Debian's Chromium with the mock bridge: the spectrum draw per
// frame and the page's main-thread time while frames arrive every 60 ms, each beside a baseline
// of the same run (parsing the frame alone; the same screen with no frames). Not a test:
//   npm run build && npx vite-node tools/spectrum-bench.ts
import { close, MOUSE, open } from '../test/pages/harness';

const FRAMES = 150;
const INTERVAL_MS = 60;

async function main() {
  const info = JSON.stringify({ Title: 'Bench', Artist: '', Album: '', LeftVolume: '100', RightVolume: '100', Time: '03:07' });
  const o = await open({ devices: [MOUSE], dialogPath: '/tmp/bench.mp3', rules: [{ match: { FuncName: 'GetMusicInfo' }, answer: [true, info] }] }, 'en-US');
  const { page } = o;
  await page.waitForFunction(() => (window as any).kfApp?.session?.status === 'ready');
  await page.click('[data-screen="music"]');
  await page.click('.screen-head .btn.primary');
  await page.waitForSelector('.spectrum');
  const cdp = await o.context.newCDPSession(page);
  await cdp.send('Performance.enable');
  const busy = async () => ((await cdp.send('Performance.getMetrics')).metrics.find((m) => m.name === 'TaskDuration')?.value ?? 0) * 1000;
  const run = (frames: boolean) =>
    page.evaluate(
      ({ n, every, frames }) =>
        new Promise<void>((done) => {
          // The client's texts, made before the clock starts: only the page's own work is measured.
          const texts = (window as any).__frames as string[];
          let i = 0;
          const timer = setInterval(() => {
            if (frames) (window as any).__mock.emit('OnRGBMusicData', [texts[i]]);
            if (++i >= n) (clearInterval(timer), done());
          }, every);
        }),
      { n: FRAMES, every: INTERVAL_MS, frames },
    );
  await page.evaluate(
    ({ n, every }) => {
      const bins = (i: number, k: number) => Array.from({ length: 257 }, (_, j) => Math.round(50 + 45 * Math.sin((j + i * k) / 9)));
      (window as any).__frames = Array.from({ length: n }, (_, i) =>
        `VisualizeMusice(${JSON.stringify({ LeftChannel: bins(i, 3), RightChannel: bins(i, 5), CurTime: '00:01', Position: i * every, SeekTime: '187000', Rotate: String(i) }, null, 4)})`,
      );
    },
    { n: FRAMES, every: INTERVAL_MS },
  );
  let t0 = await busy();
  await run(false);
  const idleMs = (await busy()) - t0;
  t0 = await busy();
  await run(true);
  const playMs = (await busy()) - t0;
  const stats = await page.evaluate(() => (window as any).kfApp.music.drawStats);
  const parseMs = await page.evaluate((n) => {
    const text = `VisualizeMusice(${JSON.stringify({ LeftChannel: Array(257).fill(55), RightChannel: Array(257).fill(44), CurTime: '00:01', Position: 1, SeekTime: '1', Rotate: '1' }, null, 4)})`;
    const start = performance.now();
    for (let i = 0; i < n; i++) JSON.parse(text.slice(16, -1));
    return (performance.now() - start) / n;
  }, FRAMES);
  const wall = FRAMES * INTERVAL_MS;
  console.log(`spectrum draw per frame: mean ${(stats.totalMs / stats.frames).toFixed(3)} ms, max ${stats.maxMs.toFixed(3)} ms over ${stats.frames} frames`);
  console.log(`baseline, parsing one frame's JSON alone: ${parseMs.toFixed(3)} ms`);
  console.log(`page main thread busy: ${((playMs / wall) * 100).toFixed(2)}% with frames every ${INTERVAL_MS} ms; baseline, same screen without frames: ${((idleMs / wall) * 100).toFixed(2)}%`);
  await o.context.close();
  await close();
}

void main();
