import { afterEach, beforeEach, describe, expect, it, vi } from 'vitest';
import { CommandClient, type Bridge, type QueryOptions } from '../../src/bridge/protocol';
import { downState, EventClient, musicFrame, updateState } from '../../src/bridge/events';
import { compareVersions, packageName } from '../../src/model/client-update';
import { imageOffer, isImage } from '../../src/model/firmware-offer';

// A bridge that answers each request from a script: [ok, text], or undefined for no answer.
function fakeBridge(answer: (req: string) => [boolean, string] | undefined) {
  const sent: string[] = [];
  const cancelled: number[] = [];
  let id = 0;
  const bridge: Bridge = {
    ClientRequest(q: QueryOptions) {
      sent.push(q.request);
      const a = answer(q.request);
      if (a) queueMicrotask(() => (a[0] ? q.onSuccess?.(a[1]) : q.onFailure?.(0, a[1])));
      return ++id;
    },
    cefQueryCancel(n: number) {
      cancelled.push(n);
      return true;
    },
  };
  return { bridge, sent, cancelled };
}

beforeEach(() => {
  vi.stubGlobal('window', globalThis);
  vi.useFakeTimers();
});
afterEach(() => vi.useRealTimers());

describe('command client', () => {
  it.each([
    // command call, answer, expected outcome
    ['write ok', (c: CommandClient) => c.writeDeviceMultimedia('V', 43, 5, '800'), [true, 'writeDevices success!'], { ok: true }],
    ['write failed', (c: CommandClient) => c.writeDeviceSn('V', 'X'), [false, 'writeDevices failed!'], { ok: false, text: 'writeDevices failed!' }],
    ['unexpected text', (c: CommandClient) => c.customButton({ version: 'V', mode: 1, taskIndex: 11, task: 'A', taskType: 'Keyboard', playCount: 1, playDelay: 0, playType: 1 }), [true, 'huh'], { ok: false, text: 'huh' }],
    ['pointer', (c: CommandClient) => c.pointer('modifyMouseAcce', 0), [true, 'modifyMouseAccel success'], { ok: true }],
    ['colours echo', (c: CommandClient) => c.notifyRGBDevice('V', ['ESC#FF0000', 'A#00FF00']), [true, 'ESC#FF0000","A#00FF00'], { ok: true }],
    ['colours wrong echo', (c: CommandClient) => c.notifyRGBDevice('V', ['ESC#FF0000']), [true, ''], { ok: false }],
  ] as const)('%s', async (_name, call, answer, expected) => {
    const { bridge } = fakeBridge(() => answer as [boolean, string]);
    const result = await call(new CommandClient(bridge));
    expect(result).toMatchObject(expected);
  });

  it('sends every argument as text under its exact key', async () => {
    const { bridge, sent } = fakeBridge(() => [true, 'writeDevices success!']);
    const c = new CommandClient(bridge);
    await c.customButton({ version: 'QZK', mode: 1, taskIndex: 12, task: 'Ctrl+C', taskType: 'Keyboard', playCount: 3, playDelay: 0, playType: 1 });
    await c.notifyRGBDevice('QZK', ['ESC#FF0000']);
    expect(sent.map((s) => JSON.parse(s))).toEqual([
      { FuncName: 'CustomButton', Version: 'QZK', Mode: '1', TaskIndex: '12', Task: 'Ctrl+C', TaskType: 'Keyboard', PlayCount: '3', PlayDelay: '0', PlayType: '1' },
      { FuncName: 'NotifyRGBDevice', Version: 'QZK', Data: '["ESC#FF0000"]' },
    ]);
  });

  it('keeps listening for a late write answer, and gives up on other requests', async () => {
    let answerLater: ((ok: boolean) => void) | null = null;
    const bridge: Bridge = {
      ClientRequest(q) {
        if (q.request.includes('WriteDeviceMultimedia')) answerLater = (ok) => (ok ? q.onSuccess?.('writeDevices success!') : q.onFailure?.(0, 'writeDevices failed!'));
        return 7;
      },
      cefQueryCancel: vi.fn(() => true),
    };
    const c = new CommandClient(bridge);
    const write = c.writeDeviceMultimedia('V', 57, 3, '2EABF3');
    const read = c.readFileToStr('a.xml', '/');
    expect(c.writes[0]).toMatchObject({ command: 'WriteDeviceMultimedia', ok: null, args: { Index: '57', DrviceDataCode: '2EABF3' } });
    await vi.advanceTimersByTimeAsync(60000);
    expect(await read).toMatchObject({ ok: false, timedOut: true, text: 'No answer yet' });
    expect(bridge.cefQueryCancel).toHaveBeenCalledTimes(1);
    answerLater!(true);
    expect(await write).toMatchObject({ ok: true });
    expect(c.writes[0]).toMatchObject({ ok: true, answer: 'writeDevices success!' });
  });

  it('reads an unanswered device list as no device and a bad one as a failure', async () => {
    const silent = new CommandClient(fakeBridge(() => undefined).bridge);
    const list = silent.getDevicesList();
    await vi.advanceTimersByTimeAsync(1500);
    expect(await list).toEqual([]);
    expect(await new CommandClient(fakeBridge(() => [true, '{oops']).bridge).getDevicesList()).toBeNull();
    expect(await new CommandClient(null).writeDeviceSn('V', 'x')).toMatchObject({ ok: false });
  });
});

describe('key map, track, music and update commands', () => {
  it('sends each with its exact keys and reads its answers', async () => {
    const answers: Record<string, [boolean, string]> = {
      RefreshVirtualDrive: [false, 'RefreshVirtualDrive failed!'],
      GetVirtualDeviceStatus: [true, 'failed'],
      mouseTracks: [true, 'mouseTracks success'],
      RGBMusicPlay: [true, 'RGBMusicPlay success'],
      GetMusicInfo: [true, '{\n    "Title": "Song",\n    "Time": "03:07"\n}'],
    };
    const { bridge, sent } = fakeBridge((r) => answers[JSON.parse(r).FuncName]);
    const c = new CommandClient(bridge);
    expect(await c.refreshVirtualDrive('<map><key/></map>')).toMatchObject({ ok: false });
    expect(await c.clearVirtualDrive()).toMatchObject({ ok: true }); // an empty map is cleared, then called unreadable
    expect(await c.refreshVirtualDrive('')).toMatchObject({ ok: false }); // never sent: the client would not answer
    expect(await c.getVirtualDeviceStatus()).toBe(false);
    expect(await c.startMouseTracks()).toMatchObject({ ok: true });
    expect(await c.playMusic('/home/u/a.mp3')).toMatchObject({ ok: true });
    await c.seekMusic(1234.4);
    await c.setMusicVolume(80, 20);
    await c.musicEvent('PauseMusic');
    expect(await c.getMusicInfo()).toMatchObject({ Title: 'Song', Time: '03:07', Artist: '' });
    c.executeUpdateFirmware('QZK', '/tmp/f.bin');
    expect(sent.map((s) => JSON.parse(s))).toEqual([
      { FuncName: 'RefreshVirtualDrive', VirtualStr: '<map><key/></map>' },
      { FuncName: 'RefreshVirtualDrive', VirtualStr: '<map/>' },
      { FuncName: 'GetVirtualDeviceStatus' },
      { FuncName: 'mouseTracks', status: '开始' },
      { FuncName: 'RGBMusicPlay', Event: 'PlayMusic', Url: '/home/u/a.mp3' },
      { FuncName: 'RGBMusicPlay', Event: 'SeekPosition', RefreshPosition: '1234' },
      { FuncName: 'RGBMusicPlay', Event: 'SetPlayerVolume', L: '80', R: '20' },
      { FuncName: 'RGBMusicPlay', Event: 'PauseMusic' },
      { FuncName: 'GetMusicInfo' },
      { FuncName: 'ExecuteUpdateFirmware', Version: 'QZK', FilePath: '/tmp/f.bin' },
    ]);
    expect(c.writes[0]).toMatchObject({ command: 'ExecuteUpdateFirmware', ok: null });
  });

  it.each([
    ['5', { kind: 'progress', value: 5 }],
    ['100', { kind: 'progress', value: 100 }],
    ['-1', { kind: 'failed' }],
    ['/opt/k/update/p.kfa', { kind: 'downloaded', path: '/opt/k/update/p.kfa' }],
    ['', null],
  ])('reads the update state %j', (arg, expected) => expect(updateState([arg])).toEqual(expected));

  it('reads download progress and music frames', () => {
    expect(downState([2000, 500, '/u/p'])).toEqual({ total: 2000, received: 500, path: '/u/p' });
    expect(downState(['x'])).toBeNull();
    const text = 'VisualizeMusice({\n "LeftChannel": [1, 2],\n "RightChannel": [3],\n "CurTime": "03:07",\n "Position": 187000,\n "SeekTime": "0",\n "Rotate": "4"\n})';
    expect(musicFrame([text])).toEqual({ left: [1, 2], right: [3], position: 187000, curTime: '03:07' });
    expect(musicFrame(['VisualizeMusice({oops)'])).toBeNull();
  });
});

describe('event client', () => {
  it('registers once per name and hands each event to every listener', () => {
    const registered: Array<[string, (n: string, a: unknown[]) => unknown]> = [];
    const events = new EventClient((name, fn) => registered.push([name, fn]));
    const got: unknown[] = [];
    events.on('DevicesChanged', (a) => got.push(['one', ...a]));
    const off = events.on('DevicesChanged', (a) => got.push(['two', ...a]));
    registered[0][1]('DevicesChanged', [2]);
    off();
    registered[0][1]('DevicesChanged', [1]);
    expect(registered.map((r) => r[0])).toEqual(['DevicesChanged']);
    expect(got).toEqual([['one', 2], ['two', 2], ['one', 1]]);
  });
});

describe('client update offer', () => {
  it.each([
    ['2.10.0', '2.9.9', 1],
    ['2.0.0', '2.0', 0],
    ['2.0.1', '2.0.0', 1],
    ['1.9', '2.0.0', -1],
    ['2.1.0-rc2', '2.1.0-rc10', -1],
    ['2.1.0', '2.1.0-rc1', 1],
    ['2.1.0-rc1', '2.1.0', -1],
  ])('compares %s with %s', (a, b, sign) => expect(Math.sign(compareVersions(a, b))).toBe(sign));

  it.each([
    ['https://h/k/kestrafon-2.1.0.kfa?x=1', 'kestrafon-2.1.0.kfa'],
    ['https://h/k/a%20b%2F..%2Fc.kfa', 'ab..c.kfa'],
    ['https://h/k/..', 'update.kfa'],
    ['https://h/', 'update.kfa'],
    ['https://h/%E0%A4%A.kfa', 'E0A4A.kfa'],
  ])('names the package of %s', (url, name) => expect(packageName(url)).toBe(name));

  it.each([
    ['https://h/fw/mouse-1.2.bin?x=1', 'mouse-1.2.bin'],
    ['https://h/fw/M_1.BIN', 'M_1.BIN'],
    ['https://h/fw/a%2F..%2Fb.bin', null],
    ['https://h/fw/.bin', null],
    ['https://h/fw/mouse.bin.exe', null],
    ['https://h/%E0%A4%A.bin', null],
  ])('takes the image of %s as %s', (url, name) => expect(imageOffer(url).usable ? imageOffer(url).name : null).toBe(name));

  it.each([
    ['/opt/k/update/mouse-1.2.bin', true],
    ['C:\\k\\update\\mouse-1.2 (2).bin', true],
    ['/opt/k/update/mouse-1.2 (x).bin', false],
    ['/opt/k/update/xmouse-1.2.bin', false],
    ['/opt/k/update/kestrafon-2.1.0.kfa', false],
  ])('%s is the image mouse-1.2.bin: %s', (path, is) => expect(isImage(path, 'mouse-1.2.bin')).toBe(is));
});
