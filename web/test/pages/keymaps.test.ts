// The Key maps screen: each change sends the whole map, the switch sends the empty one, the
// map follows the host profile, and the virtual device's state and every failure show.
// Screenshots in both languages.
import { mkdirSync } from 'node:fs';
import { resolve } from 'node:path';
import { afterAll, describe, expect, it } from 'vitest';
import type { Page } from 'playwright-core';
import { ALL_FILES, close, MOUSE, open, resetRequests, type MockConfig } from './harness';

afterAll(close);

const SHOTS = process.env.KF_SCREENSHOTS ?? resolve(__dirname, '../../../build/screenshots');
mkdirSync(SHOTS, { recursive: true });

async function keymaps(config: MockConfig, locale = 'en-US') {
  const o = await open({ devices: [MOUSE], ...config }, locale);
  await o.page.waitForFunction(() => (window as any).kfApp?.session?.status === 'ready');
  await o.page.click('[data-screen="keymaps"]');
  await o.page.waitForSelector('.keymap-add select option:nth-child(3)', { state: 'attached' });
  await resetRequests(o.page);
  return o;
}

const maps = async (o: { requests: () => Promise<Record<string, string>[]> }) => (await o.requests()).filter((r) => r.FuncName === 'RefreshVirtualDrive').map((r) => r.VirtualStr);

const F2 = '<key name="F2" scancode="60" flag="0" type="Keyboard" playtype="3" playcount="1" playdelay="0"><command value="Ctrl+C"/></key>';
const RIGHT = '<key name="右键" scancode="4" flag="10" type="Text" playtype="1" playcount="3" playdelay="0"><command value="你好 &lt;world&gt;"/></key>';

describe('key maps', () => {
  for (const locale of ['en-US', 'zh-CN'])
    it(`${locale}: a pressed key and a chosen button, removed, then switched off`, async () => {
      const o = await keymaps({}, locale);
      const { page } = o;
      // A key captured by pressing it: a key combination while held.
      await page.click('.keymap-add .capture');
      await page.keyboard.press('F2');
      await page.fill('.keymap-add input.text', 'Ctrl+C');
      await page.selectOption('.keymap-add .inline-form:nth-of-type(3) select', '3');
      await page.click('.keymap-add .btn.primary');
      await page.waitForSelector('[data-trigger="F2"]');
      // A mouse button chosen from the list: a text, three times.
      await page.selectOption('.keymap-add .inline-form select', '4:10');
      await page.selectOption('.keymap-add .inline-form:nth-of-type(2) select', 'Text');
      await page.fill('.keymap-add input.text', '你好 <world>');
      await page.selectOption('.keymap-add .inline-form:nth-of-type(3) select', '1');
      await page.fill('.keymap-add input.count', '3');
      await page.click('.keymap-add .btn.primary');
      await page.waitForSelector('[data-trigger="右键"]');
      await page.waitForSelector('.wstatus.ok');
      await page.screenshot({ path: `${SHOTS}/pages-${locale}-keymaps.png` });
      await page.click('[data-trigger="F2"] .icon-btn');
      await page.waitForFunction(() => !document.querySelector('[data-trigger="F2"]'));
      await page.click('[role="switch"]');
      await page.waitForSelector('[role="switch"][aria-checked="false"]');
      await page.waitForSelector('.wstatus.ok');
      expect(await page.$('.notice.error')).toBeNull(); // the empty map is answered as unreadable, yet cleared
      expect(await maps(o)).toEqual([`<map>${F2}</map>`, `<map>${F2}${RIGHT}</map>`, `<map>${RIGHT}</map>`, '<map/>']);
      await o.context.close();
    });

  it('sends the kept map again when the pages start', async () => {
    const o = await keymaps({});
    await o.page.selectOption('.keymap-add .inline-form select', '4:10');
    await o.page.fill('.keymap-add input.text', 'Alt+Tab');
    await o.page.click('.keymap-add .btn.primary');
    await o.page.waitForSelector('.wstatus.ok');
    await o.page.reload();
    await expect.poll(() => maps(o)).toEqual(['<map><key name="右键" scancode="4" flag="10" type="Keyboard" playtype="1" playcount="1" playdelay="0"><command value="Alt+Tab"/></key></map>']);
    await o.context.close();
  });

  const add = async (page: Page, trigger: string, chord: string) => {
    await page.click('[data-screen="keymaps"]');
    await page.selectOption('.keymap-add .inline-form select', trigger);
    await page.fill('.keymap-add input.text', chord);
    await page.click('.keymap-add .btn.primary');
    await page.waitForSelector('.wstatus.ok');
  };
  const use = async (page: Page, name: string) => {
    await page.click('[data-screen="profiles"]');
    await page.click(`.profile:has-text("${name}") .btn:has-text("Use")`);
    await page.waitForSelector('.sync .btn.primary:not([disabled])');
  };
  const ALT_TAB = '<key name="右键" scancode="4" flag="10" type="Keyboard" playtype="1" playcount="1" playdelay="0"><command value="Alt+Tab"/></key>';
  const F2_COPY = '<key name="F2" scancode="60" flag="0" type="Keyboard" playtype="1" playcount="1" playdelay="0"><command value="Ctrl+C"/></key>';

  it('sends the map of the profile switched to; a new profile from defaults starts empty', async () => {
    const o = await keymaps({});
    const { page } = o;
    await add(page, '4:10', 'Alt+Tab');
    expect(await page.textContent('.keymap-home')).toBe('Saved with the profile "Default" of Mouse QZK-ZMC-V1.1.0.');
    await page.click('[data-screen="profiles"]');
    for (const [name, from] of [['Second', 0], ['Blank', 1]] as const) {
      await page.click('.btn:has-text("New profile")');
      await page.fill('.new-profile input.text', name);
      await page.check(`.new-profile input[type="radio"] >> nth=${from}`);
      await page.click('.new-profile .btn.primary');
      await page.waitForSelector(`.profile:has-text("${name}")`);
    }
    await use(page, 'Second'); // a copy: the same map, nothing to send
    await add(page, '60:0', 'Ctrl+C');
    await use(page, 'Default');
    await use(page, 'Blank');
    await page.click('[data-screen="keymaps"]');
    await page.waitForSelector('.keymap-empty');
    expect(await maps(o)).toEqual([`<map>${ALT_TAB}</map>`, `<map>${ALT_TAB}${F2_COPY}</map>`, `<map>${ALT_TAB}</map>`, '<map/>']);
    await o.context.close();
  });

  it('an older profile without a key map takes on the one in use, and its export carries it', async () => {
    const path = '/home/u/old.pfd';
    const o = await keymaps({ dialogPath: path, files: { ...ALL_FILES, ['file:' + path]: ALL_FILES.MA1 } });
    const { page } = o;
    await add(page, '4:10', 'Alt+Tab');
    await page.click('[data-screen="profiles"]');
    await page.click('.btn:has-text("Import")');
    await use(page, 'old');
    await page.click('.btn:has-text("Export")');
    const exported = async () => (await o.requests()).find((r) => r.FuncName === 'ModifyFileFromStr' && r.FilePath === path)?.ContentStr ?? '';
    await expect.poll(exported).toContain(
      '<softkeymap enabled="1"><entry name="右键" scancode="4" flag="10" vk="0" type="Keyboard" command="Alt+Tab" label="Alt+Tab" playtype="1" playcount="1"/></softkeymap>',
    );
    await page.click('[data-screen="keymaps"]');
    await page.waitForSelector('[data-trigger="右键"]');
    expect(await maps(o)).toEqual([`<map>${ALT_TAB}</map>`]);
    await o.context.close();
  });

  it('a profile file from elsewhere brings its key map switched off', async () => {
    const path = '/home/u/theirs.pfd';
    const theirs = ALL_FILES.MA1.replace('</configuration>', '<softkeymap enabled="1"><entry name="F2" scancode="60" flag="0" type="Shortcut" command="/tmp/x.sh"/></softkeymap></configuration>');
    const o = await keymaps({ dialogPath: path, files: { ...ALL_FILES, ['file:' + path]: theirs } });
    const { page } = o;
    await add(page, '4:10', 'Alt+Tab');
    await page.click('[data-screen="profiles"]');
    await page.click('.btn:has-text("Import")');
    await page.waitForSelector('.notice:has-text("key map stays off")');
    await use(page, 'theirs');
    await page.click('[data-screen="keymaps"]');
    await page.waitForSelector('[data-trigger="F2"]');
    expect(await page.getAttribute('[role="switch"]', 'aria-checked')).toBe('false');
    expect(await maps(o)).toEqual([`<map>${ALT_TAB}</map>`, '<map/>']); // nothing of theirs plays
    await o.context.close();
  });

  // [case, mock config, what shows]
  it.each([
    ['no virtual device', { virtualStatus: 'failed' }, '.banner.warn:has-text("udev rules")'],
    ['no capture', { captureStatus: 'failed: the input devices cannot be opened (Permission denied)' }, '.keymap-capture:has-text("cannot be opened (Permission denied). Install the udev rules")'],
    ['a refused map', { rules: [{ match: { FuncName: 'RefreshVirtualDrive' }, answer: [false, 'RefreshVirtualDrive failed!'] }] }, '.notice.error:has-text("RefreshVirtualDrive failed!")'],
    ['nothing to play', {}, '.field-error:has-text("Fill in what it plays")'],
  ] as const)('%s', async (name, config, selector) => {
    const o = await keymaps(config as MockConfig);
    if (!name.startsWith('no ')) {
      await o.page.selectOption('.keymap-add .inline-form select', '4:10');
      if (name === 'a refused map') await o.page.fill('.keymap-add input.text', 'Alt+Tab');
      await o.page.click('.keymap-add .btn.primary');
    }
    await o.page.waitForSelector(selector);
    if (name.startsWith('no ')) await o.page.screenshot({ path: `${SHOTS}/pages-en-US-keymaps-${name.replace(/ /g, '-')}.png` });
    if (name.startsWith('no ')) {
      const zh = await keymaps(config as MockConfig, 'zh-CN');
      await zh.page.waitForSelector('.banner.warn:has-text("udev")');
      await zh.page.screenshot({ path: `${SHOTS}/pages-zh-CN-keymaps-${name.replace(/ /g, '-')}.png` });
      await zh.context.close();
    }
    expect((await maps(o)).length).toBe(name === 'a refused map' ? 1 : 0);
    await o.context.close();
  });
});

describe('mouse tracks', () => {
  for (const locale of ['en-US', 'zh-CN'])
  it(`${locale}: records clicks since its start and adds them to a macro as moves and clicks`, async () => {
    const o = await keymaps({}, locale);
    const { page } = o;
    await page.click('[data-screen="macros"]');
    await page.click('.screen-head .btn.primary'); // a new macro
    await page.click('.tracks .btn');
    await page.waitForSelector('.tracks .btn[aria-pressed="true"]');
    await page.waitForTimeout(700);
    // The client's record holds a click from before this start too: it is left out.
    await page.evaluate(() => {
      const d = new Date();
      const now = ((d.getHours() * 60 + d.getMinutes()) * 60 + d.getSeconds()) * 1000 + d.getMilliseconds();
      (window as any).__mock.track = `x:5,y:5Time:${now - 60000};x:100,y:200Time:${now - 600};x:300,y:400Time:${now - 100};`;
    });
    await page.click('.tracks .btn');
    await page.waitForSelector('.track-map[data-count="2"]');
    await page.screenshot({ path: `${SHOTS}/pages-${locale}-mouse-tracks.png` });
    await page.click('.tracks .btn.ghost'); // add as steps
    await page.selectOption('.write-bar select', '13');
    await page.click('.write-bar .btn.primary');
    await expect.poll(async () => (await o.writes()).map((w) => w.Task)).toEqual(['绝对定位XY(100,200)鼠标按下(左键)鼠标弹起(左键)延迟(500)绝对定位XY(300,400)鼠标按下(左键)鼠标弹起(左键)']);
    expect((await o.requests()).filter((r) => r.FuncName === 'mouseTracks').map((r) => r.status)).toEqual(['开始', '停止']);
    await o.context.close();
  });
});
