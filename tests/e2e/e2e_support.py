"""What the end-to-end scripts share: a list of checks that ends the script with its verdict,
waiting for a condition, the environment and start of a real client that keeps everything it
writes inside one temporary folder, and small helpers for files, ports and xdotool."""
import os
import signal
import socket
import subprocess
import sys
import time


class Checks:
    """Collects failed checks; finish() prints the verdict and exits 1 when any failed."""

    def __init__(self):
        self.failures = []

    def __call__(self, condition, message):
        if not condition:
            self.failures.append(message)
            print('FAIL:', message)
        return bool(condition)

    def finish(self):
        if self.failures:
            print(f'{len(self.failures)} check(s) failed')
            sys.exit(1)
        print('all checks passed')


def wait_for(predicate, timeout=30.0, interval=0.05):
    """The predicate's first true value within the timeout, else None."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    return None


def read_text(path):
    """The file's text, or '' while it does not exist."""
    try:
        with open(path, encoding='utf-8', errors='replace') as f:
            return f.read()
    except OSError:
        return ''


def xdotool(*args):
    return subprocess.run(['xdotool', *args], capture_output=True, text=True).stdout.strip()


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def client_env(tmp, **extra):
    """The environment of a client whose temporary files, page storage and emulated devices all
    stay inside `tmp`."""
    env = dict(os.environ, TMPDIR=tmp, XDG_RUNTIME_DIR=tmp, XDG_DATA_HOME=os.path.join(tmp, 'data'),
               XDG_STATE_HOME=os.path.join(tmp, 'state'), QTWEBENGINE_DISABLE_SANDBOX='1',
               KESTRAFON_SIM_DIR=os.path.join(tmp, 'sim'))
    env.update(extra)
    os.makedirs(tmp, exist_ok=True)
    return env


def start_client(app_dir, log_path, env, *args):
    return subprocess.Popen([os.path.join(app_dir, 'kestrafon'), f'--log-file={log_path}', *args], env=env,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def window_and_probe(log_path, env):
    """Once the page has the client bridge: the main window's id and a probe into its page
    (through QTWEBENGINE_REMOTE_DEBUGGING), each None when it never came."""
    from page_probe import PageProbe
    if not wait_for(lambda: 'bridge: connected' in read_text(log_path)):
        return None, None
    window = wait_for(lambda: xdotool('search', '--name', 'Vorkanta'))
    probe = wait_for(lambda: PageProbe.connect(env['QTWEBENGINE_REMOTE_DEBUGGING'].split(':')[1]), 15)
    return (window.splitlines()[0] if window else None), probe


def running(pid):
    """True while process pid runs (a zombie has ended)."""
    try:
        with open(f'/proc/{pid}/stat') as f:
            return f.read().rsplit(')', 1)[1].split()[0] not in ('Z', 'X')
    except OSError:
        return False


def stop(pid, timeout=15):
    """Ends process pid (not necessarily our child) with SIGTERM, or SIGKILL when it does not end in time."""
    if running(pid):
        os.kill(pid, signal.SIGTERM)
        if not wait_for(lambda: not running(pid), timeout):
            os.kill(pid, signal.SIGKILL)


def stop_client(client, timeout=15):
    """Ends the client with SIGTERM, or SIGKILL when it does not end in time; returns its status."""
    if client.poll() is None:
        client.terminate()
    try:
        return client.wait(timeout)
    except subprocess.TimeoutExpired:
        client.kill()
        return client.wait()


def send_request(window, probe, text):
    """Types a request into the diagnostics view of the page (a PageProbe) and sends it, as a
    person would."""
    if not probe.eval('!!document.querySelector(".diag textarea")'):
        xdotool('mousemove', '--window', window, '400', '18', 'click', '1')  # the title bar takes the focus
        xdotool('key', '--window', window, 'ctrl+shift+d')
        wait_for(lambda: probe.eval('!!document.querySelector(".diag textarea")'), 10)
    # The update commands are never answered: the view takes a new request once it gave up waiting.
    wait_for(lambda: probe.eval('!document.querySelector(".diag .btn.primary").disabled'), 15)
    at = probe.centre('.diag textarea')
    xdotool('mousemove', '--window', window, str(at[0]), str(at[1]), 'click', '1')
    xdotool('key', '--window', window, 'ctrl+a')
    xdotool('type', '--window', window, '--delay', '2', text)
    at = probe.centre('.diag .btn.primary')
    xdotool('mousemove', '--window', window, str(at[0]), str(at[1]), 'click', '1')
