#!/usr/bin/env python3
"""The client's CPU use while a file plays: the real client on a page that plays a 60-second WAV
through the device-less output, beside the same client on the same page doing nothing, measured
one after the other in the same run over the same window (20 s, after 3 s to settle). Reports the
client process's share of one core and, apart, its browser helper processes'.
Usage: music_cpu.py <app dir> <music test page>"""
import math
import os
import struct
import sys
import tempfile
import time
import wave

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'e2e'))
from e2e_support import client_env, cpu_seconds, descendants, read_text, start_client, stop_client  # noqa: E402

APP_DIR, PAGE = sys.argv[1], os.path.abspath(sys.argv[2])
SETTLE, WINDOW = 3.0, 20.0


def write_wav(path, seconds):
    with wave.open(path, 'wb') as out:
        out.setnchannels(2)
        out.setsampwidth(2)
        out.setframerate(44100)
        one = b''.join(struct.pack('<hh', int(12000 * math.sin(2 * math.pi * 440 * i / 44100)),
                                   int(8000 * math.sin(2 * math.pi * 660 * i / 44100))) for i in range(44100))
        for _ in range(seconds):
            out.writeframes(one)


def measure(tmp, mode, wav):
    log_path = os.path.join(tmp, mode + '.log')
    env = client_env(os.path.join(tmp, mode), KESTRAFON_AUDIO_SINK='null')
    client = start_client(APP_DIR, log_path, env, f'--url=file://{PAGE}?file={wav}&mode={mode}')
    try:
        ready = 'music: answer RGBMusicPlay success' if mode == 'play' else 'music: idle'
        end = time.monotonic() + 60
        while ready not in read_text(log_path):
            if time.monotonic() > end:
                return None
            time.sleep(0.1)
        time.sleep(SETTLE)
        helpers = descendants(client.pid)
        own0, helpers0, t0 = cpu_seconds(client.pid), sum(map(cpu_seconds, helpers)), time.monotonic()
        time.sleep(WINDOW)
        own1, helpers1, t1 = cpu_seconds(client.pid), sum(map(cpu_seconds, helpers)), time.monotonic()
        return 100 * (own1 - own0) / (t1 - t0), 100 * (helpers1 - helpers0) / (t1 - t0)
    finally:
        stop_client(client)


def main():
    tmp = tempfile.mkdtemp(prefix='kf-music-cpu-')
    wav = os.path.join(tmp, 'music.wav')
    write_wav(wav, 60)
    playing = measure(tmp, 'play', wav)
    idle = measure(tmp, 'idle', wav)
    if not playing or not idle:
        print('the client did not reach the test page')
        return 1
    print(f'client process, % of one core over {WINDOW:.0f} s: playing {playing[0]:.2f}   idle (baseline) {idle[0]:.2f}'
          f'   goal <= 3: {"met" if playing[0] <= 3 else "NOT MET"}')
    print(f'browser helper processes, % of one core: playing {playing[1]:.2f}   idle {idle[1]:.2f}')
    return 0


if __name__ == '__main__':
    sys.exit(main())
