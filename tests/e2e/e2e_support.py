"""What the end-to-end scripts share: a list of checks that ends the script with its verdict,
waiting for a condition, the environment and start of a real client that keeps everything it
writes inside one temporary folder (its own copy of the application folder included), small
helpers for files, ports and xdotool, and the generated files the tests feed it (a firmware image
the emulated devices take, a WAV)."""
import math
import os
import shutil
import signal
import socket
import struct
import subprocess
import sys
import time
import wave


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


def private_app(app_dir, tmp):
    """A copy of the application folder inside tmp, made once. A client run from a folder it can
    write keeps its profiles there: from a copy, tests running side by side never share a profile
    file, and a test run leaves the built client's folder as it found it."""
    target = os.path.join(tmp, 'app')
    if not os.path.isdir(target):
        shutil.copytree(app_dir, target, symlinks=True,
                        ignore=shutil.ignore_patterns('kf-*.xml', 'e2e-*', 'update', '*.log', '*.dmp'))
    return target


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


def firmware_image(path, firmware_text, length=4500):
    """Writes an image the emulated devices take: a header, the new firmware text first in the
    data, and its length and checksum where the boot loader looks for them."""
    data = bytearray(firmware_text)
    while len(data) < length:
        data.append(len(data) * 7 % 251)
    image = bytearray(67200)
    image[0:8] = struct.pack('<II', 0x1016, 0)
    image[264:264 + length] = data
    image[66143:66155] = struct.pack('<QI', length, sum(data) & 0xFFFFFFFF)
    with open(path, 'wb') as f:
        f.write(image)


def write_wav(path, seconds):
    """A stereo 16-bit WAV: a 1 kHz sine on the left, silence on the right."""
    with wave.open(path, 'wb') as out:
        out.setnchannels(2)
        out.setsampwidth(2)
        out.setframerate(44100)
        frames = bytearray()
        for i in range(int(seconds * 44100)):
            frames += struct.pack('<hh', int(32767 * math.sin(2 * math.pi * 1000 * i / 44100)), 0)
        out.writeframes(bytes(frames))


def cpu_seconds(pid):
    """User and system CPU seconds process pid has used so far (0 once it is gone)."""
    try:
        with open(f'/proc/{pid}/stat') as f:
            fields = f.read().rsplit(')', 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf('SC_CLK_TCK')
    except (OSError, ValueError, IndexError):
        return 0.0


def descendants(pid):
    """Every process below pid, children first."""
    children = {}
    for entry in os.listdir('/proc'):
        if entry.isdigit():
            try:
                with open(f'/proc/{entry}/stat') as f:
                    ppid = int(f.read().rsplit(')', 1)[1].split()[1])
                children.setdefault(ppid, []).append(int(entry))
            except (OSError, ValueError, IndexError):
                pass
    found, todo = [], [pid]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found
