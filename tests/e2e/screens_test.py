#!/usr/bin/env python3
"""The Updates, Key maps and Music screens in the real client under a virtual X server, driven
as a person would (clicks and keys through xdotool, files chosen in the client's own open
dialog), with the emulated devices, the firmware waits scaled down and the device-less audio
output:
- a firmware image chosen on the Updates screen flashes the demo mouse: the bar rises from "5"
  to "100", the screen names the new firmware, and the emulator lists it;
- a key map added on the Key maps screen (trigger captured by a key press) reaches the client's
  capture object, and turning key maps off empties it again;
- a WAV opened on the Music screen plays: tags and length shown, the spectrum canvas changes
  from frame to frame, and the client's whole CPU (every process of it) while playing is
  measured beside the same client idle.
Every state is saved as a screenshot under SHOTS_DIR.

usage: screens_test.py APP_DIR SHOTS_DIR"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(__file__))
from e2e_support import Checks, client_env, cpu_seconds, descendants, firmware_image, free_port  # noqa: E402
from e2e_support import private_app, read_text, start_client  # noqa: E402
from e2e_support import stop_client, wait_for, window_and_probe, write_wav, xdotool  # noqa: E402

APP_DIR, SHOTS = sys.argv[1:3]
NEW_FIRMWARE = b'QZK-ZMC-V2.1.0_11'
CPU_SECONDS = 10
check = Checks()


def tree_cpu_seconds(pid):
    """User and system CPU seconds of pid and every process below it so far."""
    return sum(map(cpu_seconds, [pid, *descendants(pid)]))


def core_share(pid, seconds):
    """The share of one core the client used over the next `seconds`."""
    before, t0 = tree_cpu_seconds(pid), time.monotonic()
    time.sleep(seconds)
    return (tree_cpu_seconds(pid) - before) / (time.monotonic() - t0)


class Screens:
    def __init__(self, client, window, probe):
        self.client, self.window, self.probe = client, window, probe

    def eval(self, script):
        return self.probe.eval(script)

    def click(self, selector, text=''):
        at = wait_for(lambda: self.probe.centre(selector, text), 15)
        if check(at, f'{selector} {text} is shown'):
            xdotool('mousemove', '--window', self.window, str(at[0]), str(at[1]), 'click', '1')
        return bool(at)

    def click_until(self, selector, done, timeout=8):
        """Clicks selector until done() holds, as a person clicks again when nothing happened:
        on a loaded machine a click may reach the page before the layout it was aimed at. Only
        while the control is still shown and nothing came of the last click."""
        result = None
        for _ in range(3):
            if not self.click(selector):
                break
            result = wait_for(done, timeout)
            if result or not self.probe.centre(selector):
                break
        return result

    def choose_file(self, opener, path):
        """Clicks `opener`, types the path into the client's open dialog as a person would, and
        accepts it. Clicked again only while no dialog shows: once one is up it is modal, so no
        second dialog can queue behind it."""
        dialog = self.click_until(opener, lambda: xdotool('search', '--onlyvisible', '--name', '^Open$'))
        if not check(dialog, f'{opener} shows the open dialog'):
            return
        dialog = dialog.splitlines()[0]
        time.sleep(0.5)  # the dialog puts the focus on its file name field once it is mapped
        xdotool('windowfocus', dialog)
        xdotool('key', '--window', dialog, 'ctrl+a')  # the field may hold the last file chosen
        xdotool('type', '--window', dialog, '--delay', '5', path)
        # The first Return may only take the file name completer's offer: press until it closes.
        gone = None
        for _ in range(3):
            xdotool('key', '--window', dialog, 'Return')
            gone = wait_for(lambda: not xdotool('search', '--onlyvisible', '--name', '^Open$'), 3)
            if gone:
                break
        check(gone, 'the dialog takes the file and closes')

    def shot(self, name):
        time.sleep(0.3)  # let transitions settle
        self.probe.screenshot(os.path.join(SHOTS, f'en-{name}.png'))


def firmware_update(s, tmp, env, log):
    image = os.path.join(tmp, 'mouse-2.1.bin')
    firmware_image(image, NEW_FIRMWARE)
    s.click('[data-screen="updates"]')
    row = '.update-device[data-device^="QZK-ZMC"]'
    s.choose_file(f'{row} .btn', image)
    check(wait_for(lambda: s.eval('document.querySelector(".dialog .path")?.textContent') == image, 10),
          'the page asks to confirm the chosen image')
    s.shot('updates-confirm')
    s.click_until('.dialog .btn.primary', lambda: s.eval('kfApp.firmware.job !== null'))
    seen = set()

    def progress():
        job = s.eval('(() => { const j = kfApp.firmware.job; return j && [j.status, j.progress]; })()')
        if job:
            seen.add(job[1])
            if job[1] >= 40 and 'bar' not in seen:
                seen.add('bar')
                s.shot('updates-running')
        return job and job[0] != 'running' and job[0]

    status = wait_for(progress, 90, 0.05)
    check(status == 'done', f'the update ends as done: {status}')
    check(5 in seen and 100 in seen, f'the bar went from 5 to 100: {sorted(v for v in seen if v != "bar")}')
    result = wait_for(lambda: s.eval('document.querySelector(".update-job .update-result")?.textContent')
                      if 'V2.1.0' in (s.eval('document.querySelector(".update-job")?.textContent') or '') else None, 30)
    check(result and NEW_FIRMWARE.decode().split('_')[0] in result, f'the screen names the new firmware: {result}')
    s.shot('updates-done')
    last = ''

    def flashed():
        nonlocal last
        listed = subprocess.run([os.path.join(APP_DIR, 'kestrafon-sim'), 'list'], env=env, capture_output=True,
                                text=True).stdout
        last = next((line for line in listed.splitlines() if line.startswith('mouse')), '')
        return NEW_FIRMWARE.decode() in last and '(boot loader)' not in last

    check(wait_for(flashed, 10), f'the emulator lists it: {last!r}')


def key_map(s, tmp, env, log):
    s.click('[data-screen="keymaps"]')
    check(wait_for(lambda: s.eval('document.querySelectorAll(".keymap-add select option").length > 20'), 15),
          'the screen has the client\'s trigger table')
    pressed = 'document.querySelector(".btn.capture")?.getAttribute("aria-pressed")'
    s.click_until('.btn.capture', lambda: s.eval(pressed) == 'true')
    xdotool('key', '--window', s.window, 'F9')
    check(wait_for(lambda: 'F9' in (s.eval('document.querySelector(".btn.capture").textContent') or ''), 10),
          'pressing F9 captures it as the trigger')
    field = '.keymap-add input.text'
    s.click(field)
    xdotool('type', '--window', s.window, '--delay', '5', 'Ctrl+C')
    s.click('.keymap-add .btn.primary')
    check(wait_for(lambda: s.eval('document.querySelector(".keymap-list [data-trigger=\\"F9\\"]") !== null'), 10),
          'the key map lists F9')
    check(wait_for(lambda: 'the software key map has 1 trigger(s)' in log(), 15),
          'the capture object holds the one trigger')
    # Where the input devices can be opened the capture takes them; elsewhere the screen says why.
    captured = wait_for(lambda: 'captured for the software key map' in log(), 3)
    banner = s.eval('document.querySelector(".keymap-capture")?.textContent') or ''
    check(captured or 'cannot be opened' in banner, f'the map is captured, or the screen says why not: {banner!r}')
    s.shot('keymaps-set')
    s.click('.screen-head .toggle')
    check(wait_for(lambda: 'the software key map has 0 trigger(s)' in log(), 15),
          'turning key maps off empties the capture object\'s map')


def music(s, tmp, env, log):
    wav = os.path.join(tmp, 'sine.wav')
    write_wav(wav, 40)
    s.click('[data-screen="music"]')
    idle = core_share(s.client.pid, CPU_SECONDS)
    s.choose_file('.screen-head .btn.primary', wav)
    check(wait_for(lambda: s.eval('kfApp.music.status') == 'playing', 20), 'the music plays')
    tags = s.eval('document.querySelector(".music-tags")?.textContent') or ''
    check('sine.wav' in tags and '00:40' in tags, f'name and length shown: {tags}')

    def canvas():
        return s.eval('document.querySelector("canvas.spectrum").toDataURL()')
    first = canvas()
    check(wait_for(lambda: canvas() != first, 5), 'the spectrum canvas changes while playing')
    frames = s.eval('kfApp.music.drawStats.frames')
    s.shot('music-playing')
    playing = core_share(s.client.pid, CPU_SECONDS)
    frames = s.eval('kfApp.music.drawStats.frames') - frames
    check(frames >= CPU_SECONDS * 10, f'the spectrum kept drawing: {frames} frames in {CPU_SECONDS} s')
    print(f'cpu: client idle {idle * 100:.1f}% of a core, playing {playing * 100:.1f}% '
          f'({frames} spectrum frames in {CPU_SECONDS} s)')


def with_client(tmp, *steps):
    """Runs the steps on one client of its own. Each client shows the open dialog once: under an
    X server without a window manager a second dialog of the same client does not always get
    the keyboard, which no person meets on a desktop."""
    os.makedirs(tmp)
    log_path = os.path.join(tmp, 'kestrafon.log')
    env = client_env(tmp, LANG='en_US.UTF-8', LANGUAGE='', LC_ALL='', LC_MESSAGES='', KESTRAFON_WAIT_SCALE='0.1',
                     KESTRAFON_AUDIO_SINK='null', QTWEBENGINE_REMOTE_DEBUGGING=f'127.0.0.1:{free_port()}')
    env.pop('KESTRAFON_DEVICES', None)  # the built-in demo mouse and keyboard
    client = start_client(private_app(APP_DIR, tmp), log_path, env)
    failed = len(check.failures)
    try:
        window, probe = window_and_probe(log_path, env)
        if not check(window and probe, 'the window and its page are there'):
            return
        check(wait_for(lambda: 'pages: interactive' in read_text(log_path), 30), 'the pages become interactive')
        s = Screens(client, window, probe)
        for step in steps:
            step(s, tmp, env, lambda: read_text(log_path))
    finally:
        stop_client(client)
        if len(check.failures) > failed:
            print('--- client log ---\n' + read_text(log_path)[-4000:])


def main():
    os.makedirs(SHOTS, exist_ok=True)
    tmp = tempfile.mkdtemp(prefix='kf-screens-')
    with_client(os.path.join(tmp, 'music'), music)
    with_client(os.path.join(tmp, 'updates'), firmware_update, key_map)
    shutil.rmtree(tmp, ignore_errors=True)


if __name__ == '__main__':
    main()
    check.finish()
