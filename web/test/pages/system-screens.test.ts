// The Updates and Music screens: each flow sends exactly the expected requests and shows every
// event and failure. Each state is saved as a screenshot in both languages under
// build/screenshots/ (KF_SCREENSHOTS for another folder).
import { mkdirSync } from 'node:fs';
import { resolve } from 'node:path';
import type { Page } from 'playwright-core';
import { afterAll, describe, expect, it } from 'vitest';
import { close, MOUSE, open, resetRequests, type MockConfig } from './harness';

afterAll(close);

const SHOTS = process.env.KF_SCREENSHOTS ?? resolve(__dirname, '../../../build/screenshots');
mkdirSync(SHOTS, { recursive: true });
const shot = (p: Page, name: string) => p.screenshot({ path: `${SHOTS}/pages-${name}.png` });

const LISTS = ['GetDevicesList', 'GetLocalConf', 'GetClientUpdate'];
const sent = async (o: { requests: () => Promise<Record<string, string>[]> }) => (await o.requests()).filter((r) => !LISTS.includes(r.FuncName));
const emit = (p: Page, name: string, args: unknown[]) => p.evaluate(([n, a]) => (window as any).__mock.emit(n, a), [name, args] as const);

async function screen(id: string, config: MockConfig, locale: string) {
  const o = await open({ devices: [MOUSE], ...config }, locale);
  await o.page.waitForFunction(() => (window as any).kfApp?.session?.status === 'ready');
  await o.page.click(`[data-screen="${id}"]`);
  await resetRequests(o.page);
  return o;
}

const NEW = { ...MOUSE, Version: 'QZK-ZMC-V1.2.0' };

describe('client update', () => {
  const PKG = 'http://127.0.0.1:9/kestrafon-2.1.0.kfa';
  const offer = (manifest: object, status = 'ok', reason = '') =>
    [true, JSON.stringify({ Version: '2.0.0', UpdateUrl: 'http://127.0.0.1:9/m.json', Status: status, Reason: reason, Manifest: manifest })] as [boolean, string];
  const GOOD = { version: '2.1.0', package: PKG, size: 3 * 1024 * 1024, notes: 'Faster start\nNew key maps', firmware: {} };
  const rule = (answer: [boolean, string]) => ({ rules: [{ match: { FuncName: 'GetClientUpdate' }, answer }] });
  async function clientCard(answer: [boolean, string] | null, locale: string) {
    const o = await screen('updates', answer ? rule(answer) : {}, locale);
    await o.page.waitForSelector('.client-update[data-phase="ready"]');
    return o;
  }

  // [case, answer, text shown, update offered]
  const CASES: [string, [boolean, string] | null, RegExp, boolean][] = [
    ['offer', offer(GOOD), /2\.0\.0.*2\.1\.0 \(3\.0 MB\).*(Version 2\.1\.0 is available|有新版本).*Faster start/s, true],
    ['latest', offer({ ...GOOD, version: '2.0.0' }), /latest version|已是最新版本/, false],
    ['no-url', null, /UpdateUrl/, false],
    ['network', offer({}, 'network', 'Connection refused'), /Connection refused/, false],
    ['invalid', offer({}, 'invalid', '"size" is missing'), /"size" is missing/, false],
    ['bad-package', offer({ ...GOOD, package: 'file:///etc/passwd' }), /did not give a usable|没有给出可用/, false],
    ['no-answer', [false, 'unknown'], /did not answer|没有回应/, false],
  ];
  for (const locale of ['en-US', 'zh-CN'])
    it.each(CASES)(`${locale}: %s`, async (name, answer, text, offered) => {
      const o = await clientCard(answer, locale);
      expect(await o.page.textContent('.client-update')).toMatch(text);
      expect(!!(await o.page.$('.client-update .btn.primary'))).toBe(offered);
      expect(await o.page.textContent('.update-list')).toContain(locale === 'en-US' ? 'Installed firmware' : '当前固件'); // nothing else breaks
      await shot(o.page, `${locale}-client-${name}`);
      await o.context.close();
    });

  // [case, update states after the download, phase, text]
  const FLOWS: [string, string[], string, RegExp][] = [
    ['restart', ['60'], 'restarting', /restart now|立即重启/],
    ['refused', ['-1'], 'failed', /not accepted|未被接受/],
  ];
  for (const locale of ['en-US', 'zh-CN'])
    it.each(FLOWS)(`${locale}: download then %s`, async (name, states, phase, text) => {
      const o = await clientCard(offer(GOOD), locale);
      const { page } = o;
      await resetRequests(page);
      await page.focus('.client-update .btn.primary');
      await page.keyboard.press('Enter');
      await page.waitForSelector('.client-update[data-phase="downloading"]');
      await emit(page, 'RefreshDownState', [GOOD.size, GOOD.size / 4, '/opt/kestrafon/update/kestrafon-2.1.0.kfa']);
      await page.waitForSelector('[role="progressbar"][aria-valuenow="25"]');
      expect(await page.isDisabled('.update-device .btn')).toBe(true); // no flash while the client updates
      expect(await page.textContent('.client-update .update-bar-text')).toMatch(/768\.0 KB.*3\.0 MB/);
      if (name === 'restart') await shot(page, `${locale}-client-downloading`);
      await emit(page, 'RefreshDownState', [100, 100, '/opt/kestrafon/update/kestrafon-2.1.0.kfa']);
      await emit(page, 'RefreshUpdateState', ['/opt/kestrafon/update/kestrafon-2.1.0.kfa']);
      await page.waitForSelector('.client-update[data-phase="installing"] [role="progressbar"][aria-valuenow="100"]');
      for (const s of states) await emit(page, 'RefreshUpdateState', [s]);
      await page.waitForSelector(`.client-update[data-phase="${phase}"]`);
      expect(await page.textContent('.client-update')).toMatch(text);
      expect(await page.$('.update-job')).toBeNull(); // the firmware part took none of it
      await shot(page, `${locale}-client-${name}`);
      expect(await o.requests()).toEqual([
        { FuncName: 'DownloadFile', downloadUrl: PKG, relativePath: 'kestrafon-2.1.0.kfa' },
        { FuncName: 'ExecuteUpdateClient', FilePath: '/opt/kestrafon/update/kestrafon-2.1.0.kfa' },
      ]);
      await o.context.close();
    });
});

describe('firmware update', () => {
  // [case, update states sent, status shown, text shown]
  const CASES: [string, string[], string, RegExp][] = [
    ['done', ['5', '40', '100'], 'done', /QZK-ZMC-V1\.2\.0 · 01.*QZK-ZMC-V1\.1\.0 · 01/],
    ['failed-early', ['5', '-1'], 'failed', /did not start|没有开始/],
    ['failed-late', ['5', '40', '-1'], 'failed', /40%/],
  ];
  for (const locale of ['en-US', 'zh-CN'])
    it.each(CASES)(`${locale}: %s`, async (name, states, status, text) => {
      const o = await screen('updates', { dialogPath: '/home/u/fw.bin' }, locale);
      const { page } = o;
      await page.click('.update-device .btn');
      await page.waitForSelector('.dialog .banner.warn');
      if (name === 'done') await shot(page, `${locale}-updates-confirm`);
      await page.click('.dialog .btn.primary');
      await emit(page, 'RefreshUpdateState', [states[0]]);
      await page.waitForSelector('[role="progressbar"][aria-valuenow="5"]');
      expect(await page.isDisabled('.update-device .btn')).toBe(true); // one update at a time
      if (name === 'done') await shot(page, `${locale}-updates-running`);
      if (name === 'done') await page.evaluate((d) => ((window as any).__mock.devices = [d]), NEW);
      for (const s of states.slice(1)) await emit(page, 'RefreshUpdateState', [s]);
      await page.waitForSelector(`.update-job[data-status="${status}"]`);
      await page.waitForFunction((re) => new RegExp(re).test(document.querySelector('.update-result')?.textContent ?? ''), text.source);
      await shot(page, `${locale}-updates-${name}`);
      expect(await page.$$('.notice')).toHaveLength(0); // new firmware is not an unplugged device
      expect(await sent(o)).toEqual([{ FuncName: 'OpenFileDialog' }, { FuncName: 'ExecuteUpdateFirmware', Version: MOUSE.Version, FilePath: '/home/u/fw.bin' }]);
      await o.context.close();
    });

  // [dialog answer, error shown]
  it.each([
    ['/home/u/song.mp3', 'Not a firmware image: /home/u/song.mp3'],
    [undefined, null],
  ])('a chosen file %s is not sent', async (dialogPath, error) => {
    const o = await screen('updates', { dialogPath }, 'en-US');
    await o.page.focus('.update-device .btn');
    await o.page.keyboard.press('Enter');
    await expect.poll(async () => (await sent(o)).length).toBe(1);
    expect(await o.page.textContent('.update-device')).toContain(error ?? 'Installed firmware');
    expect(await o.page.$('.dialog')).toBeNull();
    await o.context.close();
  });
});

describe('offered firmware image', () => {
  const IMAGE = 'http://127.0.0.1:9/fw/mouse-1.2.bin';
  const AT = '/opt/kestrafon/update/mouse-1.2.bin';
  const PKG_AT = '/opt/kestrafon/update/kestrafon-2.1.0.kfa';
  const offering = (image: string) => ({
    rules: [{ match: { FuncName: 'GetClientUpdate' }, answer: [true, JSON.stringify({ Version: '2.0.0', UpdateUrl: 'http://127.0.0.1:9/m.json', Status: 'ok', Manifest: { version: '2.1.0', package: 'http://127.0.0.1:9/kestrafon-2.1.0.kfa', size: 4096, firmware: { 'QZK-ZMC': image } } })] as [boolean, string] }],
  });
  const row = '.update-device[data-device="QZK-ZMC-V1.1.0"]';

  for (const locale of ['en-US', 'zh-CN'])
    it(`${locale}: downloads with progress, confirms and updates with the downloaded file`, async () => {
      const o = await screen('updates', offering(IMAGE), locale);
      const { page } = o;
      await page.waitForSelector(`${row}[data-offer="offered"]`);
      expect(await page.textContent(row)).toContain('mouse-1.2.bin');
      await shot(page, `${locale}-updates-offered`);
      await page.focus(`${row} .offer-download`);
      await page.keyboard.press('Enter');
      await emit(page, 'RefreshDownState', [4096, 1024, AT]);
      await page.waitForSelector(`${row} [role="progressbar"][aria-valuenow="25"]`);
      expect(await page.textContent(`${row} .update-bar-text`)).toMatch(/1\.0 KB.*4\.0 KB/);
      for (const b of [`${row} .offer-download`, `${row} .choose-image`, '.client-update .btn.primary']) expect(await page.isDisabled(b)).toBe(true); // one download at a time
      await shot(page, `${locale}-updates-offer-downloading`);
      await emit(page, 'RefreshUpdateState', [PKG_AT]); // the client package's file is not the image
      await emit(page, 'RefreshDownState', [100, 100, AT]);
      await emit(page, 'RefreshUpdateState', [AT]);
      await page.waitForSelector('.dialog .banner.warn');
      expect(await page.textContent('.dialog .path')).toBe(AT);
      await page.click('.dialog .btn.primary');
      await emit(page, 'RefreshUpdateState', ['5']);
      await page.waitForSelector('.update-job [role="progressbar"][aria-valuenow="5"]');
      expect(await sent(o)).toEqual([
        { FuncName: 'DownloadFile', downloadUrl: IMAGE, relativePath: 'mouse-1.2.bin' },
        { FuncName: 'ExecuteUpdateFirmware', Version: MOUSE.Version, FilePath: AT },
      ]);
      expect(await page.getAttribute('.client-update', 'data-phase')).toBe('ready'); // the client card took none of it
      await o.context.close();
    });

  it('a stalled download says so with a retry, and its late file never passes for the client package', async () => {
    const o = await screen('updates', offering(IMAGE), 'en-US');
    const { page } = o;
    await page.clock.install();
    await page.click(`${row} .offer-download`);
    await emit(page, 'RefreshDownState', [4096, 1024, AT]);
    await page.clock.runFor(30001);
    await page.waitForSelector(`${row}[data-offer="stalled"] [role="alert"]:has-text("The download stopped")`);
    expect(await page.textContent(`${row} .offer-download`)).toBe('Retry');
    await shot(page, 'en-US-updates-offer-stalled');
    await page.click('.client-update .btn.primary');
    await emit(page, 'RefreshDownState', [100, 100, AT]);
    await emit(page, 'RefreshUpdateState', [AT]);
    await emit(page, 'RefreshDownState', [4096, 2048, PKG_AT]);
    await page.waitForSelector('.client-update[data-phase="downloading"] [role="progressbar"][aria-valuenow="50"]');
    expect(await page.$('.dialog')).toBeNull();
    expect((await sent(o)).map((r) => r.FuncName)).toEqual(['DownloadFile', 'DownloadFile']);
    await o.context.close();
  });

  it.each(['http://127.0.0.1:9/fw/mouse%201.2.bin', 'http://127.0.0.1:9/fw/mouse.zip', 'http://127.0.0.1:9/fw/'])('an image named by %s is not offered for download', async (image) => {
    const o = await screen('updates', offering(image), 'en-US');
    await o.page.waitForSelector(`${row}[data-offer="unusable"]`);
    expect(await o.page.textContent(row)).toContain('This offer cannot be used');
    expect(await o.page.$(`${row} .offer-download`)).toBeNull();
    expect(await sent(o)).toEqual([]);
    if (image.includes('%20')) await shot(o.page, 'en-US-updates-offer-unusable');
    await o.context.close();
  });

  it('zh-CN: the unusable and the stalled offer', async () => {
    const bad = await screen('updates', offering('http://127.0.0.1:9/fw/mouse%201.2.bin'), 'zh-CN');
    await bad.page.waitForSelector(`${row}[data-offer="unusable"]`);
    await shot(bad.page, 'zh-CN-updates-offer-unusable');
    await bad.context.close();
    const o = await screen('updates', offering(IMAGE), 'zh-CN');
    await o.page.clock.install();
    await o.page.click(`${row} .offer-download`);
    await emit(o.page, 'RefreshDownState', [4096, 1024, AT]);
    await o.page.clock.runFor(30001);
    await o.page.waitForSelector(`${row}[data-offer="stalled"] [role="alert"]`);
    await shot(o.page, 'zh-CN-updates-offer-stalled');
    await o.context.close();
  });
});

const INFO = JSON.stringify({ Title: 'Night Drive', Artist: 'Mira', Album: 'Roads', Year: '', LeftVolume: '90', RightVolume: '90', Time: '03:07' }, null, 4);
const FRAME = (ms: number) =>
  `VisualizeMusice(${JSON.stringify({ LeftChannel: Array.from({ length: 257 }, (_, i) => (i * 7) % 100), RightChannel: Array(257).fill(30), CurTime: '00:05', Position: ms, SeekTime: '187000', Rotate: '3' }, null, 4)})`;

describe('music', () => {
  for (const locale of ['en-US', 'zh-CN'])
    it(`${locale}: plays, pauses, resumes, seeks and sets the volume, drawing each frame`, async () => {
      const o = await screen('music', { dialogPath: '/home/u/night.mp3', rules: [{ match: { FuncName: 'GetMusicInfo' }, answer: [true, INFO] }] }, locale);
      const { page } = o;
      await shot(page, `${locale}-music-empty`);
      await page.click('.screen-head .btn.primary');
      await page.waitForSelector('.music-tags:has-text("Night Drive")');
      expect(await page.textContent('.music-tags')).toContain('03:07');
      await emit(page, 'OnRGBMusicData', [FRAME(5000)]);
      await page.waitForFunction(() => document.querySelector('.timeline .clock')?.textContent === '00:05');
      expect(await page.evaluate(() => (window as any).kfApp.music.drawStats.frames)).toBe(1);
      await shot(page, `${locale}-music-playing`);
      await page.click('.btn.round'); // pause
      await page.waitForSelector('.btn.round[aria-label="Resume"], .btn.round[aria-label="继续"]');
      await page.click('.btn.round'); // resume
      await page.waitForSelector('.btn.round[aria-label="Pause"], .btn.round[aria-label="暂停"]');
      await page.focus('.timeline input');
      await page.keyboard.press('ArrowRight');
      await page.focus('.music-volume input[type="range"]');
      await page.keyboard.press('ArrowLeft');
      const music = (r: Record<string, string>) => ({ ...r, FuncName: undefined });
      await expect.poll(async () => (await sent(o)).map(music)).toEqual([
        {},
        { Event: 'PlayMusic', Url: '/home/u/night.mp3' },
        {},
        { Event: 'PauseMusic' },
        { Event: 'ResumeMusic' },
        { Event: 'SeekPosition', RefreshPosition: '6000' },
        { Event: 'SetPlayerVolume', L: '79', R: '80' }, // resume fades both sides in to 80
      ]);
      expect((await sent(o)).map((r) => r.FuncName)).toEqual(['OpenFileDialog', 'RGBMusicPlay', 'GetMusicInfo', 'RGBMusicPlay', 'RGBMusicPlay', 'RGBMusicPlay', 'RGBMusicPlay']);
      await o.context.close();
    });

  it('lights the devices from the bass, one write at a time, and gives each its brightness back', async () => {
    const o = await screen('music', { dialogPath: '/home/u/night.mp3', rules: [{ match: { FuncName: 'GetMusicInfo' }, answer: [true, INFO] }, { match: { FuncName: 'WriteDeviceMultimedia' }, answer: 'hold' }] }, 'en-US');
    const { page } = o;
    await page.click('.screen-head .btn.primary');
    await page.waitForSelector('.music');
    await page.click('.music [role="switch"]');
    const bass = (v: number) => FRAME(5000).replace(/"LeftChannel": \[[^\]]*\]/, `"LeftChannel": [0, ${Array(256).fill(v).join(', ')}]`);
    await emit(page, 'OnRGBMusicData', [bass(42)]); // level 1 + 0.42 × 4 = 3, held unanswered
    await emit(page, 'OnRGBMusicData', [bass(100)]); // dropped: the last write is not answered yet
    await page.evaluate(() => (window as any).__mock.release());
    await emit(page, 'OnRGBMusicData', [bass(42)]); // unchanged: nothing sent
    await emit(page, 'OnRGBMusicData', [bass(100)]);
    await page.evaluate(() => new Promise((r) => setTimeout(r, 50)).then(() => (window as any).__mock.release()));
    await page.click('.music [role="switch"]');
    await page.evaluate(() => new Promise((r) => setTimeout(r, 50)).then(() => (window as any).__mock.release()));
    const own = await page.evaluate(() => {
      const s = (window as any).kfApp.session;
      return Number(s.profile.value(`LightBrightness${s.profile.lightSets(s.mode)[0]}`, s.mode));
    });
    await expect.poll(async () => (await o.writes()).map((w) => w.DrviceDataCode)).toEqual(['0x03', '0x05', `0x0${own}`]);
    await o.context.close();
  });

  // [case, rules, what shows]
  const EMPTY_INFO = JSON.stringify({ Title: '', Artist: '', Album: '', LeftVolume: '100', RightVolume: '100', Time: '00:00' });
  it.each([
    ['unreadable', [{ match: { FuncName: 'GetMusicInfo' }, answer: [true, EMPTY_INFO] }], '.banner.error'],
    ['no play answer', [{ match: { FuncName: 'RGBMusicPlay' }, answer: 'none' }], '.notice.error'],
    ['no information', [{ match: { FuncName: 'GetMusicInfo' }, answer: 'none' }], '.notice.error'],
  ] as const)('%s', async (name, rules, selector) => {
    for (const locale of name === 'unreadable' ? ['en-US', 'zh-CN'] : ['en-US']) {
      const o = await screen('music', { dialogPath: '/home/u/notes.txt', rules: rules as unknown as MockConfig['rules'] }, locale);
      await o.page.click('.screen-head .btn.primary');
      await o.page.waitForSelector(selector, { timeout: 12000 });
      if (locale === 'en-US') expect(await o.page.textContent(selector)).toMatch(/could not be played: notes\.txt|did not answer/);
      expect(await o.page.$('.music')).toBeNull();
      if (name === 'unreadable') await shot(o.page, `${locale}-music-unreadable`);
      await o.context.close();
    }
  });
});
