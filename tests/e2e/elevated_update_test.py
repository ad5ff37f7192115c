#!/usr/bin/env python3
"""A client update of a packaged installation, as an unprivileged user meets it under a virtual X
server: the installation is a root-owned, read-only copy started through the `kestrafon`
command; a stand-in for pkexec (this test, as root) runs the Updater's install for the user. A
package served to the client installs as a root-owned release in the store, `current` names it,
the new client starts from it, and a second update keeps one previous release only. The
installation itself is never written."""
import hashlib
import json
import os
import re
import shutil
import socket
import stat
import struct
import subprocess
import sys
import tempfile
import threading

sys.path.insert(0, os.path.dirname(__file__))
from e2e_support import Checks, free_port, send_request, stop, wait_for, xdotool  # noqa: E402
from e2e_support import read_text as read  # noqa: E402
from page_probe import PageProbe  # noqa: E402

APP_DIR, ARCHIVE_TOOL, PAK_TOOL, PAGES, LAUNCHER = sys.argv[1:6]
USER = 65534
check = Checks()

# The stand-in for pkexec: asks this test, over a socket, to run its command as root for the
# calling user, and passes on the output and exit code.
PKEXEC = """#!/usr/bin/python3
import json, socket, sys
s = socket.socket(socket.AF_UNIX)
s.connect(%r)
s.sendall(json.dumps(sys.argv[1:]).encode())
s.shutdown(socket.SHUT_WR)
reply = json.loads(s.makefile().read())
sys.stdout.write(reply['output'])
sys.exit(reply['code'])
"""


class Elevator:
    """Runs each command the stand-in asks for as root, with PKEXEC_UID of the peer (taken from
    the socket, not from the request), in a cleared environment, as pkexec does."""

    def __init__(self, path, env):
        self.commands = []
        self.env = env
        self.server = socket.socket(socket.AF_UNIX)
        self.server.bind(path)
        os.chmod(path, 0o666)
        self.server.listen()
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                conn, _ = self.server.accept()
            except OSError:
                return
            with conn:
                uid = struct.unpack('3i', conn.getsockopt(socket.SOL_SOCKET, socket.SO_PEERCRED, 12))[1]
                self.commands.append(json.loads(conn.makefile('rb').read()))
                run = subprocess.run(self.commands[-1], env=dict(self.env, PKEXEC_UID=str(uid)), capture_output=True,
                                     text=True)
                conn.sendall(json.dumps({'output': run.stdout + run.stderr, 'code': run.returncode}).encode())


def as_user(*argv):
    return ['setpriv', f'--reuid={USER}', f'--regid={USER}', '--clear-groups', *argv]


def update_digest(files):
    """The digest the client computes over the files it unpacked."""
    h = hashlib.sha256()
    for path in sorted(files, key=lambda p: p.encode()):
        h.update(path.encode() + b'\0' + struct.pack('>Q', len(files[path])) + files[path])
    return h.hexdigest()


def tree(folder):
    out = {}
    for root, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(root, name)
            st = os.lstat(path)
            out[os.path.relpath(path, folder)] = (st.st_uid, stat.S_IMODE(st.st_mode), st.st_size)
    return out


def main():
    tmp = tempfile.mkdtemp(prefix='kf-e2e-elevated-')
    os.chmod(tmp, 0o755)
    opt, store, home = (os.path.join(tmp, name) for name in ('opt', 'var', 'home'))
    shutil.copytree(APP_DIR, opt, symlinks=True, ignore=shutil.ignore_patterns('update', 'releases', 'current',
                                                                               'previous', '*.log', 'e2e-*'))
    for root, dirs, names in os.walk(opt):
        for name in dirs + names:
            path = os.path.join(root, name)
            if not os.path.islink(path):
                os.chmod(path, os.lstat(path).st_mode & ~0o222)
    installed_before = tree(opt)
    bin_dir = os.path.join(tmp, 'bin')
    os.makedirs(bin_dir)
    with open(os.path.join(bin_dir, 'pkexec'), 'w') as f:
        f.write(PKEXEC % os.path.join(tmp, 'pkexec.sock'))
    os.chmod(os.path.join(bin_dir, 'pkexec'), 0o755)
    places = {'KESTRAFON_PACKAGED_DIR': opt, 'KESTRAFON_RELEASE_STORE': store}
    elevator = Elevator(os.path.join(tmp, 'pkexec.sock'), dict(places, PATH='/usr/bin:/bin'))

    # The user's own places, and a copy of the X server's key it may read.
    for name in ('home', 'home/run', 'home/tmp'):
        os.makedirs(os.path.join(tmp, name), mode=0o700, exist_ok=True)
    if os.environ.get('XAUTHORITY'):
        shutil.copy(os.environ['XAUTHORITY'], os.path.join(home, '.Xauthority'))
    subprocess.run(['chown', '-R', f'{USER}:{USER}', home], check=True)
    env = dict(os.environ, **places, HOME=home, XDG_RUNTIME_DIR=os.path.join(home, 'run'),
               TMPDIR=os.path.join(home, 'tmp'), XDG_DATA_HOME=os.path.join(home, 'data'),
               XDG_STATE_HOME=os.path.join(home, 'state'), XAUTHORITY=os.path.join(home, '.Xauthority'),
               KESTRAFON_SIM_DIR=os.path.join(home, 'sim'), QTWEBENGINE_DISABLE_SANDBOX='1', LANG='en_US.UTF-8',
               PATH=bin_dir + ':' + os.environ['PATH'])
    log_path = os.path.join(home, 'kestrafon.log')
    # The client names the Updater's log beside its own; without that it is in the state folder.
    logs = [os.path.join(home, 'updater.log'), os.path.join(home, 'state', 'kestrafon', 'updater.log')]

    def updater_log_text():
        return ''.join(read(path) for path in logs)

    update = os.path.join(home, 'data', 'kestrafon', 'update')
    pids = []
    starts = 0  # the clients the Updater started so far

    def start_client():
        """Starts the client through the kestrafon command, with a debugging port of its own (a
        client the Updater restarts keeps its port, which the engine cannot take again at once)."""
        port = free_port()
        client = subprocess.Popen(as_user(LAUNCHER, f'--log-file={log_path}'), stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL,
                                  env=dict(env, QTWEBENGINE_REMOTE_DEBUGGING=f'127.0.0.1:{port}'))
        pids.append(client.pid)
        return client, port

    try:
        for version, marker in (('2.0.1', 'first update'), ('2.0.2', 'second update')):
            for pid in pids:
                stop(pid)
            if os.path.exists(log_path):
                os.truncate(log_path, 0)
            client, port = start_client()
            check(wait_for(lambda: 'bridge: connected' in read(log_path), 60), f'the client before {version} connects')
            expected = os.path.join(store, 'releases', '2.0.1', 'kestrafon') if starts else os.path.join(opt, 'kestrafon')
            check(os.path.realpath(f'/proc/{client.pid}/exe') == expected,
                  f'the kestrafon command starts the newer client {expected}')
            window = wait_for(lambda: xdotool('search', '--name', 'Vorkanta'))
            probe = wait_for(lambda: PageProbe.connect(port), 15)
            if not check(window and probe, 'the main window exists and its page can be looked into'):
                return

            # The package: new pages and a new version, served to the client in its update folder.
            files = {}
            pages = os.path.join(tmp, 'pages')
            shutil.rmtree(pages, ignore_errors=True)
            shutil.copytree(PAGES, pages)
            with open(os.path.join(pages, 'black', 'client.html'), 'a') as f:
                f.write("<script>console.log('%s');</script>\n" % marker)
            source = os.path.join(tmp, 'package', 'Kestrafon')
            shutil.rmtree(os.path.dirname(source), ignore_errors=True)
            os.makedirs(os.path.join(source, 'Resources'))
            subprocess.run([PAK_TOOL, 'build', pages, os.path.join(source, 'theme.pak'), '--shift', '7'],
                           check=True, capture_output=True)
            with open(os.path.join(opt, 'Resources', 'conf.xml')) as f:
                conf = re.sub(r'(<client[^>]*\sversion=")[^"]*"', r'\g<1>%s"' % version, f.read(), count=1)
            with open(os.path.join(source, 'Resources', 'conf.xml'), 'w') as f:
                f.write(conf)
            for name in ('theme.pak', 'Resources/conf.xml'):
                with open(os.path.join(source, name), 'rb') as f:
                    files[name] = f.read()
            package = os.path.join(update, f'client-{version}.pkg')
            subprocess.run(as_user('mkdir', '-p', update), check=True)
            subprocess.run(as_user(ARCHIVE_TOOL, 'build', os.path.dirname(source), package), check=True,
                           capture_output=True)
            send_request(window.splitlines()[0], probe, '{"FuncName":"ExecuteUpdateClient","FilePath":"%s"}' % package)
            probe.close()

            restart = wait_for(lambda: re.findall(r'started (\S+) \(pid (\d+)\)', updater_log_text())[starts:], 60)
            if not check(restart, f'the Updater starts a client after {version}: ' + updater_log_text()):
                return
            path, pid = restart[0]
            starts += 1
            pids.append(int(pid))
            release = os.path.join(store, 'releases', version)
            check(path == os.path.join(store, 'current', 'kestrafon'), f'the client starts from current: {path}')
            check(os.path.realpath(os.path.join(store, 'current')) == release, f'current names release {version}')
            check(elevator.commands and '--digest' in elevator.commands[-1] and
                  elevator.commands[-1][elevator.commands[-1].index('--digest') + 1] == update_digest(files),
                  'the elevated command line carries the digest of the package the client verified')
            release_files = tree(release)
            check(all(uid == 0 and mode in (0o644, 0o755) for uid, mode, _ in release_files.values()),
                  f'the release is root-owned with plain modes: {release_files}')
            check(release_files.get('kestrafon', (0, 0))[1] == 0o755, 'the client stays executable')
            with open(os.path.join(release, 'theme.pak'), 'rb') as f:
                check(f.read() == files['theme.pak'], 'the release holds the package\'s page pack')
            check(os.listdir(update) == [], f'the update folder is emptied: {os.listdir(update)}')
            check(wait_for(lambda: marker in read(log_path), 60), f'the client of {version} shows its pages')

        check(sorted(os.listdir(os.path.join(store, 'releases'))) == ['2.0.1', '2.0.2'],
              'the second update keeps one previous release: %s' % os.listdir(os.path.join(store, 'releases')))
        check(os.path.realpath(os.path.join(store, 'previous')) == os.path.join(store, 'releases', '2.0.1'),
              'previous names the release before')
        check(tree(opt) == installed_before, 'the packaged installation is unchanged')
    finally:
        for pid in pids:
            stop(pid)
        elevator.server.close()
        if check.failures:
            print('--- client log ---\n' + read(log_path)[-4000:] + '\n--- updater log ---\n' + updater_log_text())
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == '__main__':
    main()
    check.finish()
