#!/usr/bin/env python3
"""Two users run the client at once from an installation neither of them can write (a
root-owned copy of the application folder), each switched to with setpriv to an unprivileged id.
Both start; each has its own single-instance socket, theme files and browser cache in its own
private runtime root under /tmp; nothing either creates under /tmp can be read by the other
(listed with owners and modes after the run). A profile edit through "ModifyFileFromStr" and
"savexml" answers success, lands in the user's data folder and is read back after a restart; a
crash leaves its dump in the user's state folder. Needs root (to switch users); skipped
otherwise."""
import glob
import os
import shutil
import signal
import stat
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(__file__))
from e2e_support import Checks, read_text, stop_client, wait_for  # noqa: E402

APP_DIR = sys.argv[1]
PAGE = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'pages', 'profile_store.html')
USERS = (64101, 64102)
SOCKET = 'Global\\{798ec1ad-0301-43e7-8ccf-42c0db11a520}'
check = Checks()


def install_copy(target):
    """A copy of the application folder owned by root, readable and not writable by others."""
    shutil.copytree(APP_DIR, target, ignore=shutil.ignore_patterns('*.log', '*.dmp', 'update', 'theme'))
    shutil.copy(PAGE, target)
    for folder, dirs, files in os.walk(target):
        os.chmod(folder, 0o755)
        for name in files:
            path = os.path.join(folder, name)
            os.chmod(path, 0o755 if os.access(path, os.X_OK) else 0o644)


def tree(folder):
    return {os.path.join(d, n) for d, dirs, files in os.walk(folder) for n in dirs + files}


class User:
    def __init__(self, uid, base, install):
        self.uid = uid
        self.home = os.path.join(base, f'home-{uid}')
        os.makedirs(self.home)
        os.chown(self.home, uid, uid)
        os.chmod(self.home, 0o700)
        self.install = install
        self.data = os.path.join(self.home, '.local/share/kestrafon')
        self.state = os.path.join(self.home, '.local/state/kestrafon')
        self.root = f'/tmp/kestrafon-{uid}'
        self.sim = os.path.join(self.home, 'sim')

    def start(self, query):
        # A login's environment without XDG_RUNTIME_DIR: the runtime root goes to /tmp.
        env = {'HOME': self.home, 'PATH': os.environ.get('PATH', '/usr/bin:/bin'), 'LANG': 'C.UTF-8',
               'QT_QPA_PLATFORM': 'offscreen', 'QT_QUICK_BACKEND': 'software', 'QTWEBENGINE_DISABLE_SANDBOX': '1',
               'KESTRAFON_SIM_DIR': self.sim, 'KESTRAFON_INPUT_FOLDER': '/nonexistent', 'KESTRAFON_AUDIO_SINK': 'null'}
        page = f'file://{self.install}/profile_store.html?{query}'
        return subprocess.Popen(['setpriv', f'--reuid={self.uid}', f'--regid={self.uid}', '--clear-groups',
                                 os.path.join(self.install, 'kestrafon'), f'--url={page}'],
                                env=env, cwd='/', stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def log(self):
        return read_text(os.path.join(self.state, 'kestrafon.log'))

    def line(self, key):
        """The value of the page's last "profile: key=" line in the log, or None."""
        found = None
        for line in self.log().splitlines():
            marker = f'profile: {key}='
            if marker in line:
                found = line.split(marker, 1)[1].split(' (file:')[0].strip()
        return found


def end_reporters(base):
    """Ends the crash reporters our crash started (they show a notice for a while), by pid."""
    for pid in filter(str.isdigit, os.listdir('/proc')):
        try:
            with open(f'/proc/{pid}/cmdline', 'rb') as f:
                argv = f.read().split(b'\0')
        except OSError:
            continue
        if argv and argv[0].endswith(b'/CrashReporter') and any(base.encode() in a for a in argv[1:]):
            os.kill(int(pid), signal.SIGKILL)


def own_entries_under_tmp(before):
    """Every path below /tmp made during the run (outside the test's own folder), with its
    owner and mode."""
    entries = []
    for top in sorted(set(os.listdir('/tmp')) - before):
        path = os.path.join('/tmp', top)
        entries.append(path)
        if os.path.isdir(path) and not os.path.islink(path):
            for folder, dirs, files in os.walk(path):
                entries += [os.path.join(folder, n) for n in dirs + files]
    return [(p, os.lstat(p)) for p in entries if os.path.lexists(p)]


def readable_by_other(path, st, other_uid):
    """Whether a user `other_uid` (no shared group) could read or enter the entry itself."""
    if st.st_uid == other_uid:
        return True
    return bool(st.st_mode & (stat.S_IROTH | stat.S_IXOTH | stat.S_IWOTH))


def main():
    if os.geteuid() != 0 or not shutil.which('setpriv'):
        print('skipped: needs root and setpriv to run as two users')
        print('all checks passed')
        return
    base = tempfile.mkdtemp(prefix='kf-users-')
    LEFT_BEHIND.extend([base] + [f'/tmp/kestrafon-{uid}' for uid in USERS])
    os.chmod(base, 0o755)
    install = os.path.join(base, 'install')
    install_copy(install)
    installed = tree(install)
    users = [User(uid, base, install) for uid in USERS]
    for user in users:
        shutil.rmtree(user.root, ignore_errors=True)
    before = set(os.listdir('/tmp'))
    clients = []
    try:
        # Both at once, each storing a profile that names its user.
        clients = [user.start(f'write=user{user.uid}') for user in users]
        for user, client in zip(users, clients):
            check(wait_for(lambda: user.line('read'), 90) is not None, f'{user.uid}: the page ran: {user.log()[-2000:]}')
        for user, client in zip(users, clients):
            check(client.poll() is None, f'{user.uid}: the client runs beside the other user\'s')
            check(user.line('modify') == 'ok ModifyFileFromStr success', f'{user.uid}: modify {user.line("modify")}')
            check(user.line('save') == 'ok save xml success', f'{user.uid}: save {user.line("save")}')
            check(user.line('read') == f'ok<owner>user{user.uid}</owner>', f'{user.uid}: read {user.line("read")}')
            saved = read_text(os.path.join(user.data, 'kf-e2e-1.xml'))
            check(f'<owner>user{user.uid}</owner>' in saved, f'{user.uid}: the profile is in the data folder')
            check(os.path.exists(os.path.join(user.root, SOCKET)), f'{user.uid}: its socket is in its runtime root')
            check(glob.glob(os.path.join(user.root, 'kestrafon-theme', '*')), f'{user.uid}: its theme files')
            # The engine makes the cache folder on first use; the client names it in its log.
            check(f'browser cache: {user.root}/cache' in user.log(), f'{user.uid}: its browser cache')
        check(tree(install) == installed, f'nothing was written into the installation: {tree(install) ^ installed}')

        # Restart: the stored profile is read back from the user's folder.
        for client in clients:
            stop_client(client)
        user = users[0]
        open(os.path.join(user.state, 'kestrafon.log'), 'w').close()
        clients = [user.start('')]
        check(wait_for(lambda: user.line('read'), 90) == f'ok<owner>user{user.uid}</owner>',
              f'read back after a restart: {user.line("read")}')

        # A crash: the dump lands in the state folder.
        dumps = set(glob.glob(os.path.join(user.state, '*.dmp')))
        os.kill(clients[0].pid, signal.SIGSEGV)  # setpriv runs the client in its own process
        new_dumps = wait_for(lambda: set(glob.glob(os.path.join(user.state, '*.dmp'))) - dumps, 30)
        check(new_dumps, f'a crash dump in {user.state}: {os.listdir(user.state)}')
        print('crash dump:', *sorted(new_dumps or []))
    finally:
        for client in clients:
            stop_client(client)
        end_reporters(base)

    # What the two users left under /tmp (other tests may run beside this one: only entries of
    # the two users count): each user's top entries are closed to the other.
    entries = [(p, st) for p, st in own_entries_under_tmp(before) if st.st_uid in USERS]
    for path, st in entries:
        print(f'{stat.filemode(st.st_mode)} {st.st_uid:>6} {path}')
    for uid in USERS:
        other = USERS[1] if uid == USERS[0] else USERS[0]
        mine = [(p, st) for p, st in entries if st.st_uid == uid]
        check(mine, f'{uid} made its runtime root under /tmp')
        tops = [(p, st) for p, st in mine if os.path.dirname(p) == '/tmp']
        for path, st in tops:
            check(not readable_by_other(path, st, other), f'{path} is closed to user {other}')
    for path, st in entries:
        parent = os.lstat(os.path.dirname(path))
        check(os.path.dirname(path) == '/tmp' or parent.st_uid == st.st_uid,
              f'{path} lies in a folder of its own user')
    check.finish()


LEFT_BEHIND = []  # removed however the run ends

if __name__ == '__main__':
    try:
        main()
    finally:
        for path in LEFT_BEHIND:
            shutil.rmtree(path, ignore_errors=True)
