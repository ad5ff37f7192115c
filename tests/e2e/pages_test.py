#!/usr/bin/env python3
"""The configuration pages in the real client: started from build/app under a virtual X server
with the emulated devices, in the language given (en or zh). A person's clicks (xdotool) assign
a button, change DPI stages, set a light colour and colour keys; the emulator's journal must then
hold exactly the bytes for them. Every screen is saved as a screenshot for people to look at.

usage: pages_test.py APP_DIR SHOTS_DIR en|zh"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(__file__))
from e2e_support import Checks, client_env, free_port, private_app  # noqa: E402
from e2e_support import read_text, start_client, stop_client, wait_for, xdotool  # noqa: E402
from page_probe import PageProbe  # noqa: E402

APP_DIR, SHOTS, LANG = sys.argv[1], sys.argv[2], sys.argv[3]
check = Checks()


class Client:
    def __init__(self, tmp):
        self.tmp = tmp
        self.port = free_port()
        self.log_path = os.path.join(tmp, 'kestrafon.log')
        self.env = client_env(tmp, LANG='en_US.UTF-8' if LANG == 'en' else 'zh_CN.UTF-8', LANGUAGE='', LC_ALL='',
                              LC_MESSAGES='', QTWEBENGINE_REMOTE_DEBUGGING=f'127.0.0.1:{self.port}')
        subprocess.run([os.path.join(APP_DIR, 'kestrafon-sim'), 'reset'], env=self.env, capture_output=True)
        self.proc = start_client(private_app(APP_DIR, tmp), self.log_path, self.env)
        self.window = None
        self.probe = None

    def log(self):
        return read_text(self.log_path)

    def journal(self):
        try:
            with open(os.path.join(self.tmp, 'sim', 'journal.jsonl'), encoding='utf-8') as f:
                return [json.loads(line) for line in f if line.strip()]
        except OSError:
            return []

    def start(self):
        if not check(wait_for(lambda: 'pages: interactive' in self.log(), 30), 'the pages become interactive'):
            return False
        self.window = (wait_for(lambda: xdotool('search', '--onlyvisible', '--name', 'Vorkanta')) or '').split('\n')[0]
        self.probe = wait_for(lambda: PageProbe.connect(self.port), 10)
        return check(self.window and self.probe, 'the window and its page are there')

    def click(self, selector, text=''):
        at = wait_for(lambda: self.probe.centre(selector, text), 10)
        if not check(at, f'{selector} {text} is on the page'):
            return
        xdotool('mousemove', '--window', self.window, str(at[0]), str(at[1]), 'click', '1')

    def wait(self, script, what, timeout=10):
        return check(wait_for(lambda: self.probe.eval(script), timeout), what)

    def press(self, keys, script, what):
        """Presses `keys` in the window until `script` holds: an X server without a window manager
        may hand the first key event to no window while the focus settles."""
        for _ in range(3):
            xdotool('windowfocus', self.window)
            xdotool('key', '--window', self.window, keys)
            if wait_for(lambda: self.probe.eval(script), 3):
                return True
        return check(False, what)

    def shot(self, name):
        time.sleep(0.25)  # let transitions settle
        self.probe.screenshot(os.path.join(SHOTS, f'{LANG}-{name}.png'))

    def stop(self):
        if self.probe:
            self.probe.close()
        stop_client(self.proc)


def writes(journal, function, **match):
    return [e['args'] for e in journal if e['function'] == function and all(e['args'].get(k) == v for k, v in match.items())]


def device_flows(c):
    """Assign a button, change DPI stages, set a light colour and colour keys."""
    t = json.loads(c.probe.eval('JSON.stringify({dpiUp: "' + ('DPI up' if LANG == 'en' else 'DPI 增加') + '"})'))
    c.click('[data-screen="mouse"]')
    c.click('[data-button="12"]')
    c.click('.chip', t['dpiUp'])
    c.click('.dialog .btn.primary')
    c.wait('!!document.querySelector(".wstatus.ok")', 'the button write is shown as written')
    c.click('[role="tab"]', 'DPI')
    for stage in (1, 3, 0, 4, 1, 3, 0, 4, 2):  # ends on stage 3; each click is timed in the log
        c.click(f'[data-stage="{stage}"] .stage-pick')
        c.wait(f'document.querySelector("[data-stage=\\"{stage}\\"] .stage-pick").getAttribute("aria-checked") === "true"'
               ' && !document.querySelector(".wstatus.pending")', f'stage {stage + 1} is shown as current once written')
    c.wait('document.querySelector("[data-stage=\\"2\\"] .stage-pick").getAttribute("aria-checked") === "true"',
           'stage 3 is the current stage once written')
    c.click('[role="tab"]', 'Lighting' if LANG == 'en' else '灯光')
    c.click('.swatch-btn[aria-label="#FF0000"]')
    c.wait('!!document.querySelector(".wstatus.ok")', 'the colour is shown as written')
    c.probe.eval('window.kfApp.select("QZK-ZKC-V1.1.0")')
    c.click('[data-screen="keyboard"]')
    c.click('.swatch-btn[aria-label="#3BE05A"]')
    c.click('[data-key="ESC"]')
    c.wait('!!document.querySelector(".wstatus.ok")', 'the key colours are shown as written')
    time.sleep(0.3)

    j = c.journal()
    check(writes(j, 'dcWriteProperty', index=12, data='010000000000000000000001210000', count=15),
          'the mouse got "DPI up" on its right button (15 bytes at parameter 12)')
    check(writes(j, 'dcWriteProperty', index=42, data='02', count=1), 'the mouse got DPI stage 3 as current (parameter 42)')
    check(writes(j, 'dcWriteProperty', index=57, data='ff0000', count=3), 'the mouse got red for light 1 (parameter 57)')
    frames = [a['data'] for a in writes(j, 'dcNotifyRGBDevice')]
    check(frames and frames[-1].startswith('0502bbaa0700f801' + '3be05a' + '000000'),
          'the keyboard got a colour frame with Esc green (3BE05A)')
    shown = [int(line.split(' shown after ')[1].split(' ms')[0]) for line in c.log().splitlines()
             if 'write QZK-ZMC-V1.1.0:1:CurDpi: ok' in line and ' shown after ' in line]
    if shown:
        print(f'DPI stage click to answer shown: median {sorted(shown)[len(shown) // 2]} ms over {len(shown)} clicks '
              f'(min {min(shown)}, max {max(shown)})')


def screenshots(c):
    os.makedirs(SHOTS, exist_ok=True)
    c.probe.eval('window.kfApp.select("QZK-ZMC-V1.1.0")')
    c.click('[data-screen="devices"]')
    c.shot('devices')
    c.click('[data-screen="mouse"]')
    for i in range(4):
        c.probe.eval(f'document.querySelectorAll(".tabs [role=tab]")[{i}].click()')
        c.shot(f'mouse-{["buttons", "dpi", "lighting", "performance"][i]}')
    c.probe.eval('document.querySelectorAll(".tabs [role=tab]")[0].click()')
    c.click('[data-button="11"]')
    c.shot('assign')
    c.probe.eval('document.querySelectorAll(".vtabs [role=tab]")[1].click()')
    c.shot('assign-keys')
    c.press('Escape', '!document.querySelector(".dialog")', 'Escape closes the assignment dialog')
    c.probe.eval('window.kfApp.select("QZK-ZKC-V1.1.0")')
    c.click('[data-screen="keyboard"]')
    for i in range(3):
        c.probe.eval(f'document.querySelectorAll(".tabs [role=tab]")[{i}].click()')
        c.shot(f'keyboard-{["colours", "keys", "lighting"][i]}')
    c.probe.eval('window.kfApp.select("QZK-ZMC-V1.1.0")')
    c.click('[data-screen="macros"]')
    c.shot('macros-empty')
    c.probe.eval('''(() => { const s = window.kfApp.session; s.profile.setMacros([{name: "Combo",
        text: "键盘按下(LEFT CTRL)键盘按下(C)延迟(40)键盘弹起(C)键盘弹起(LEFT CTRL)鼠标按下(左键)延迟(25)鼠标弹起(左键)相对定位XY(0,-12)"}]);
        window.kfApp.changed(); })()''')
    c.shot('macros')
    c.click('[data-screen="profiles"]')
    c.shot('profiles')
    c.click('[data-screen="pointer"]')
    c.shot('pointer')
    c.press('ctrl+shift+d', '!!document.querySelector(".diag")', 'Ctrl+Shift+D opens the diagnostics view')
    c.shot('diagnostics')
    subprocess.run(['import', '-window', 'root', os.path.join(SHOTS, f'{LANG}-window.png')], check=False)


def main():
    tmp = tempfile.mkdtemp(prefix='kf-pages-e2e-')
    c = Client(tmp)
    try:
        if c.start():
            c.wait('document.querySelectorAll(".device").length === 2', 'both demo devices are listed')
            c.wait('document.querySelectorAll(".device .btn.primary:not([disabled])").length === 2',
                   'both devices got their profiles')
            lang = c.probe.eval('document.documentElement.lang')
            check(lang == ('en' if LANG == 'en' else 'zh-CN'), f'the page speaks the client language ({lang})')
            if LANG == 'en':
                device_flows(c)
            screenshots(c)
    finally:
        c.stop()
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == '__main__':
    main()
    check.finish()
