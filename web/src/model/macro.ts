// Device macros: the steps the editor shows, the client's macro text (step names with an
// argument in parentheses, written back to back) and the size the steps take in a device slot.

export type MouseButton = '左键' | '右键' | '中键';

export type Step =
  | { kind: 'keyDown' | 'keyUp'; key: string } // key: the key's task in the driver table
  | { kind: 'mouseDown' | 'mouseUp'; button: MouseButton }
  | { kind: 'wheelUp' | 'wheelDown'; amount: number }
  | { kind: 'delay'; ms: number }
  | { kind: 'absolute'; x: number; y: number }
  | { kind: 'relative' | 'recoil' | 'lowerLeft' | 'upperRight'; dx: number; dy: number };

export type StepKind = Step['kind'];

// The client's step names, in the order the editor offers them.
export const STEP_NAMES: Record<StepKind, string> = {
  keyDown: '键盘按下',
  keyUp: '键盘弹起',
  mouseDown: '鼠标按下',
  mouseUp: '鼠标弹起',
  wheelUp: '上滚动',
  wheelDown: '下滚动',
  delay: '延迟',
  absolute: '绝对定位XY',
  relative: '相对定位XY',
  recoil: '弹道压枪XY',
  lowerLeft: '向左下角修正',
  upperRight: '向右上角修正',
};

const KIND_BY_NAME = new Map<string, StepKind>(
  (Object.keys(STEP_NAMES) as StepKind[]).map((k) => [STEP_NAMES[k], k]),
);

export const MOUSE_BUTTONS: MouseButton[] = ['左键', '右键', '中键'];
export const MAX_DELAY_MS = 65535;
export const MAX_COORD = 32767;
// The header the client puts before the steps in the slot: 0x04, slot, step byte count, 0.
export const MACRO_HEADER_BYTES = 4;
// Every device macro slot holds this many bytes unless its profile row says otherwise.
export const DEFAULT_SLOT_BYTES = 200;

const GENERIC_MODIFIERS = new Set(['CTRL', 'SHIFT', 'ALT', 'WIN']);

function clampInt(v: number, lo: number, hi: number): number {
  const n = Math.trunc(Number.isFinite(v) ? v : 0);
  return Math.min(hi, Math.max(lo, n));
}

function argumentOf(step: Step): string {
  switch (step.kind) {
    case 'keyDown':
    case 'keyUp':
      return step.key;
    case 'mouseDown':
    case 'mouseUp':
      return step.button;
    case 'wheelUp':
    case 'wheelDown':
      return String(clampInt(step.amount, 1, 255));
    case 'delay':
      return String(clampInt(step.ms, 0, MAX_DELAY_MS));
    case 'absolute':
      return `${clampInt(step.x, 0, 65535)},${clampInt(step.y, 0, 65535)}`;
    default:
      return `${clampInt(step.dx, -MAX_COORD, MAX_COORD)},${clampInt(step.dy, -MAX_COORD, MAX_COORD)}`;
  }
}

// Key names that cannot travel inside the text: the client splits at ")" and keys on "(".
export function isWritableKey(key: string): boolean {
  return key.length > 0 && !/[()]/.test(key);
}

export function buildMacroText(steps: Step[]): string {
  return steps.map((s) => `${STEP_NAMES[s.kind]}(${argumentOf(s)})`).join('');
}

function numbers(arg: string): number[] {
  return arg.split(',').map((p) => {
    const n = parseInt(p.trim(), 10);
    return Number.isFinite(n) ? n : 0;
  });
}

// Reads a macro text the way the client does: split at ")", the name before the first "(" and
// the argument after it. Pieces with unknown names are skipped; `skipped` counts them.
export function parseMacroText(text: string): { steps: Step[]; skipped: number } {
  const steps: Step[] = [];
  let skipped = 0;
  for (const piece of text.split(')')) {
    if (!piece.trim()) continue;
    const open = piece.indexOf('(');
    const kind = open > 0 ? KIND_BY_NAME.get(piece.slice(0, open).trim()) : undefined;
    if (!kind) {
      skipped++;
      continue;
    }
    const arg = piece.slice(open + 1).trim();
    const [a, b] = numbers(arg);
    switch (kind) {
      case 'keyDown':
      case 'keyUp': {
        const upper = arg.toUpperCase();
        steps.push({ kind, key: GENERIC_MODIFIERS.has(upper) ? `LEFT ${upper}` : arg });
        break;
      }
      case 'mouseDown':
      case 'mouseUp':
        if ((MOUSE_BUTTONS as string[]).includes(arg)) steps.push({ kind, button: arg as MouseButton });
        else skipped++;
        break;
      case 'wheelUp':
      case 'wheelDown':
        steps.push({ kind, amount: a || 1 });
        break;
      case 'delay':
        steps.push({ kind, ms: clampInt(a, 0, MAX_DELAY_MS) });
        break;
      case 'absolute':
        steps.push({ kind, x: a, y: b ?? 0 });
        break;
      default:
        steps.push({ kind, dx: a, dy: b ?? 0 });
    }
  }
  return { steps, skipped };
}

// Bytes one step takes in the device: three per step, six for an absolute position, and one
// three-byte half per non-zero component of a relative move.
export function stepBytes(step: Step): number {
  switch (step.kind) {
    case 'absolute':
      return 6;
    case 'relative':
    case 'recoil':
    case 'lowerLeft':
    case 'upperRight':
      return 3 * ((step.dx !== 0 ? 1 : 0) + (step.dy !== 0 ? 1 : 0));
    default:
      return 3;
  }
}

export function macroBytes(steps: Step[]): number {
  return steps.reduce((sum, s) => sum + stepBytes(s), 0);
}

// The slot number the client derives for a button's macro: taskIndex + mode + 89.
export function macroSlot(taskIndex: number, mode: number): number {
  return taskIndex + mode + 89;
}

export type FitProblem = { reason: 'empty' } | { reason: 'tooLong'; bytes: number; limit: number };

// A macro fits when its steps and the header fit in the slot; the client would otherwise cut
// it short without saying so.
export function checkMacroFits(steps: Step[], slotBytes: number = DEFAULT_SLOT_BYTES): FitProblem | null {
  if (steps.length === 0) return { reason: 'empty' };
  const bytes = macroBytes(steps);
  const limit = slotBytes - MACRO_HEADER_BYTES;
  return bytes > limit ? { reason: 'tooLong', bytes, limit } : null;
}

// Recording: turns captured key and button events into steps with the delays between them.
export interface Captured {
  t: number; // milliseconds
  down: boolean;
  key?: string;
  button?: MouseButton;
}

export function stepsFromCapture(events: Captured[], minDelay = 10): Step[] {
  const steps: Step[] = [];
  let last: number | null = null;
  for (const e of events) {
    if (last !== null) {
      const gap = Math.round(e.t - last);
      if (gap >= minDelay) steps.push({ kind: 'delay', ms: Math.min(gap, MAX_DELAY_MS) });
    }
    last = e.t;
    if (e.key) steps.push({ kind: e.down ? 'keyDown' : 'keyUp', key: e.key });
    else if (e.button) steps.push({ kind: e.down ? 'mouseDown' : 'mouseUp', button: e.button });
  }
  return steps;
}

// What a recording does with the pauses between its events: keep them as recorded, shorten those
// longer than `ms` to `ms`, or put the same `ms` between every two steps.
export type PauseRule = { kind: 'recorded' } | { kind: 'trim'; ms: number } | { kind: 'fixed'; ms: number };

export function applyPauses(steps: Step[], rule: PauseRule): Step[] {
  if (rule.kind === 'recorded') return steps;
  if (rule.kind === 'trim') return steps.map((s) => (s.kind === 'delay' && s.ms > rule.ms ? { kind: 'delay', ms: rule.ms } : s));
  const out: Step[] = [];
  for (const s of steps.filter((x) => x.kind !== 'delay')) {
    if (out.length) out.push({ kind: 'delay', ms: rule.ms });
    out.push(s);
  }
  return out;
}

// Keys and buttons released during a recording without having been pressed in it (held down
// when the recording started): each is named once.
export function strayReleases(events: Captured[]): string[] {
  const down = new Set<string>();
  const stray: string[] = [];
  for (const e of events) {
    const id = e.key ?? e.button ?? '';
    if (e.down) down.add(id);
    else if (!down.delete(id) && !stray.includes(id)) stray.push(id);
  }
  return stray;
}
