"""Looks into the real client's page through the engine's remote debugging port
(QTWEBENGINE_REMOTE_DEBUGGING): evaluates scripts to find elements and read state, and takes
screenshots of the page. Input is still given the way a person does, with xdotool on the
window. A minimal WebSocket client (RFC 6455, text frames) keeps this free of extra packages."""
import base64
import json
import os
import socket
import struct
import urllib.request


class PageProbe:
    def __init__(self, port, url_part='client.html'):
        targets = json.load(urllib.request.urlopen(f'http://127.0.0.1:{port}/json', timeout=5))
        page = next(t for t in targets if t.get('type') == 'page' and url_part in t.get('url', ''))
        ws_url = page['webSocketDebuggerUrl']
        host_port, path = ws_url[len('ws://'):].split('/', 1)
        host, p = host_port.split(':')
        self.sock = socket.create_connection((host, int(p)), timeout=15)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f'GET /{path} HTTP/1.1\r\nHost: {host_port}\r\nUpgrade: websocket\r\n'
                           f'Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n').encode())
        head = b''
        while b'\r\n\r\n' not in head:
            head += self.sock.recv(1)
        if b' 101 ' not in head.split(b'\r\n', 1)[0]:
            raise RuntimeError(head.decode(errors='replace'))
        self.next_id = 1

    @classmethod
    def connect(cls, port, url_part='client.html'):
        """A probe on the page, or None while the debugging port does not answer yet."""
        try:
            return cls(port, url_part)
        except Exception:
            return None

    def close(self):
        self.sock.close()

    def _send(self, text):
        data = text.encode()
        mask = os.urandom(4)
        n = len(data)
        header = bytes([0x81])
        if n < 126:
            header += bytes([0x80 | n])
        elif n < 65536:
            header += bytes([0x80 | 126]) + struct.pack('>H', n)
        else:
            header += bytes([0x80 | 127]) + struct.pack('>Q', n)
        self.sock.sendall(header + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))

    def _read(self, n):
        buf = b''
        while len(buf) < n:
            chunk = self.sock.recv(n - len(buf))
            if not chunk:
                raise ConnectionError('closed')
            buf += chunk
        return buf

    def _recv(self):
        message = b''
        while True:
            b0, b1 = self._read(2)
            n = b1 & 0x7F
            if n == 126:
                n = struct.unpack('>H', self._read(2))[0]
            elif n == 127:
                n = struct.unpack('>Q', self._read(8))[0]
            payload = self._read(n)
            message += payload
            if b0 & 0x80:
                return message.decode()

    def call(self, method, **params):
        cid = self.next_id
        self.next_id += 1
        self._send(json.dumps({'id': cid, 'method': method, 'params': params}))
        while True:
            reply = json.loads(self._recv())
            if reply.get('id') == cid:
                if 'error' in reply:
                    raise RuntimeError(reply['error'])
                return reply['result']

    def eval(self, expression):
        result = self.call('Runtime.evaluate', expression=expression, returnByValue=True, awaitPromise=True)
        return result.get('result', {}).get('value')

    def centre(self, selector, text=''):
        """Centre of the first visible element matching selector (and containing text), in page pixels."""
        return self.eval(
            f"""(() => {{ const e = [...document.querySelectorAll({json.dumps(selector)})]
                .find(x => x.offsetParent !== null && x.textContent.includes({json.dumps(text)}));
              if (!e) return null; e.scrollIntoView({{block: 'nearest'}}); const r = e.getBoundingClientRect();
              return [Math.round(r.left + r.width / 2), Math.round(r.top + r.height / 2)]; }})()""")

    def screenshot(self, path):
        data = self.call('Page.captureScreenshot', format='png')['data']
        with open(path, 'wb') as f:
            f.write(base64.b64decode(data))
