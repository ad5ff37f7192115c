#!/usr/bin/env python3
"""A client update as a person meets it, in a temporary copy of the installation under a virtual X
server: a package whose entry climbs out of the update folder is refused and changes nothing; a
package built by kestrafon-archive with a changed page pack and a new version makes the client
quit, the Updater installs it as a new release beside the installation and points `current` at
it, the browser cache is gone, and the client comes back from the new release showing the new
pages."""
import hashlib
import lzma
import os
import re
import shutil
import stat
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(__file__))
from e2e_support import Checks, client_env, free_port, private_app, send_request, start_client, stop  # noqa: E402
from e2e_support import wait_for, window_and_probe, xdotool  # noqa: E402
from e2e_support import read_text as read  # noqa: E402

APP_DIR, ARCHIVE_TOOL, PAK_TOOL, PAGES = sys.argv[1:5]
MARKER = 'page pack of the update'
check = Checks()


def qstring(text):
    data = text.encode('utf-16-be')
    return struct.pack('>I', len(data)) + data


def package(entries):
    """A package in the archive format, built here so that it can hold an entry that the
    archive tool would refuse to write."""
    payload = qstring('Kestrafon') + struct.pack('>I', len(entries))
    for path, data in entries:
        payload += qstring(path) + struct.pack('>I', len(data)) + struct.pack('>I', len(data)) + data
    dict_size = 1 << 20
    stream = lzma.compress(payload, format=lzma.FORMAT_RAW,
                           filters=[{'id': lzma.FILTER_LZMA1, 'dict_size': dict_size, 'lc': 3, 'lp': 0, 'pb': 2}])
    body = bytes([(2 * 5 + 0) * 9 + 3]) + struct.pack('<I', dict_size) + struct.pack('<I', len(payload)) + stream
    return b'e2e package'.ljust(128, b'\0') + hashlib.sha1(body).digest() + body


def snapshot(folder, skip=()):
    """Every file below folder with the digest of its content."""
    files = {}
    for root, dirs, names in os.walk(folder):
        dirs[:] = [d for d in dirs if os.path.join(root, d) not in skip]
        for name in names:
            path = os.path.join(root, name)
            if not stat.S_ISREG(os.lstat(path).st_mode):
                continue
            with open(path, 'rb') as f:
                files[os.path.relpath(path, folder)] = hashlib.sha1(f.read()).hexdigest()
    return files


def main():
    tmp = tempfile.mkdtemp(prefix='kf-e2e-update-')
    install = private_app(APP_DIR, tmp)
    update = os.path.join(install, 'update')
    cache = os.path.join(tmp, 'kestrafon', 'cache')  # the runtime root is tmp/kestrafon
    log_path = os.path.join(tmp, 'kestrafon.log')
    updater_log = os.path.join(tmp, 'updater.log')
    env = client_env(tmp, LANG='en_US.UTF-8', QTWEBENGINE_REMOTE_DEBUGGING=f'127.0.0.1:{free_port()}')
    client = start_client(install, log_path, env)
    restarted = None
    try:
        window, probe = window_and_probe(log_path, env)
        check(window and probe, 'the page sees the client bridge, and its window and page can be looked into')
        if not window or not probe:
            return

        # A package whose second entry climbs out of the update folder: refused, nothing written.
        os.makedirs(update, exist_ok=True)
        with open(os.path.join(update, 'kept.txt'), 'w') as f:
            f.write('a file the update folder held before\n')
        bad = os.path.join(update, 'bad.pkg')
        with open(bad, 'wb') as f:
            f.write(package([('Kestrafon/readme.txt', b'fine'), ('Kestrafon/../../escaped.txt', b'outside')]))
        before = snapshot(tmp, skip={cache, os.path.join(tmp, 'sim'), os.path.join(tmp, 'data')})
        send_request(window, probe, '{"FuncName":"ExecuteUpdateClient","FilePath":"%s"}' % bad)
        check(wait_for(lambda: 'client update refused' in read(log_path)), 'the traversal package is refused')
        check(client.poll() is None, 'the client keeps running after a refused package')
        after = snapshot(tmp, skip={cache, os.path.join(tmp, 'sim'), os.path.join(tmp, 'data')})
        del before[os.path.relpath(bad, tmp)]
        changed = {k for k in set(before) | set(after) if before.get(k) != after.get(k)}
        check(changed <= {'kestrafon.log'}, f'a refused package changes nothing: {sorted(changed)}')

        # A package with a changed page pack, built by the tools.
        pages = os.path.join(tmp, 'pages')
        shutil.copytree(PAGES, pages)
        with open(os.path.join(pages, 'black', 'client.html'), 'a') as f:
            f.write("<script>console.log('%s');</script>\n" % MARKER)
        source = os.path.join(tmp, 'package', 'Kestrafon')
        os.makedirs(source)
        subprocess.run([PAK_TOOL, 'build', pages, os.path.join(source, 'theme.pak'), '--shift', '7'], check=True,
                       capture_output=True)
        os.makedirs(os.path.join(source, 'Resources'))
        with open(os.path.join(install, 'Resources', 'conf.xml')) as f:
            conf = f.read()
        with open(os.path.join(source, 'Resources', 'conf.xml'), 'w') as f:
            f.write(re.sub(r'(<client[^>]*\sversion=")[^"]*"', r'\g<1>9.9.9"', conf, count=1))
        with open(os.path.join(source, 'theme.pak'), 'rb') as f:
            new_pack = f.read()
        good = os.path.join(update, 'client-update.pkg')
        subprocess.run([ARCHIVE_TOOL, 'build', os.path.dirname(source), good], check=True, capture_output=True)
        # The engine makes its cache folder when it first caches something; make sure there is one to remove.
        os.makedirs(cache, exist_ok=True)
        with open(os.path.join(cache, 'e2e-marker'), 'w') as f:
            f.write('gone after the update\n')
        send_request(window, probe, '{"FuncName":"ExecuteUpdateClient","FilePath":"%s"}' % good)
        try:
            client.wait(30)
        except subprocess.TimeoutExpired:
            pass
        check(client.returncode is not None, 'the client quits to let the Updater run')
        check(not os.path.exists(os.path.join(cache, 'e2e-marker')), 'the browser cache folder was deleted')
        started = wait_for(lambda: re.search(r'started \S+/kestrafon \(pid (\d+)\)', read(updater_log)))
        check(started, 'the Updater starts the client again: ' + read(updater_log))
        release = os.path.join(install, 'releases', '9.9.9')
        check(os.path.realpath(os.path.join(install, 'current')) == release, 'current names the new release')
        with open(os.path.join(release, 'theme.pak'), 'rb') as f:
            check(f.read() == new_pack, 'the new release holds the new page pack')
        with open(os.path.join(install, 'theme.pak'), 'rb') as f:
            check(f.read() != new_pack, 'the installation itself is left as it was')
        check(os.listdir(update) == [], f'the update folder is emptied: {os.listdir(update)}')
        if started:
            restarted = int(started.group(1))
            check(wait_for(lambda: MARKER in read(log_path)), 'the restarted client shows the new pages')
    finally:
        for pid in [client.pid] + ([restarted] if restarted else []):
            stop(pid)
        client.wait(5)
        if check.failures:
            print('--- client log ---\n' + read(log_path)[-4000:] + '\n--- updater log ---\n' + read(updater_log))
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == '__main__':
    main()
    check.finish()
