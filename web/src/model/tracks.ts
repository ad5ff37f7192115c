// Mouse tracks: the client records where the left button is released anywhere on the desktop,
// as records "x:X,y:YTime:T;" (T: milliseconds since local midnight). Its record is kept for
// the client's whole run, so the pages take only the clicks made since their own start.
import { MAX_DELAY_MS, type Step } from './macro';

export interface TrackClick {
  x: number;
  y: number;
  t: number;
}

const DAY_MS = 24 * 3600 * 1000;

export function msSinceMidnight(d: Date): number {
  return ((d.getHours() * 60 + d.getMinutes()) * 60 + d.getSeconds()) * 1000 + d.getMilliseconds();
}

export function parseTracks(text: string): TrackClick[] {
  const out: TrackClick[] = [];
  for (const m of text.matchAll(/x:(-?\d+),y:(-?\d+)Time:(\d+);/g)) out.push({ x: Number(m[1]), y: Number(m[2]), t: Number(m[3]) });
  return out;
}

// The clicks made at or after `startT` (and before the stop), across midnight too.
export function clicksSince(clicks: TrackClick[], startT: number, stopT: number): TrackClick[] {
  const span = (stopT - startT + DAY_MS) % DAY_MS;
  return clicks.filter((c) => (c.t - startT + DAY_MS) % DAY_MS <= span);
}

// Each click as a move to its place and a left click, with the pause before it as a delay.
export function clickSteps(clicks: TrackClick[]): Step[] {
  const steps: Step[] = [];
  clicks.forEach((c, i) => {
    if (i > 0) steps.push({ kind: 'delay', ms: Math.min(MAX_DELAY_MS, Math.max(0, (c.t - clicks[i - 1].t + DAY_MS) % DAY_MS)) });
    steps.push({ kind: 'absolute', x: Math.max(0, c.x), y: Math.max(0, c.y) }, { kind: 'mouseDown', button: '左键' }, { kind: 'mouseUp', button: '左键' });
  });
  return steps;
}
