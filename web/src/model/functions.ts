// What a button can do, as the pages offer it. Every function is a task of the client's driver
// table; labels are the pages' own. Numbers of effects and steps are the firmware's values,
// written unchanged.
import type { Locale } from '../i18n';

export interface FunctionDef {
  task: string;
  zh: string;
  en: string;
}

export interface FunctionGroup {
  id: 'click' | 'scroll' | 'dpi' | 'media' | 'device';
  items: FunctionDef[];
}

const f = (task: string, zh: string, en: string): FunctionDef => ({ task, zh, en });

export const FUNCTION_GROUPS: FunctionGroup[] = [
  {
    id: 'click',
    items: [
      f('单击左键()', '左键', 'Left click'),
      f('单击右键()', '右键', 'Right click'),
      f('单击中键()', '中键', 'Middle click'),
      f('单击后退键()', '后退', 'Back'),
      f('单击前进键()', '前进', 'Forward'),
    ],
  },
  {
    id: 'scroll',
    items: [
      f('向上滚动', '向上滚动', 'Scroll up'),
      f('向下滚动', '向下滚动', 'Scroll down'),
      f('向左滚动', '向左滚动', 'Scroll left'),
      f('向右滚动', '向右滚动', 'Scroll right'),
      f('锁定X轴', '锁定 X 轴', 'Lock X axis'),
      f('锁定Y轴', '锁定 Y 轴', 'Lock Y axis'),
    ],
  },
  {
    id: 'dpi',
    items: [
      f('DPI循环', 'DPI 循环', 'DPI cycle'),
      f('DPI+', 'DPI 增加', 'DPI up'),
      f('DPI-', 'DPI 减少', 'DPI down'),
      f('精准定位', '精准定位', 'Precision aim'),
    ],
  },
  {
    id: 'media',
    items: [
      f('播放/暂停', '播放/暂停', 'Play / pause'),
      f('停止', '停止', 'Stop'),
      f('上一曲目', '上一曲目', 'Previous track'),
      f('下一曲目', '下一曲目', 'Next track'),
      f('提高音量', '提高音量', 'Volume up'),
      f('降低音量', '降低音量', 'Volume down'),
      f('静音', '静音', 'Mute'),
      f('媒体播放器', '媒体播放器', 'Media player'),
    ],
  },
  {
    id: 'device',
    items: [
      f('报告率+', '报告率增加', 'Report rate up'),
      f('报告率-', '报告率减少', 'Report rate down'),
      f('LiftUp', '静默高度增加', 'Lift-off up'),
      f('LiftDown', '静默高度减少', 'Lift-off down'),
      f('SwitchLight', '指示灯开关', 'Lights on / off'),
      f('打开自定义()', '打开宏定义', 'Macros on'),
      f('关闭自定义()', '关闭宏定义', 'Macros off'),
      f('打断执行()', '打断宏执行', 'Stop macro'),
    ],
  },
];

const BY_TASK = new Map(FUNCTION_GROUPS.flatMap((g) => g.items.map((i) => [i.task, i] as [string, FunctionDef])));

export function functionLabel(task: string, locale: Locale): string | null {
  const def = BY_TASK.get(task);
  return def ? def[locale] : null;
}

// Function rows of the driver table (a four-byte code) by task: the pages offer only
// catalogue entries the table really has. A code starting 0x01 is a mouse function, which the
// device runs once whatever the play settings say.
export function functionCodesOf(driverTable: string): Map<string, string> {
  const out = new Map<string, string>();
  const body = driverTable.replace(/<!--[\s\S]*?-->/g, '');
  const re = /<key\b[^>]*\bTask="([^"]*)"[^>]*\bCode="(0x[0-9A-Fa-f]{1,2}(?:,0x[0-9A-Fa-f]{1,2}){3})"/g;
  let m: RegExpExecArray | null;
  while ((m = re.exec(body)) !== null) out.set(m[1], m[2]);
  return out;
}

// Shortcut presets from the client's command packets (packet 0): name and chord.
export function shortcutPresets(packets: string): { name: string; chord: string }[] {
  const packet = /<Packet\b[^>]*\bIndex="0"[^>]*>([\s\S]*?)<\/Packet>/.exec(packets);
  if (!packet) return [];
  const out: { name: string; chord: string }[] = [];
  const re = /<Item\b[^>]*\bName="([^"]*)"[^>]*\bCommand="([^"]*)"[^>]*\bType="Keyboard"/g;
  let m: RegExpExecArray | null;
  while ((m = re.exec(packet[1])) !== null) out.push({ name: m[1], chord: m[2] });
  return out;
}

// Numbered settings with names of their steps.
export const MOUSE_EFFECTS = [0, 1, 2, 3, 4, 5, 6];
export const KEYBOARD_EFFECTS = [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16];
export const REPORT_RATES = [
  { value: 0, hz: 125 },
  { value: 1, hz: 250 },
  { value: 2, hz: 500 },
  { value: 3, hz: 1000 },
];
export const LIFT_HEIGHTS = [1, 2, 3];
export const DIRECTIONS = [1, 2, 3, 4];

// System pointer: the values the client's commands take.
export const POINTER_SPEED_TICKS = 10; // ticks 0..10, speed = max(1, 2 * tick)
export const speedForTick = (tick: number) => Math.max(1, Math.min(20, tick * 2));
export const DOUBLE_CLICK_STEPS = 12; // Num 0..11
export const doubleClickMs = (num: number) => 970 - 70 * num;
export const ACCELERATION = [0, 1, 3, 2]; // off, low, medium, high as Num
