#!/usr/bin/env python3
"""The music visualiser in the real client under a virtual X server, on a machine without a sound
card. With the device-less output (KESTRAFON_AUDIO_SINK=null) a page that plays a generated WAV
(a 1 kHz sine on the left, silence on the right) gets "OnRGBMusicData" about every 60 ms, with the
peak in the 1 kHz bin; none after a pause, and again after a resume. With the desktop's output
and no sound card the page gets no spectrum at all, and the client says why and runs on."""
import glob
import os
import re
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(__file__))
from e2e_support import Checks, client_env, private_app, read_text, start_client, stop_client, write_wav  # noqa: E402

APP_DIR = sys.argv[1]
PAGE = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'pages', 'music.html')
check = Checks()


def run_client(tmp, name, env_extra, wav, until, timeout=40.0):
    """Starts the client on the test page, waits for the page's `until` line, returns the log."""
    log_path = os.path.join(tmp, name + '.log')
    env = client_env(os.path.join(tmp, name), **env_extra)
    if 'KESTRAFON_AUDIO_SINK' not in env_extra:
        env.pop('KESTRAFON_AUDIO_SINK', None)
    client = start_client(private_app(APP_DIR, tmp), log_path, env, f'--url=file://{PAGE}?file={wav}')

    def log():
        return read_text(log_path)
    try:
        end = time.monotonic() + timeout
        while time.monotonic() < end and until not in log() and client.poll() is None:
            time.sleep(0.1)
        check(client.poll() is None, f'{name}: the client is still running')
        return log()
    finally:
        stop_client(client)


def page_line(log, phase):
    match = re.search(r'music: ' + phase + r' events=(\d+) median=(\d+) peak=(-?\d+) right=(-?\d+) time=(\S*)', log)
    return tuple(int(v) if v.lstrip('-').isdigit() else v for v in match.groups()) if match else None


def main():
    tmp = tempfile.mkdtemp(prefix='kf-music-')
    wav = os.path.join(tmp, 'sine.wav')
    write_wav(wav, 8)

    log = run_client(tmp, 'null-output', {'KESTRAFON_AUDIO_SINK': 'null'}, wav, 'music: done')
    check('music: answer RGBMusicPlay success' in log, 'PlayMusic with an absolute Url is answered')
    playing, paused, resumed = (page_line(log, p) for p in ('playing', 'paused', 'resumed'))
    check(playing and playing[0] >= 15, f'spectrum events arrive while playing: {playing}')
    check(playing and 45 <= playing[1] <= 120, f'about every 60 ms while playing: {playing}')
    check(playing and playing[2] == 12 and playing[3] == 0, f'1 kHz peaks in bin 12, the right is silent: {playing}')
    check(paused and paused[0] == 0, f'no spectrum events after a pause: {paused}')
    check(resumed and resumed[0] >= 15 and 45 <= resumed[1] <= 120, f'events again after a resume: {resumed}')
    check('music: info time=00:08' in log, 'GetMusicInfo gives the length')

    if glob.glob('/dev/snd/pcmC*p') or os.path.exists(os.path.join(os.environ.get('XDG_RUNTIME_DIR', '/nonexistent'),
                                                                      'pulse', 'native')):
        print('this machine has a sound output: the run without one is skipped')
    else:
        log = run_client(tmp, 'no-sound-card', {}, wav, 'music: done')
        playing = page_line(log, 'playing')
        check(playing and playing[0] == 0, f'without a sound card the page gets no spectrum: {playing}')
        check('no audio output device' in log, 'the client logs that there is no output to play on')
        check(':FATAL:' not in log, 'no fatal error')


if __name__ == '__main__':
    main()
    check.finish()
