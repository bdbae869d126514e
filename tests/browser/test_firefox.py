#!/usr/bin/env python3
"""Headless Firefox ESR with the real extension (packed as scripts/pack-extension packs it,
unsigned, in a fresh profile) and the real browser host, driven through Marionette.

    test_firefox.py PATH-TO-KELVO-BROWSER-HOST PATH-TO-TABPROBE"""
import json
import socket
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
import harness  # noqa: E402
from harness import CHAT_HOST, OTHER_HOST, fail, wait_for  # noqa: E402

EXTENSION_ID = "tab-bridge@kelvo"

PREFERENCES = {
    # The unsigned extension, copied into the profile, runs without asking.
    "xpinstall.signatures.required": False,
    "extensions.autoDisableScopes": 0,
    "network.dns.localDomains": f"{CHAT_HOST},{OTHER_HOST}",
    "network.proxy.type": 0,
    "marionette.port": 0,
}


class Firefox:
    def __init__(self, run):
        profile = run.root / "profile"
        (profile / "extensions").mkdir(parents=True)
        subprocess.run([harness.SOURCE / "scripts" / "pack-extension",
                        profile / "extensions" / f"{EXTENSION_ID}.xpi"], check=True)
        (profile / "user.js").write_text("".join(
            f"user_pref({json.dumps(name)}, {json.dumps(value)});\n"
            for name, value in PREFERENCES.items()))
        # What "Run in Private Windows" on the add-on's page stores.
        (profile / "extension-preferences.json").write_text(json.dumps(
            {EXTENSION_ID: {"permissions": ["internal:privateBrowsingAllowed"], "origins": []}}))
        run.host_manifest("firefox", run.home / ".mozilla" / "native-messaging-hosts")
        self.process = run.start("firefox", ["firefox-esr", "--headless", "--no-remote",
                                             "--marionette", "--profile", profile, "about:blank"])
        port_file = profile / "MarionetteActivePort"
        wait_for("Firefox's Marionette port", lambda: port_file.exists() and port_file.read_text(),
                 60, watch=self.running)
        self._socket = socket.create_connection(("127.0.0.1", int(port_file.read_text())), 30)
        self._buffer, self._id = b"", 0
        self._receive()  # the greeting
        self.call("WebDriver:NewSession", acceptInsecureCerts=True)  # the run's own certificate

    def running(self):
        if self.process.poll() is not None:
            fail(f"Firefox ended with status {self.process.returncode}")

    def call(self, command, **params):
        """Runs one Marionette command ("LENGTH:[0, id, command, params]") and returns its
        value."""
        self._id += 1
        body = json.dumps([0, self._id, command, params]).encode()
        self._socket.sendall(b"%d:%s" % (len(body), body))
        while (answer := self._receive())[:2] != [1, self._id]:
            pass
        if answer[2]:
            fail(f"{command}: {answer[2]}")
        return answer[3].get("value", answer[3])

    def _receive(self):
        while True:
            length, colon, rest = self._buffer.partition(b":")
            if colon and len(rest) >= int(length):
                self._buffer = rest[int(length):]
                return json.loads(rest[:int(length)])
            self._buffer += self._socket.recv(65536) or fail("Marionette closed the connection")

    def _open(self, kind, url, private=False):
        handle = self.call("WebDriver:NewWindow", type=kind, private=private)["handle"]
        self.navigate(handle, url)
        if not private:
            self._normal = handle
        return handle

    def open_tab(self, url):
        return self._open("tab", url)

    def activate(self, tab):
        self.call("WebDriver:SwitchToWindow", handle=tab, focus=True)

    def navigate(self, tab, url):
        self.activate(tab)
        self.call("WebDriver:Navigate", url=url)

    def open_private_window(self, url):
        return self._open("window", url, private=True)

    def open_window(self, url):
        self.activate(self._normal)  # a window opened from a private one would be private too
        return self._open("window", url)

    def stop(self):
        try:
            self.call("Marionette:Quit", flags=["eForceQuit"])
        except Exception:
            pass  # the connection may close before the answer comes
        wait_for("Firefox to end", lambda: self.process.poll() is not None, 30)


if __name__ == "__main__":
    sys.exit(harness.main("browser_firefox", "firefox", "firefox-esr", Firefox))
