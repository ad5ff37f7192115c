#!/usr/bin/env python3
"""The page bridge in the real client is ours alone. A start page of our own finds the page
interface and gets an answer; a frame served over http inside it, and then an http page the
main frame is sent to, find neither the page interface nor the web channel's transport (not
even a moment later), and a download that http page starts is cancelled and logged, so nothing
lands in the update folder."""
import glob
import http.server
import json
import os
import sys
import tempfile
import threading
import urllib.parse

sys.path.insert(0, os.path.dirname(__file__))
from e2e_support import Checks, client_env, private_app, read_text, start_client, stop_client, wait_for  # noqa: E402

APP_DIR = sys.argv[1]
check = Checks()
reports = {}

PROBE = """<!doctype html><meta charset="utf-8"><title>%(who)s</title><script>
function found() {
  return JSON.stringify([typeof ClientRequest, typeof cefQueryCancel, typeof setMessageCallback,
                         typeof QWebChannel, typeof qt !== 'undefined' && !!qt.webChannelTransport]);
}
function report(key, value) {
  new Image().src = '%(base)s/report?who=%(who)s&' + key + '=' + encodeURIComponent(value);
}
report('found', found());
// Were a transport there, another origin's first message would ask for the channel's objects.
var replies = [];
if ('%(who)s' !== 'start' && typeof qt !== 'undefined' && qt.webChannelTransport) {
  qt.webChannelTransport.onmessage = function (m) { replies.push(String(m.data)); };
  qt.webChannelTransport.send(JSON.stringify({type: 3, id: 0}));
}
setTimeout(function () { report('late', found()); report('replies', replies.join('|').slice(0, 300)); %(then)s }, 1000);
</script>%(body)s"""
ABSENT = json.dumps(['undefined', 'undefined', 'undefined', 'undefined', False], separators=(',', ':'))
PRESENT = json.dumps(['function', 'function', 'function', 'undefined', True], separators=(',', ':'))


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        url = urllib.parse.urlparse(self.path)
        base = f'http://127.0.0.1:{self.server.server_port}'
        if url.path == '/report':
            query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
            who = query.pop('who', ['?'])[0]
            for key, values in query.items():
                reports[f'{who}.{key}'] = values[0]
            self.reply(b'', 'image/gif')
        elif url.path == '/frame.html':
            self.reply((PROBE % {'who': 'frame', 'base': base, 'then': '', 'body': ''}).encode(), 'text/html')
        elif url.path == '/top.html':
            start_download = "var a = document.createElement('a'); a.href = '/package.bin'; a.download = 'package.bin';" \
                             " document.body.appendChild(a); a.click();"
            self.reply((PROBE % {'who': 'top', 'base': base, 'then': start_download, 'body': '<body></body>'}).encode(),
                       'text/html')
        elif url.path == '/package.bin':
            self.reply(b'not a package', 'application/octet-stream',
                       {'Content-Disposition': 'attachment; filename=package.bin'})
        else:
            self.send_error(404)

    def reply(self, body, kind, headers=None):
        self.send_response(200)
        self.send_header('Content-Type', kind)
        self.send_header('Content-Length', str(len(body)))
        for name, value in (headers or {}).items():
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def main():
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = f'http://127.0.0.1:{server.server_port}'
    tmp = tempfile.mkdtemp(prefix='kf-foreign-')
    start = os.path.join(tmp, 'start.html')
    with open(start, 'w', encoding='utf-8') as f:
        f.write(PROBE % {'who': 'start', 'base': base, 'then': '',
                         'body': f'<iframe src="{base}/frame.html"></iframe><script>'
                                 "ClientRequest({request: '{\"FuncName\":\"GetDevicesList\"}', onSuccess: function () {"
                                 "  report('answered', 'yes');"
                                 f"  setTimeout(function () {{ location.href = '{base}/top.html'; }}, 1500); }}}});"
                                 '</script>'})
    log_path = os.path.join(tmp, 'kestrafon.log')
    env = client_env(tmp)
    app = private_app(APP_DIR, tmp)
    update_folders = [os.path.join(app, 'update'), os.path.join(tmp, 'data', 'kestrafon', 'update')]
    before = {p for folder in update_folders for p in glob.glob(os.path.join(folder, 'package*'))}
    client = start_client(app, log_path, env, f'--url=file://{start}')

    def log():
        return read_text(log_path)
    try:
        wait_for(lambda: 'top.late' in reports and 'frame.late' in reports, 60)
        wait_for(lambda: 'download cancelled' in log(), 5)
        check(reports.get('start.found') == PRESENT, f'our start page has the page interface: {reports.get("start.found")}')
        check(reports.get('start.answered') == 'yes', 'our start page gets its answer')
        for who in ('frame', 'top'):
            for when in ('found', 'late'):
                check(reports.get(f'{who}.{when}') == ABSENT,
                      f'the http {who} finds no bridge ({when}): {reports.get(f"{who}.{when}")}')
            check(reports.get(f'{who}.replies') == '', f'the http {who} gets nothing from the client: '
                                                      f'{reports.get(f"{who}.replies")}')
        text = log()
        check(f'the page bridge is not offered to {base}' in text, 'the withdrawn bridge is logged')
        check('download cancelled: it was started by a page of another origin' in text,
              'the http page\'s download is cancelled and logged')
        after = {p for folder in update_folders for p in glob.glob(os.path.join(folder, 'package*'))}
        check(after == before, f'nothing landed in the update folder: {sorted(after - before)}')
    finally:
        stop_client(client)
        server.shutdown()


if __name__ == '__main__':
    main()
    check.finish()
