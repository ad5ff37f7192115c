#!/usr/bin/env python3
"""Start-up time to the first page load and to the pages being interactive, and the peak memory
of the whole process tree.

Starts the client and, as the baseline, the smallest browser program on the same engine
(bench_bare_browser showing the same start page) several times each, under the display that
is set (run it inside xvfb-run). Prints the median and the range of each.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
from e2e_support import descendants  # noqa: E402


def tree_rss_kib(root_pid):
    """Sum of VmRSS of root_pid and all its descendants."""
    total = 0
    for pid in [root_pid, *descendants(root_pid)]:
        try:
            with open(f'/proc/{pid}/status') as f:
                for line in f:
                    if line.startswith('VmRSS:'):
                        total += int(line.split()[1])
        except OSError:
            pass
    return total


def run_once(cmd, env, ready, timeout=30.0, linger=1.5):
    """Returns (seconds to ready, peak tree RSS in KiB)."""
    start = time.monotonic()
    proc = subprocess.Popen(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    os.set_blocking(proc.stdout.fileno(), False)
    out, loaded_at, peak = '', None, 0
    try:
        while time.monotonic() - start < timeout:
            try:
                chunk = proc.stdout.read()
                if chunk:
                    out += chunk
            except (BlockingIOError, TypeError):
                pass
            if loaded_at is None and ready(out):
                loaded_at = time.monotonic()
            peak = max(peak, tree_rss_kib(proc.pid))
            if loaded_at is not None and time.monotonic() - loaded_at > linger:
                break
            time.sleep(0.005)
    finally:
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    return (None if loaded_at is None else loaded_at - start), peak


def median(values):
    values = sorted(values)
    return values[len(values) // 2]


def measure(name, make_cmd, ready, runs):
    """Median start-up in ms (None when nothing loaded) and the highest peak RSS in MiB."""
    times, peaks = [], []
    for _ in range(runs):
        tmp = tempfile.mkdtemp(prefix='kf-bench-')
        env = dict(os.environ, TMPDIR=tmp, XDG_DATA_HOME=os.path.join(tmp, 'data'), QTWEBENGINE_DISABLE_SANDBOX='1', KESTRAFON_SIM_DIR=os.path.join(tmp, 'sim'))
        try:
            t, peak = run_once(make_cmd(tmp), env, ready(tmp))
        finally:
            shutil.rmtree(tmp, ignore_errors=True)
        if t is not None:
            times.append(t * 1000)
        peaks.append(peak / 1024)
    if not times:
        print(f'{name:<22} did not load a page')
        return None
    print(f'{name:<22} startup_ms median={median(times):.0f} min={min(times):.0f} max={max(times):.0f}  '
          f'peak_rss_mib median={median(peaks):.0f} max={max(peaks):.0f}  runs={len(times)}')
    return median(times), max(peaks)


def main():
    app_dir, bare, page = sys.argv[1], sys.argv[2], sys.argv[3]
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 10

    def client_cmd(tmp):
        return [os.path.join(app_dir, 'kestrafon'), f'--log-file={tmp}/kestrafon.log']

    def client_ready(marker):
        def make(tmp):
            def check(_out):
                try:
                    with open(f'{tmp}/kestrafon.log', encoding='utf-8', errors='replace') as f:
                        return marker in f.read()
                except OSError:
                    return False
            return check
        return make

    for what, marker_base, marker_client, goal in (
            ('page loaded', 'page load finished 1', 'page load finished 1', 400),
            ('pages interactive', 'console: pages: interactive', 'pages: interactive', 500)):
        print(f'-- start-up to {what}')
        base = measure('baseline_bare_browser', lambda tmp: [bare, page],
                       lambda tmp, m=marker_base: (lambda out: m in out), runs)
        client = measure('client', client_cmd, client_ready(marker_client), runs)
        if base and client:
            print(f'startup_ratio {client[0] / base[0]:.2f} (goal: client median <= {goal} ms)')
            print(f'peak_rss_client_mib {client[1]:.0f} (goal <= 400 MiB)')


if __name__ == '__main__':
    main()
