// The one place that knows the client's command protocol: every command name, its argument
// keys, how long to wait for its answer and which answer texts mean success. Screens call the
// typed methods of CommandClient; nothing else calls ClientRequest.

export interface QueryOptions {
  request: string;
  persistent?: boolean;
  onSuccess?: (text: string) => void;
  onFailure?: (code: number, text: string) => void;
}

// The page interface that the client injects into every page.
export interface Bridge {
  ClientRequest(options: QueryOptions): number;
  cefQueryCancel(id: number): boolean;
}

export type Answer =
  | { ok: true; text: string; ms: number }
  | { ok: false; text: string; ms: number; timedOut: boolean };

// A device in the client's list, as "GetDevicesList" answers it.
export interface DeviceInfo {
  DevicePath: string;
  Sn: string;
  Version: string;
  LastVersionNum: string;
  QZVersion: string;
}

// The arguments of "CustomButton"; every value travels as text.
export interface ButtonWrite {
  version: string;
  mode: number;
  taskIndex: number;
  task: string;
  taskType: string;
  playCount: number;
  playDelay: number;
  playType: number;
}

// One device write as the diagnostics view lists it.
export interface WriteRecord {
  at: number; // Date.now() when sent
  command: string;
  args: Record<string, string>;
  answer: string;
  ok: boolean | null; // null while no answer came
  ms: number;
}

// How long a command may stay unanswered before the page stops waiting. The client never
// answers some requests in some cases ("GetDevicesList" with no device, "savexml" when a file
// cannot be written): the timeout turns that into a clear outcome. Writes that change a device
// or a computer setting have no timeout: the client answers each one once its call returns,
// however late, and only that answer says whether the setting changed. A page that stopped
// listening could not know.
export const TIMEOUTS = {
  list: 1500,
  write: 0,
  file: 4000,
  dialog: 0, // the user decides; no timeout
  system: 3000,
  config: 4000,
  play: 10000,
  // The client gives up on the manifest after 10 s; this leaves room for its answer.
  manifest: 15000,
} as const;

// How long a write may take before the page says it has no answer yet. Patience, not a verdict:
// the answer is still taken when it comes.
export const PATIENCE_MS = 4000;

const WRITE_OK = 'writeDevices success!';

// Success texts of the commands whose success is a fixed text.
export const SUCCESS = {
  write: WRITE_OK,
  reset: 'RestDevice success',
  modify: 'ModifyFileFromStr success',
  save: 'save xml success',
  accel: 'modifyMouseAccel success',
  speed: 'ModifyWindowAcceleratedSpeed success',
  lines: 'ModifyMouseScrollLines success',
  linesX: 'modifyMouseScrollLinesX success',
  doubleClick: 'modifyMouseDoubleClick success',
  closeX: 'CloseX sucess',
  quit: 'modify conf sucess',
  keyMap: 'RefreshVirtualDrive success!',
  keyMapFailed: 'RefreshVirtualDrive failed!',
  tracks: 'mouseTracks success',
  music: 'RGBMusicPlay success',
} as const;

// The file a music command plays, and what the player reads from it ("GetMusicInfo").
export interface MusicInfo {
  Title: string;
  Artist: string;
  Album: string;
  Year: string;
  Genre: string;
  LeftVolume: string;
  RightVolume: string;
  Time: string; // MM:SS; "00:00" when the file could not be read
}

// The "Event" values of "RGBMusicPlay" that take no further argument.
export type MusicEvent = 'PauseMusic' | 'ResumeMusic' | 'PlayLoopMusic';

// The "status" texts of "mouseTracks".
export const TRACKS_START = '开始';
export const TRACKS_STOP = '停止';

// "GetClientUpdate": the running version, the UpdateUrl setting and what the client found there.
// The client has checked the manifest already; the page checks its types once more, since a
// client of another version may answer.
export interface UpdateOffer {
  version: string;
  package: string; // http or https
  size: number; // bytes
  notes: string;
  firmware: Record<string, string>;
}
export type ClientUpdateStatus = 'ok' | 'noUrl' | 'network' | 'invalid' | 'noAnswer';
export interface ClientUpdate {
  status: ClientUpdateStatus;
  running: string;
  updateUrl: string;
  reason: string;
  offer: UpdateOffer | null;
}

const isUpdateAddress = (text: unknown): text is string => typeof text === 'string' && text.length <= 2048 && /^https?:\/\/[^/\s@]+/i.test(text);

export function readClientUpdate(text: string): ClientUpdate {
  let o: Record<string, unknown>;
  try {
    o = JSON.parse(text) as Record<string, unknown>;
  } catch {
    return { status: 'invalid', running: '', updateUrl: '', reason: 'the answer is not JSON', offer: null };
  }
  const str = (v: unknown, max = 8000) => (typeof v === 'string' ? v.slice(0, max) : '');
  const known: ClientUpdateStatus[] = ['ok', 'noUrl', 'network', 'invalid'];
  let status = known.includes(o.Status as ClientUpdateStatus) ? (o.Status as ClientUpdateStatus) : 'invalid';
  let offer: UpdateOffer | null = null;
  const m = o.Manifest as Record<string, unknown> | undefined;
  if (status === 'ok') {
    const size = m?.size;
    if (m && typeof m.version === 'string' && m.version && isUpdateAddress(m.package) && typeof size === 'number' && Number.isInteger(size) && size > 0) {
      const firmware: Record<string, string> = {};
      if (m.firmware && typeof m.firmware === 'object')
        for (const [k, v] of Object.entries(m.firmware as Record<string, unknown>)) if (isUpdateAddress(v)) firmware[k.slice(0, 64)] = v;
      offer = { version: m.version.slice(0, 32), package: m.package, size, notes: str(m.notes), firmware };
    } else status = 'invalid';
  }
  return { status, running: str(o.Version, 32), updateUrl: str(o.UpdateUrl, 2048), reason: str(o.Reason, 300), offer };
}

// The key map that turns software key maps off: no trigger. The client clears its map and
// releases the input devices, then answers it as a map it could not read.
export const EMPTY_KEY_MAP = '<map/>';

export type PointerCommand =
  | 'modifyMouseAcce'
  | 'ModifyWindowAcceleratedSpeed'
  | 'ModifyMouseScrollLines'
  | 'modifyMouseScrollLinesX'
  | 'modifyMouseDoubleClick';

const POINTER_SUCCESS: Record<PointerCommand, string> = {
  modifyMouseAcce: SUCCESS.accel,
  ModifyWindowAcceleratedSpeed: SUCCESS.speed,
  ModifyMouseScrollLines: SUCCESS.lines,
  modifyMouseScrollLinesX: SUCCESS.linesX,
  modifyMouseDoubleClick: SUCCESS.doubleClick,
};

// Commands that change a device or start something in the client; each one is kept in the
// write log that the diagnostics view shows.
const LOGGED = new Set([
  'CustomButton',
  'WriteDeviceMultimedia',
  'WriteDeviceSn',
  'NotifyRGBDevice',
  'RestDevice',
  'RefreshVirtualDrive',
  'mouseTracks',
  'RGBMusicPlay',
  'ExecuteUpdateFirmware',
  'ExecuteUpdateClient',
  'DownloadFile',
  'GetClientUpdate',
]);

// What the log says for a command the client never answers: its outcome arrives as events.
export const BY_EVENTS = 'not answered: the outcome comes as events';

export const WRITE_LOG_SIZE = 60;

export function windowBridge(): Bridge | null {
  const w = window as unknown as Partial<Bridge>;
  if (typeof w.ClientRequest !== 'function' || typeof w.cefQueryCancel !== 'function') return null;
  return { ClientRequest: (o) => w.ClientRequest!(o), cefQueryCancel: (id) => w.cefQueryCancel!(id) };
}

const NO_BRIDGE = 'The client bridge is not available';
const NO_ANSWER = 'No answer yet';

export class CommandClient {
  readonly writes: WriteRecord[] = [];
  private listeners: Array<() => void> = [];

  constructor(
    private readonly bridge: Bridge | null,
    private readonly clock: () => number = () => performance.now(),
  ) {}

  get connected(): boolean {
    return this.bridge !== null;
  }

  onWrite(fn: () => void): () => void {
    this.listeners.push(fn);
    return () => {
      this.listeners = this.listeners.filter((l) => l !== fn);
    };
  }

  // Sends one request text and resolves with its answer, or with a failure when the timeout
  // passes first (the query is then cancelled so a late answer is dropped). timeoutMs 0 waits
  // for as long as it takes: what writes use.
  request(text: string, timeoutMs: number): Promise<Answer> {
    const started = this.clock();
    const bridge = this.bridge;
    if (!bridge) return Promise.resolve({ ok: false, text: NO_BRIDGE, ms: 0, timedOut: false });
    return new Promise<Answer>((resolve) => {
      let done = false;
      let timer = 0;
      const finish = (answer: Answer) => {
        if (done) return;
        done = true;
        if (timer) clearTimeout(timer);
        resolve(answer);
      };
      let id = -1;
      try {
        id = bridge.ClientRequest({
          request: text,
          onSuccess: (t) => finish({ ok: true, text: String(t), ms: this.clock() - started }),
          onFailure: (_code, t) => finish({ ok: false, text: String(t), ms: this.clock() - started, timedOut: false }),
        });
      } catch (e) {
        finish({ ok: false, text: String(e), ms: 0, timedOut: false });
        return;
      }
      if (timeoutMs > 0) {
        timer = window.setTimeout(() => {
          try {
            bridge.cefQueryCancel(id);
          } catch {
            // the query may already have ended
          }
          finish({ ok: false, text: NO_ANSWER, ms: this.clock() - started, timedOut: true });
        }, timeoutMs);
      }
    });
  }

  // A JSON command: "FuncName" plus text arguments. A success whose text is not `expect` (when
  // given) counts as a failure: the page never reports a write it cannot confirm.
  async command(name: string, args: Record<string, string>, timeoutMs: number, expect?: string): Promise<Answer> {
    const text = JSON.stringify({ FuncName: name, ...args });
    const record = LOGGED.has(name) ? this.startRecord(name, args) : null;
    let answer = await this.request(text, timeoutMs);
    if (answer.ok && expect !== undefined && answer.text !== expect) {
      answer = { ok: false, text: answer.text, ms: answer.ms, timedOut: false };
    }
    if (record) this.endRecord(record, answer);
    return answer;
  }

  private startRecord(command: string, args: Record<string, string>): WriteRecord {
    const record: WriteRecord = { at: Date.now(), command, args, answer: '', ok: null, ms: 0 };
    this.writes.unshift(record);
    if (this.writes.length > WRITE_LOG_SIZE) this.writes.length = WRITE_LOG_SIZE;
    this.notify();
    return record;
  }

  private endRecord(record: WriteRecord, answer: Answer) {
    record.answer = answer.text;
    record.ok = answer.ok;
    record.ms = Math.round(answer.ms);
    this.notify();
  }

  private notify() {
    this.listeners.forEach((l) => l());
  }

  // ---- devices ----

  // The client answers only when at least one device is attached: no answer means none.
  async getDevicesList(): Promise<DeviceInfo[] | null> {
    const answer = await this.request('{"FuncName":"GetDevicesList"}', TIMEOUTS.list);
    if (!answer.ok) return answer.timedOut ? [] : null;
    try {
      const list = JSON.parse(answer.text) as unknown;
      return Array.isArray(list) ? (list.filter((d) => d && typeof d === 'object') as DeviceInfo[]) : null;
    } catch {
      return null;
    }
  }

  // A built-in description file; an unknown name answers an empty text.
  async getLocalConf(name: string): Promise<string | null> {
    const answer = await this.command('GetLocalConf', { Name: name }, TIMEOUTS.config);
    return answer.ok ? answer.text : null;
  }

  customButton(w: ButtonWrite): Promise<Answer> {
    return this.command(
      'CustomButton',
      {
        Version: w.version,
        Mode: String(w.mode),
        TaskIndex: String(w.taskIndex),
        Task: w.task,
        TaskType: w.taskType,
        PlayCount: String(w.playCount),
        PlayDelay: String(w.playDelay),
        PlayType: String(w.playType),
      },
      TIMEOUTS.write,
      WRITE_OK,
    );
  }

  // A raw parameter: `code` is a byte code string, an RRGGBB colour (length 3) or a decimal
  // DPI value (length 5).
  writeDeviceMultimedia(version: string, index: number, length: number, code: string): Promise<Answer> {
    return this.command(
      'WriteDeviceMultimedia',
      { Version: version, Index: String(index), Length: String(length), DrviceDataCode: code },
      TIMEOUTS.write,
      WRITE_OK,
    );
  }

  writeDeviceSn(version: string, sn: string): Promise<Answer> {
    return this.command('WriteDeviceSn', { Version: version, Sn: sn }, TIMEOUTS.write, WRITE_OK);
  }

  // Per-key colours: items "NAME#RRGGBB". The client echoes the list text; it gives no other
  // outcome, so an answer means the frame was handed to the device layer.
  async notifyRGBDevice(version: string, items: string[]): Promise<Answer> {
    const data = JSON.stringify(items);
    const answer = await this.command('NotifyRGBDevice', { Version: version, Data: data }, TIMEOUTS.write);
    const echoed = data.slice(2, -2).replace(/\\\\/g, '\\');
    if (answer.ok && answer.text !== echoed) return { ok: false, text: answer.text, ms: answer.ms, timedOut: false };
    return answer;
  }

  restDevice(version: string): Promise<Answer> {
    return this.command('RestDevice', { Version: version }, TIMEOUTS.write, SUCCESS.reset);
  }

  // ---- profile files ----

  readFileToStr(path: string, xpath: string): Promise<Answer> {
    return this.command('ReadFileToStr', { FilePath: path, Xpath: xpath }, TIMEOUTS.file);
  }

  modifyFileFromStr(path: string, content: string): Promise<Answer> {
    return this.command('ModifyFileFromStr', { FilePath: path, ContentStr: content }, TIMEOUTS.file, SUCCESS.modify);
  }

  savexml(): Promise<Answer> {
    return this.command('savexml', {}, TIMEOUTS.file, SUCCESS.save);
  }

  saveFileDialog(): Promise<Answer> {
    return this.command('saveFileDialog', {}, TIMEOUTS.dialog);
  }

  openFileDialog(): Promise<Answer> {
    return this.command('OpenFileDialog', {}, TIMEOUTS.dialog);
  }

  // ---- system pointer ----

  pointer(command: PointerCommand, num: number): Promise<Answer> {
    return this.command(command, { Num: String(num) }, TIMEOUTS.write, POINTER_SUCCESS[command]);
  }

  // ---- window ----

  moveWindow(dx: number, dy: number, w: number, h: number): void {
    void this.request(`MoveWindow:${dx},${dy},${w},${h}`, 0);
  }

  // These three are never answered.
  minimize(): void {
    this.fireAndForget('{"FuncName":"MinisizeWindow"}');
  }

  maximize(max: boolean): void {
    this.fireAndForget(max ? 'maxsizeWindow' : 'restoreWindow');
  }

  // Saves the changed files and ends the client.
  quit(): Promise<Answer> {
    return this.command('CloseApp', {}, TIMEOUTS.system, SUCCESS.quit);
  }

  // Hides the window to the tray; where the desktop has no tray, the client quits instead.
  closeToTray(): Promise<Answer> {
    return this.command('CloseX', {}, TIMEOUTS.system, SUCCESS.closeX);
  }

  // ---- software key maps and mouse tracks ----

  // The trigger map as key map XML. An empty text is never answered, so it is not sent.
  refreshVirtualDrive(map: string): Promise<Answer> {
    if (!map) return Promise.resolve({ ok: false, text: SUCCESS.keyMapFailed, ms: 0, timedOut: false });
    return this.command('RefreshVirtualDrive', { VirtualStr: map }, TIMEOUTS.write, SUCCESS.keyMap);
  }

  // Turns software key maps off. The client answers an empty map with its failure text after
  // clearing the map, so either answer means the map is empty now.
  async clearVirtualDrive(): Promise<Answer> {
    const answer = await this.command('RefreshVirtualDrive', { VirtualStr: EMPTY_KEY_MAP }, TIMEOUTS.write);
    if (!answer.ok && answer.text === SUCCESS.keyMapFailed) return { ok: true, text: answer.text, ms: answer.ms };
    return answer;
  }

  // The trigger table: every key and mouse button a key map can use.
  async getVirtualDevice(): Promise<string | null> {
    const answer = await this.command('GetVirtualDevice', {}, TIMEOUTS.config);
    return answer.ok ? answer.text : null;
  }

  // Whether the virtual input device that plays key maps is open: true, false, or null when
  // the client did not answer.
  async getVirtualDeviceStatus(): Promise<boolean | null> {
    const answer = await this.command('GetVirtualDeviceStatus', {}, TIMEOUTS.system);
    if (!answer.ok) return null;
    return answer.text === 'success' ? true : answer.text === 'failed' ? false : null;
  }

  // Whether the client loaded the vendor device library: without it no device is ever listed.
  // true, false, or null when the client did not answer.
  async getDeviceLibraryStatus(): Promise<boolean | null> {
    const answer = await this.command('GetDeviceLibraryStatus', {}, TIMEOUTS.system);
    if (!answer.ok) return null;
    return answer.text === 'success' ? true : answer.text === 'failed' ? false : null;
  }

  // Whether software key maps can catch keys: true, the reason they cannot (the input devices
  // cannot be opened, the capture ended), or null when the client did not answer.
  async getKeyMapCaptureStatus(): Promise<true | { reason: string } | null> {
    const answer = await this.command('GetKeyMapCaptureStatus', {}, TIMEOUTS.system);
    if (!answer.ok) return null;
    if (answer.text === 'success') return true;
    return answer.text.startsWith('failed') ? { reason: answer.text.replace(/^failed:?\s*/, '').slice(0, 300) } : null;
  }

  startMouseTracks(): Promise<Answer> {
    return this.command('mouseTracks', { status: TRACKS_START }, TIMEOUTS.system, SUCCESS.tracks);
  }

  // Answers the recorded track text.
  stopMouseTracks(): Promise<Answer> {
    return this.command('mouseTracks', { status: TRACKS_STOP }, TIMEOUTS.system);
  }

  // ---- music ----

  // Opens the file (an absolute path, as the open dialog answers it) and plays it.
  // Opening reads the file's start before the answer: it gets longer than the other events.
  playMusic(path: string): Promise<Answer> {
    return this.music({ Event: 'PlayMusic', Url: path }, TIMEOUTS.play);
  }

  musicEvent(event: MusicEvent): Promise<Answer> {
    return this.music({ Event: event });
  }

  seekMusic(ms: number): Promise<Answer> {
    return this.music({ Event: 'SeekPosition', RefreshPosition: String(Math.max(0, Math.round(ms))) });
  }

  // Volumes 0..100 per channel.
  setMusicVolume(left: number, right: number): Promise<Answer> {
    return this.music({ Event: 'SetPlayerVolume', L: String(Math.round(left)), R: String(Math.round(right)) });
  }

  private music(args: Record<string, string>, timeoutMs: number = TIMEOUTS.system): Promise<Answer> {
    return this.command('RGBMusicPlay', args, timeoutMs, SUCCESS.music);
  }

  async getMusicInfo(): Promise<MusicInfo | null> {
    const answer = await this.command('GetMusicInfo', {}, TIMEOUTS.config);
    if (!answer.ok) return null;
    try {
      const info = JSON.parse(answer.text) as Record<string, unknown>;
      const text = (k: string) => (typeof info[k] === 'string' ? (info[k] as string) : '');
      return {
        Title: text('Title'),
        Artist: text('Artist'),
        Album: text('Album'),
        Year: text('Year'),
        Genre: text('Genre'),
        LeftVolume: text('LeftVolume'),
        RightVolume: text('RightVolume'),
        Time: text('Time'),
      };
    } catch {
      return null;
    }
  }

  // ---- updates ----
  // Neither is answered: progress and outcome arrive as "RefreshUpdateState" (see events.ts).

  executeUpdateFirmware(version: string, filePath: string): void {
    this.unanswered('ExecuteUpdateFirmware', { Version: version, FilePath: filePath });
  }

  executeUpdateClient(filePath: string): void {
    this.unanswered('ExecuteUpdateClient', { FilePath: filePath });
  }

  // The running version and the update offer; a client that does not know the command, or does
  // not answer in time, reads as 'noAnswer'.
  async getClientUpdate(): Promise<ClientUpdate> {
    const answer = await this.command('GetClientUpdate', {}, TIMEOUTS.manifest);
    if (!answer.ok) return { status: 'noAnswer', running: '', updateUrl: '', reason: answer.text, offer: null };
    return readClientUpdate(answer.text);
  }

  // Downloads a file through the engine into the client's update folder: a hidden frame opens
  // the address, the engine takes the file as a download, and "RefreshDownState" and then
  // "RefreshUpdateState" (the file's full path) report it. "DownloadFile" itself does nothing
  // in the client; it is sent so the diagnostics log shows the download.
  downloadFile(url: string, name: string): void {
    this.unanswered('DownloadFile', { downloadUrl: url, relativePath: name });
    if (!this.bridge || !isUpdateAddress(url)) return;
    const frame = document.createElement('iframe');
    frame.hidden = true;
    frame.setAttribute('aria-hidden', 'true');
    frame.src = url;
    document.body.appendChild(frame);
    // The download goes on without the frame; a page the address showed instead goes with it.
    window.setTimeout(() => frame.remove(), 60000);
  }

  private unanswered(name: string, args: Record<string, string>) {
    const record = this.startRecord(name, args);
    this.fireAndForget(JSON.stringify({ FuncName: name, ...args }));
    record.answer = BY_EVENTS;
    this.notify();
  }

  private fireAndForget(text: string) {
    if (!this.bridge) return;
    try {
      const id = this.bridge.ClientRequest({ request: text });
      // Nothing will answer: drop the query after a moment so it does not stay pending.
      window.setTimeout(() => {
        try {
          this.bridge!.cefQueryCancel(id);
        } catch {
          // already gone
        }
      }, 2000);
    } catch {
      // a refused request changes nothing
    }
  }
}
