"""A small client of Firefox's Marionette server (the WebDriver commands over TCP): each message
is its length in decimal, a colon, and a JSON array. Standard library only."""
import json
import socket


class MarionetteError(Exception):
    pass


class Marionette:
    def __init__(self, port, timeout=30):
        self._socket = socket.create_connection(("127.0.0.1", int(port)), timeout=timeout)
        self._buffer = b""
        hello = self._receive()
        if not isinstance(hello, dict) or hello.get("marionetteProtocol") != 3:
            raise MarionetteError(f"unexpected greeting from Marionette: {hello!r}")
        self._next_id = 0

    def close(self):
        self._socket.close()

    def call(self, command, **params):
        """Runs one command and returns its value."""
        self._next_id += 1
        body = json.dumps([0, self._next_id, command, params]).encode("utf-8")
        self._socket.sendall(str(len(body)).encode("ascii") + b":" + body)
        while True:
            message = self._receive()
            if isinstance(message, list) and message[0] == 1 and message[1] == self._next_id:
                break
        error, result = message[2], message[3]
        if error:
            raise MarionetteError(f"{command}: {error.get('error')}: {error.get('message')}")
        if isinstance(result, dict) and set(result) == {"value"}:
            return result["value"]
        return result

    def _receive(self):
        while b":" not in self._buffer:
            self._read()
        length, _, rest = self._buffer.partition(b":")
        self._buffer = rest
        while len(self._buffer) < int(length):
            self._read()
        body, self._buffer = self._buffer[: int(length)], self._buffer[int(length):]
        return json.loads(body)

    def _read(self):
        chunk = self._socket.recv(65536)
        if not chunk:
            raise MarionetteError("Marionette closed the connection")
        self._buffer += chunk
