#!/usr/bin/env python3
"""A client update found through the manifest at UpdateUrl, as a person meets it, in a temporary
copy of the installation under a virtual X server: the test serves the manifest and a package
built by kestrafon-archive --manifest on 127.0.0.1, the Updates screen offers the new version,
"Update" downloads the package with its progress in bytes, the client unpacks it and starts the
Updater (here a stand-in that records its arguments) and quits."""
import http.server
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.dirname(__file__))
from e2e_support import Checks, client_env, free_port, private_app, start_client, stop_client  # noqa: E402
from e2e_support import wait_for, window_and_probe, xdotool  # noqa: E402
from e2e_support import read_text as read  # noqa: E402

APP_DIR, ARCHIVE_TOOL = sys.argv[1:3]
check = Checks()


def serve(folder, requests):
    """Serves folder on 127.0.0.1; the package goes out in slow pieces so progress can be seen."""
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            requests.append(self.path)
            path = os.path.join(folder, os.path.basename(self.path))
            if not os.path.isfile(path):
                self.send_error(404)
                return
            with open(path, 'rb') as f:
                data = f.read()
            package = path.endswith('.kfa')
            self.send_response(200)
            self.send_header('Content-Type', 'application/octet-stream' if package else 'application/json')
            self.send_header('Content-Length', str(len(data)))
            self.end_headers()
            step = max(1, len(data) // 8) if package else len(data)
            for at in range(0, len(data), step):
                self.wfile.write(data[at:at + step])
                self.wfile.flush()
                if package:
                    time.sleep(0.4)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def main():
    tmp = tempfile.mkdtemp(prefix='kf-e2e-offer-')
    install = private_app(APP_DIR, tmp)
    update = os.path.join(install, 'update')
    marker = os.path.join(tmp, 'updater-args')
    # The stand-in Updater records how it was started, aside and then renamed, so the test never
    # reads the record half written.
    os.remove(os.path.join(install, 'Updater'))
    with open(os.path.join(install, 'Updater'), 'w') as f:
        f.write(f'#!/bin/sh\nprintf "%s\\n" "$@" > {marker}.part && mv {marker}.part {marker}\n')
    os.chmod(os.path.join(install, 'Updater'), 0o755)

    # The new version's files and the site that offers them.
    source = os.path.join(tmp, 'package', 'Kestrafon')
    os.makedirs(os.path.join(source, 'Resources'))
    with open(os.path.join(install, 'Resources', 'conf.xml')) as f:
        conf = f.read()
    with open(os.path.join(source, 'Resources', 'conf.xml'), 'w') as f:
        f.write(re.sub(r'(<client[^>]*\sversion=")[^"]*"', r'\g<1>9.9.9"', conf, count=1))
    with open(os.path.join(source, 'filler.bin'), 'wb') as f:
        f.write(os.urandom(600 * 1024))  # random: the package stays large enough to arrive in pieces
    site = os.path.join(tmp, 'site')
    requests = []
    server = serve(site, requests)
    base = f'http://127.0.0.1:{server.server_address[1]}'
    subprocess.run([ARCHIVE_TOOL, 'build', os.path.dirname(source), os.path.join(site, 'kestrafon-9.9.9.kfa'),
                    '--manifest', base, '--version', '9.9.9', '--notes', 'Offered by the test'],
                   check=True, capture_output=True)
    size = os.path.getsize(os.path.join(site, 'kestrafon-9.9.9.kfa'))
    with open(os.path.join(install, 'Resources', 'conf.xml'), 'w') as f:
        f.write(re.sub(r'<client ', f'<client UpdateUrl="{base}/manifest.json" ', conf, count=1))

    log_path = os.path.join(tmp, 'kestrafon.log')
    env = client_env(tmp, LANG='en_US.UTF-8', QTWEBENGINE_REMOTE_DEBUGGING=f'127.0.0.1:{free_port()}',
                     no_proxy='127.0.0.1', NO_PROXY='127.0.0.1')
    client = start_client(install, log_path, env)
    try:
        window, probe = window_and_probe(log_path, env)
        check(window and probe, 'the page sees the client bridge, and its window and page can be looked into')
        if not window or not probe:
            return

        def click(selector):
            at = wait_for(lambda: probe.centre(selector), 15)
            check(at, f'{selector} is shown')
            if at:
                xdotool('mousemove', '--window', window, str(at[0]), str(at[1]), 'click', '1')

        click('[data-screen="updates"]')
        check(wait_for(lambda: probe.eval('document.querySelector(".client-update")?.dataset.phase') == 'ready', 20),
              'the Updates screen has asked for the offer')
        card = probe.eval('document.querySelector(".client-update").textContent')
        check('9.9.9' in card and 'Offered by the test' in card, f'the offer is shown with its notes: {card}')
        check('/manifest.json' in requests, f'the client fetched the manifest: {requests}')
        click('.client-update .btn.primary')
        seen = set()

        def progress():
            try:
                state = probe.eval('(() => { const u = kfApp.clientUpdate; return [u.phase, u.received]; })()')
            except (ConnectionError, OSError):
                state = None  # the client has quit for the Updater
            if state and state[0] == 'downloading':
                seen.add(state[1])
            return os.path.exists(marker) and os.path.getsize(marker) > 0

        check(wait_for(progress, 60, 0.02), 'the Updater stand-in was started')
        check(any(0 < r < size for r in seen), f'the download showed progress in bytes below {size}: {sorted(seen)}')
        check('/kestrafon-9.9.9.kfa' in requests, f'the package was downloaded from the offer: {requests}')
        args = read(marker)
        check(update in args, f'the Updater was given the update folder: {args}')
        check(os.path.exists(os.path.join(update, 'filler.bin')), 'the package was unpacked into the update folder')
        try:
            client.wait(30)
        except subprocess.TimeoutExpired:
            pass
        check(client.returncode is not None, 'the client quits to let the Updater run')
    finally:
        stop_client(client, 5)
        server.shutdown()
        if check.failures:
            print('--- client log ---\n' + read(log_path)[-4000:])
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == '__main__':
    main()
    check.finish()
