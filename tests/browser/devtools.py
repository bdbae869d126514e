#!/usr/bin/env python3
"""A small client of Chromium's DevTools: its HTTP endpoints (/json/...) and, over a WebSocket,
the DevTools protocol of one target. Standard library only.

As a command, for shell scripts (PORT is the remote-debugging port):
    devtools.py PORT new URL      opens a tab and prints its target id
    devtools.py PORT activate ID  brings that tab to the front
"""
import base64
import json
import os
import socket
import struct
import sys
import urllib.parse
import urllib.request


class DevToolsError(Exception):
    pass


class Browser:
    """The browser behind one remote-debugging port."""

    def __init__(self, port):
        self.port = int(port)

    def _json(self, method, path):
        request = urllib.request.Request(f"http://127.0.0.1:{self.port}{path}", method=method)
        with urllib.request.urlopen(request, timeout=10) as response:
            body = response.read().decode("utf-8")
        try:
            return json.loads(body)
        except ValueError:
            return body

    def targets(self):
        return self._json("GET", "/json/list")

    def new_tab(self, url):
        """Opens a tab on url in the last active normal window; returns the target."""
        return self._json("PUT", "/json/new?" + urllib.parse.quote(url, safe=":/?&=#%@"))

    def activate(self, target_id):
        self._json("GET", f"/json/activate/{target_id}")

    def close(self, target_id):
        self._json("GET", f"/json/close/{target_id}")

    def session(self, target):
        return Session(target["webSocketDebuggerUrl"])


class Session:
    """The DevTools protocol over one WebSocket (RFC 6455, client side, text frames only)."""

    def __init__(self, url, timeout=15):
        parts = urllib.parse.urlsplit(url)
        self._socket = socket.create_connection((parts.hostname, parts.port), timeout=timeout)
        key = base64.b64encode(os.urandom(16)).decode("ascii")
        path = parts.path + ("?" + parts.query if parts.query else "")
        self._socket.sendall((f"GET {path} HTTP/1.1\r\nHost: {parts.netloc}\r\n"
                              "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                              f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n")
                             .encode("ascii"))
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = self._socket.recv(1)
            if not chunk:
                raise DevToolsError(f"no WebSocket handshake from {url}")
            head += chunk
        if not head.startswith(b"HTTP/1.1 101"):
            raise DevToolsError(f"WebSocket refused by {url}: {head.splitlines()[0]!r}")
        self._next_id = 0

    def close(self):
        self._socket.close()

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.close()

    def call(self, method, **params):
        """Sends one command and returns its result; events that arrive meanwhile are dropped."""
        self._next_id += 1
        self._send(json.dumps({"id": self._next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self._receive())
            if message.get("id") != self._next_id:
                continue
            if "error" in message:
                raise DevToolsError(f"{method}: {message['error'].get('message')}")
            return message.get("result", {})

    def evaluate(self, expression):
        """The value of a JavaScript expression in the target, after awaiting a promise."""
        result = self.call("Runtime.evaluate", expression=expression, awaitPromise=True,
                           returnByValue=True)
        if "exceptionDetails" in result:
            details = result["exceptionDetails"]
            text = details.get("exception", {}).get("description") or details.get("text")
            raise DevToolsError(f"{expression!r} threw: {text}")
        return result.get("result", {}).get("value")

    def _send(self, text):
        payload = text.encode("utf-8")
        mask = os.urandom(4)
        length = len(payload)
        if length < 126:
            header = struct.pack("!BB", 0x81, 0x80 | length)
        elif length < 1 << 16:
            header = struct.pack("!BBH", 0x81, 0x80 | 126, length)
        else:
            header = struct.pack("!BBQ", 0x81, 0x80 | 127, length)
        masked = bytes(byte ^ mask[index % 4] for index, byte in enumerate(payload))
        self._socket.sendall(header + mask + masked)

    def _exactly(self, count):
        data = b""
        while len(data) < count:
            chunk = self._socket.recv(count - len(data))
            if not chunk:
                raise DevToolsError("the DevTools connection closed")
            data += chunk
        return data

    def _receive(self):
        message = b""
        while True:
            first, second = self._exactly(2)
            length = second & 0x7F
            if length == 126:
                length = struct.unpack("!H", self._exactly(2))[0]
            elif length == 127:
                length = struct.unpack("!Q", self._exactly(8))[0]
            payload = self._exactly(length)
            opcode = first & 0x0F
            if opcode == 0x8:
                raise DevToolsError("the DevTools connection closed")
            if opcode == 0x9:
                self._send_control(0xA, payload)
                continue
            if opcode in (0x0, 0x1, 0x2):
                message += payload
                if first & 0x80:
                    return message.decode("utf-8")

    def _send_control(self, opcode, payload):
        mask = os.urandom(4)
        masked = bytes(byte ^ mask[index % 4] for index, byte in enumerate(payload))
        self._socket.sendall(struct.pack("!BB", 0x80 | opcode, 0x80 | len(payload)) + mask + masked)


def main(port, command, argument):
    browser = Browser(port)
    if command == "new":
        print(browser.new_tab(argument)["id"])
    elif command == "activate":
        browser.activate(argument)
    else:
        raise SystemExit(f"unknown command {command}")


if __name__ == "__main__":
    main(*sys.argv[1:])
