#!/usr/bin/env python3
"""Quitting while a device is being flashed, in the real client with the emulated devices and
the firmware waits scaled down: the page starts a firmware update of the demo mouse and asks
"CloseApp" once the device has been erased; a session end (SIGTERM) follows during the wait.
The client says it closes once the update has ended, and ends only after the mouse has left
its boot loader running the new firmware; the second quit is the same quit."""
import json
import os
import signal
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(__file__))
from e2e_support import Checks, client_env, firmware_image, private_app  # noqa: E402
from e2e_support import read_text, start_client, stop_client, wait_for  # noqa: E402

APP_DIR = sys.argv[1]
NEW_FIRMWARE = b'QZK-ZMC-V2.0.0_09'
check = Checks()

PAGE = """<!doctype html><meta charset="utf-8"><title>flash</title><script>
var quitAsked = false;
setMessageCallback('RefreshUpdateState', function (name, args) {
  console.log('flash: value ' + args[0]);
  if (!quitAsked && Number(args[0]) >= 15) {
    quitAsked = true;
    console.log('flash: asking to quit');
    ClientRequest({request: '{"FuncName":"CloseApp"}'});
  }
});
ClientRequest({request: '{"FuncName":"GetDevicesList"}', onSuccess: function () {
  ClientRequest({request: JSON.stringify({FuncName: 'ExecuteUpdateFirmware', Version: 'QZK-ZMC-V1.1.0',
                                          FilePath: %s})});
}});
</script>"""


def main():
    tmp = tempfile.mkdtemp(prefix='kf-flash-')
    image = os.path.join(tmp, 'mouse.bin')
    firmware_image(image, NEW_FIRMWARE)
    page = os.path.join(tmp, 'flash.html')
    with open(page, 'w', encoding='utf-8') as f:
        f.write(PAGE % json.dumps(image))
    log_path = os.path.join(tmp, 'kestrafon.log')
    env = client_env(tmp, KESTRAFON_WAIT_SCALE='0.1')  # the whole flash takes about 3 s
    env.pop('KESTRAFON_DEVICES', None)  # the built-in demo mouse and keyboard
    client = start_client(private_app(APP_DIR, tmp), log_path, env, f'--url=file://{page}')

    def log():
        return read_text(log_path)
    try:
        waiting = wait_for(lambda: 'the client closes once the running firmware update has ended' in log(), 60)
        check(waiting, 'a quit after the erase waits for the flash, and the client says so')
        check('flash: asking to quit' in log(), 'the page asked to quit during the flash')
        client.send_signal(signal.SIGTERM)  # the session ends: the same quit
        try:
            status = client.wait(60)
        except subprocess.TimeoutExpired:
            status = None
        check(status == 0, f'the client ends by itself once the flash is done (status {status})')
        text = log()
        check('firmware update of QZK-ZMC-V1.1.0 done' in text, 'the flash ran to its end')
        check('interrupted' not in text, 'nothing interrupted the flash')
        check(text.count('the client closes once the running firmware update has ended') == 1,
              'the second quit joined the first')
        listed = subprocess.run([os.path.join(APP_DIR, 'kestrafon-sim'), 'list'], env=env, capture_output=True,
                                text=True).stdout
        mouse = next((line for line in listed.splitlines() if line.startswith('mouse')), '')
        check(NEW_FIRMWARE.decode() in mouse and '(boot loader)' not in mouse,
              f'the mouse runs its new firmware, out of its boot loader: {mouse!r}')
    finally:
        stop_client(client)


if __name__ == '__main__':
    main()
    check.finish()
