import { describe, expect, it } from 'vitest';
import { clockMs, clockText } from '../../src/model/music';
import { clicksSince, parseTracks } from '../../src/model/tracks';

const DAY = 86400000;

describe('mouse tracks', () => {
  const text = 'x:1,y:2Time:1000;x:-5,y:7Time:5000;garbage;x:3,y:4Time:86399000;x:8,y:9Time:500;';
  it('reads every record, negative places too', () => {
    expect(parseTracks(text).map((c) => [c.x, c.y, c.t])).toEqual([[1, 2, 1000], [-5, 7, 5000], [3, 4, 86399000], [8, 9, 500]]);
  });

  // [start, stop, times kept]
  it.each([
    [900, 6000, [1000, 5000, 500].filter((t) => t >= 900)],
    [DAY - 2000, 1500, [1000, 86399000, 500]], // across midnight
    [6000, 7000, []],
  ])('keeps the clicks between %i and %i', (start, stop, kept) => {
    expect(clicksSince(parseTracks(text), start, stop).map((c) => c.t).sort()).toEqual([...kept].sort());
  });
});

describe('music clock', () => {
  it.each([
    ['03:07', 187000],
    ['00:00', 0],
    ['oops', 0],
  ])('%s is %i ms', (text, ms) => expect(clockMs(text)).toBe(ms));
  it('writes minutes and seconds', () => expect(clockText(187999)).toBe('03:07'));
});
