#!/usr/bin/env python3
"""The client as a person meets it: started from build/app under a virtual X server, it shows
the pages from theme.pak with the emulated devices, follows them as they are unplugged and
plugged, dragging the title bar moves the window, and a request typed into the diagnostics view
is answered. A screenshot of the window is kept for people to look at."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(__file__))
from e2e_support import Checks, client_env, free_port, private_app  # noqa: E402
from e2e_support import read_text, start_client, stop_client, wait_for, xdotool  # noqa: E402
from page_probe import PageProbe  # noqa: E402

APP_DIR, SHOTS = sys.argv[1], sys.argv[2]
check = Checks()


def geometry(window):
    out = xdotool('getwindowgeometry', '--shell', window)
    values = dict(line.split('=', 1) for line in out.splitlines() if '=' in line)
    return int(values.get('X', -1)), int(values.get('Y', -1)), int(values.get('WIDTH', 0)), int(values.get('HEIGHT', 0))


def main():
    tmp = tempfile.mkdtemp(prefix='kf-e2e-')
    log_path = os.path.join(tmp, 'kestrafon.log')
    port = free_port()
    env = client_env(tmp, LANG='en_US.UTF-8', QTWEBENGINE_REMOTE_DEBUGGING=f'127.0.0.1:{port}')
    app = private_app(APP_DIR, tmp)
    client = start_client(app, log_path, env)

    def log():
        return read_text(log_path)

    try:
        check(wait_for(lambda: 'page load finished 1 kestrafon://page.kestrafon/local/black/client.html' in log()),
              'the start page loads from theme.pak')
        check(wait_for(lambda: 'bridge: connected' in log()), 'the page sees the client bridge')
        probe = wait_for(lambda: PageProbe.connect(port), 15)
        check(probe, 'the page can be looked into')
        if not probe:
            return
        devices = lambda: probe.eval('document.querySelectorAll(".device").length')  # noqa: E731
        check(wait_for(lambda: devices() == 2), 'the page lists the demo mouse and keyboard')
        sim = [os.path.join(APP_DIR, 'kestrafon-sim')]
        subprocess.run(sim + ['unplug', 'keyboard'], env=env, capture_output=True, check=False)
        check(wait_for(lambda: devices() == 1), 'an unplugged device leaves the page\'s list')
        subprocess.run(sim + ['plug', 'keyboard'], env=env, capture_output=True, check=False)
        check(wait_for(lambda: devices() == 2), 'a plugged device comes back to the list')
        window = wait_for(lambda: xdotool('search', '--name', 'Vorkanta'))
        check(window, 'the main window exists with its title')
        if not window:
            return
        window = window.splitlines()[0]
        x, y, w, h = geometry(window)
        check((w, h) == (1160, 720), f'the window is 1160x720, got {w}x{h}')
        check((x, y) == ((1280 - 1160) // 2, (800 - 720) // 2), f'the window is centred, got {x},{y}')

        # Drag the title bar, as a person moves the window.
        # Screen coordinates: the window moves under the pointer while it is dragged.
        xdotool('mousemove', str(x + 400), str(y + 18), 'mousedown', '1')
        xdotool('mousemove', str(x + 410), str(y + 23))
        xdotool('mousemove', str(x + 420), str(y + 28), 'mouseup', '1')
        moved = wait_for(lambda: geometry(window)[:2] == (x + 20, y + 10), timeout=5)
        check(moved, f'dragging the title bar moved the window by (20, 10), now at {geometry(window)[:2]}')

        # A profile edit that is still only in memory is written when the session ends.
        profile = os.path.join(app, 'e2e-session-end.xml')
        with open(profile, 'w', encoding='utf-8') as f:
            f.write('<profile><dpi>800</dpi></profile>\n')
        request = ('{"FuncName":"ModifyFileFromStr","FilePath":"e2e-session-end.xml",'
                   '"ContentStr":"<profile><dpi>1600</dpi></profile>"}')
        xdotool('key', '--window', window, 'ctrl+shift+d')
        check(wait_for(lambda: probe.eval('!!document.querySelector(".diag textarea")')), 'Ctrl+Shift+D opens diagnostics')
        at = probe.centre('.diag textarea')
        xdotool('mousemove', '--window', window, str(at[0]), str(at[1]), 'click', '1')
        xdotool('key', '--window', window, 'ctrl+a')
        xdotool('type', '--window', window, '--delay', '2', request)
        at = probe.centre('.diag .btn.primary')
        xdotool('mousemove', '--window', window, str(at[0]), str(at[1]), 'click', '1')
        check(wait_for(lambda: 'ModifyFileFromStr success' in (probe.eval('document.querySelector(".answer").textContent') or '')),
              'the profile edit is accepted')
        with open(profile, encoding='utf-8') as f:
            check('800' in f.read(), 'an edited existing profile stays in memory until it is saved')
        probe.close()

        os.makedirs(SHOTS, exist_ok=True)
        subprocess.run(['import', '-window', 'root', os.path.join(SHOTS, 'start_page.png')], check=False)
        check(not re.search(r':(ERROR|FATAL):', log()), 'no error lines in the log')
    finally:
        status = stop_client(client)
        check(status == 0, f'the client ends cleanly on SIGTERM (exit {status})')
        profile = os.path.join(app, 'e2e-session-end.xml')
        if os.path.exists(profile):
            with open(profile, encoding='utf-8') as f:
                check('1600' in f.read(), 'the session end wrote the edited profile')
            os.remove(profile)
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == '__main__':
    main()
    check.finish()  # also after an early return from main
