// Page tests: the built pages in Debian's Chromium (headless, driven by playwright-core) with
// the mock bridge in place of the client. One browser per test file, a fresh page per test.
import { readFileSync } from 'node:fs';
import { join, resolve } from 'node:path';
import { chromium, type Browser, type BrowserContext, type Page } from 'playwright-core';

const ROOT = resolve(__dirname, '../..');
const DRIVE = resolve(ROOT, '../resources/drive');
const PAGE = resolve(process.env.KF_WEB_OUT ?? join(ROOT, 'dist/black'), 'client.html');
export const URL = 'http://kestrafon.test/local/black/client.html';

export const CHROMIUM = process.env.KF_CHROMIUM ?? '/usr/bin/chromium';
export const CHROMIUM_ARGS = [
  '--headless',
  '--no-sandbox',
  '--disable-gpu',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
  '--no-first-run',
];

export function driveFiles(names: string[]): Record<string, string> {
  return Object.fromEntries(names.map((n) => [n, readFileSync(join(DRIVE, n), 'utf8')]));
}

export const ALL_FILES = driveFiles(['MA1', 'MA2', 'MG1', 'MG1En', 'MG3En', 'KB1', 'D2.0', 'Default', 'DefaultEn', 'Virtual']);

export const MOUSE = {
  DevicePath: 'kestrafon-sim:mouse/vid_258a&pid_001a&mi_01&col02',
  Sn: 'KFM0000000001',
  Version: 'QZK-ZMC-V1.1.0',
  LastVersionNum: '01',
  QZVersion: 'QZK',
};
export const KEYBOARD = {
  DevicePath: 'kestrafon-sim:keyboard/vid_258a&pid_001a&mi_01&col02',
  Sn: 'KFK0000000001',
  Version: 'QZK-ZKC-V1.1.0',
  LastVersionNum: '01',
  QZVersion: 'QZK',
};

export interface MockConfig {
  devices?: object[];
  files?: Record<string, string>;
  rules?: { match: Record<string, string>; answer: [boolean, string] | 'none' | 'hold' }[];
  dialogPath?: string;
  virtualStatus?: string;
  libraryStatus?: string;
  captureStatus?: string;
  delay?: number;
}

let browser: Browser | null = null;

// playwright-core starts the browser with a fresh temporary user-data-dir of its own and never
// downloads one: the executable is Debian's.
export async function launch(): Promise<Browser> {
  if (!browser) browser = await chromium.launch({ executablePath: CHROMIUM, args: CHROMIUM_ARGS, headless: true });
  return browser;
}

export async function close(): Promise<void> {
  await browser?.close();
  browser = null;
}

export interface Opened {
  page: Page;
  context: BrowserContext;
  requests: () => Promise<Record<string, string>[]>;
  writes: () => Promise<Record<string, string>[]>;
}

const DEVICE_WRITES = ['CustomButton', 'WriteDeviceMultimedia', 'WriteDeviceSn', 'NotifyRGBDevice', 'RestDevice'];

// Opens the pages with the mock in place; `locale` sets the browser's language.
export async function open(config: MockConfig, locale = 'en-US'): Promise<Opened> {
  const b = await launch();
  const context = await b.newContext({ locale, viewport: { width: 1160, height: 720 } });
  const html = readFileSync(PAGE, 'utf8');
  await context.route('http://kestrafon.test/**', (route) => route.fulfill({ status: 200, contentType: 'text/html', body: html }));
  await context.addInitScript({ content: `window.__mockConfig = ${JSON.stringify({ files: ALL_FILES, ...config })};` });
  await context.addInitScript({ path: resolve(__dirname, 'mock-bridge.js') });
  const page = await context.newPage();
  const errors: string[] = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  await page.goto(URL);
  const requests = () => page.evaluate(() => (window as unknown as { __mock: { requests: Record<string, string>[] } }).__mock.requests);
  const writes = async () => (await requests()).filter((r) => DEVICE_WRITES.includes(r.FuncName));
  return { page, context, requests, writes };
}

// Clears the recorded requests, so a test checks only what its flow sent.
export async function resetRequests(page: Page): Promise<void> {
  await page.evaluate(() => {
    (window as unknown as { __mock: { requests: unknown[] } }).__mock.requests.length = 0;
  });
}
