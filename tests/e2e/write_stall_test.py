#!/usr/bin/env python3
"""A device write whose answer comes after the page stopped waiting for it, in the real client:
the emulated devices hang every parameter write (KESTRAFON_SIM_STALL_MS) longer than the page's
patience. The page must say it has no answer yet (not that the write failed), take the late
answer, and end with the page, the saved profile, the device and the next start agreeing.

usage: write_stall_test.py APP_DIR"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(__file__))
from e2e_support import Checks, client_env, free_port, private_app  # noqa: E402
from e2e_support import read_text, start_client, stop_client, wait_for, xdotool  # noqa: E402
from page_probe import PageProbe  # noqa: E402

APP_DIR = sys.argv[1]
STALL_MS = 5500  # the page's patience is 4 s
check = Checks()

STAGE_2 = 'document.querySelector("[data-stage=\\"2\\"] .stage-pick")'
# Records every change of the DPI section's write status with stage 3's marks, in the page.
WATCH = '''(() => { window.__states = [];
  const look = () => { const w = document.querySelector('.dpi-tab .section-head .wstatus');
    const b = document.querySelector('[data-stage="2"] .stage-pick');
    const status = w ? w.className.replace('wstatus', '').trim() : '';
    const last = window.__states[window.__states.length - 1];
    if (status && (!last || last.status !== status)) window.__states.push({status,
      busy: b.getAttribute('aria-busy'), checked: b.getAttribute('aria-checked')}); };
  new MutationObserver(look).observe(document.body, {subtree: true, childList: true, attributes: true}); })()'''


def start(tmp, env):
    log_path = os.path.join(tmp, 'kestrafon.log')
    # The log is appended to: a restart waits for a line of its own, not the first start's.
    starts = read_text(log_path).count('pages: interactive')
    proc = start_client(private_app(APP_DIR, tmp), log_path, env)
    ready = wait_for(lambda: read_text(log_path).count('pages: interactive') > starts, 60)
    window = (wait_for(lambda: xdotool('search', '--onlyvisible', '--name', 'Vorkanta')) or '').split('\n')[0]
    probe = wait_for(lambda: PageProbe.connect(int(env['QTWEBENGINE_REMOTE_DEBUGGING'].split(':')[1])), 30)
    check(ready and window and probe, 'the client shows its pages')
    check(wait_for(lambda: probe and probe.eval('window.kfApp && window.kfApp.sessionOfKind("mouse") && '
                                                'window.kfApp.sessionOfKind("mouse").status === "ready"'), 20),
          'the mouse has its profile')
    return proc, window, probe


def click(probe, window, selector, text=''):
    at = wait_for(lambda: probe.centre(selector, text), 10)
    if check(at, f'{selector} {text} is on the page'):
        xdotool('mousemove', '--window', window, str(at[0]), str(at[1]), 'click', '1')


def open_dpi(probe, window):
    probe.eval('window.kfApp.select("QZK-ZMC-V1.1.0")')
    click(probe, window, '[data-screen="mouse"]')
    click(probe, window, '[role="tab"]', 'DPI')
    return wait_for(lambda: probe.eval(f'!!{STAGE_2}'), 10)


def journal(tmp):
    try:
        with open(os.path.join(tmp, 'sim', 'journal.jsonl'), encoding='utf-8') as f:
            return [json.loads(line) for line in f if line.strip()]
    except OSError:
        return []


def main():
    tmp = tempfile.mkdtemp(prefix='kf-stall-e2e-')
    env = client_env(tmp, LANG='en_US.UTF-8', LANGUAGE='', LC_ALL='', LC_MESSAGES='',
                     QTWEBENGINE_REMOTE_DEBUGGING=f'127.0.0.1:{free_port()}', KESTRAFON_SIM_STALL_MS=str(STALL_MS))
    subprocess.run([os.path.join(APP_DIR, 'kestrafon-sim'), 'reset'], env=env, capture_output=True)
    proc = probe = None
    try:
        proc, window, probe = start(tmp, env)
        check(open_dpi(probe, window), 'the DPI stages are shown')
        check(probe.eval(f'{STAGE_2}.getAttribute("aria-checked")') == 'false', 'stage 3 is not current at first')
        # The client's GUI thread waits for the device call, so nothing outside the page can look in
        # meanwhile: the page itself records each state its write status and the stage go through.
        probe.eval(WATCH)
        click(probe, window, '[data-stage="2"] .stage-pick')
        check(wait_for(lambda: 'ok' in (probe.eval('window.__states.map(s => s.status).join(" ")') or ''), 20),
              'the late answer is taken')
        states = probe.eval('window.__states')
        print('states seen:', states)
        seen = [s['status'] for s in states]
        check(seen[:3] == ['pending', 'pending waiting', 'ok'],
              'the write shows "Writing…", then past its patience "No answer yet", then "Written to device"')
        check(all(s['busy'] == 'true' and s['checked'] == 'true' for s in states if s['status'] != 'ok'),
              'until the answer stage 3 is shown as current and marked busy')
        check(probe.eval('!document.querySelector(".notice.error, .wstatus.failed")'), 'nothing says the write failed')
        log = read_text(os.path.join(tmp, 'kestrafon.log'))
        check('write QZK-ZMC-V1.1.0:1:CurDpi: no answer yet after 4000 ms' in log and
              'write QZK-ZMC-V1.1.0:1:CurDpi: ok "writeDevices success!"' in log, 'the log tells both')
        check(probe.eval(f'{STAGE_2}.getAttribute("aria-checked") === "true"'), 'the page shows stage 3 as current')
        check(probe.eval('window.kfApp.sessionOfKind("mouse").profile.value("CurDpi", 1)') == '2',
              'the profile holds stage 3 as current')
        writes = [e for e in journal(tmp) if e['function'] == 'dcWriteProperty' and e['args'].get('index') == 42]
        check([e['args']['data'] for e in writes] == ['02'] and writes[0]['result'] == 1,
              f'the device took stage 3 once (journal: {[e["args"] for e in writes]})')
        saved = wait_for(lambda: probe.eval(
            '(() => { const s = window.kfApp.sessionOfKind("mouse"); const n = s.named;'
            ' const f = n.items.find(i => i.name === n.active).file; const t = window.kfApp.store.text(f);'
            ' return t && /name="CurDpi"[^>]*value="2"/.test(t); })()'), 5)
        check(saved, 'the saved profile holds stage 3 as current')
        probe.close()
        probe = None
        check(stop_client(proc) == 0, 'the client ends cleanly')

        # The next start shows what the device holds.
        proc, window, probe = start(tmp, env)
        open_dpi(probe, window)
        check(wait_for(lambda: probe.eval(f'{STAGE_2}.getAttribute("aria-checked") === "true"'), 5),
              'after a restart stage 3 is still the current one')
    finally:
        if probe:
            probe.close()
        if proc:
            stop_client(proc)
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == '__main__':
    main()
    check.finish()
