#!/usr/bin/env python3
"""Headless Firefox ESR with the real extension (packed as scripts/pack-extension packs it,
unsigned, in a fresh profile) and the real browser host, driven through Marionette: what Kelvo
sees of its tabs, its private windows, a host that dies or fails, and the browser's end.

    test_firefox.py PATH-TO-KELVO-BROWSER-HOST PATH-TO-TABPROBE"""
import json
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
import harness  # noqa: E402
from harness import CHAT_HOST, OTHER_HOST, fail, wait_for  # noqa: E402
from marionette import Marionette  # noqa: E402

EXTENSION_ID = "tab-bridge@kelvo"

PREFERENCES = {
    # The unsigned extension, copied into the profile, runs without asking.
    "xpinstall.signatures.required": False,
    "extensions.autoDisableScopes": 0,
    "extensions.enabledScopes": 15,
    # The test pages are plain HTTP on names of the test's own.
    "network.dns.localDomains": f"{CHAT_HOST},{OTHER_HOST}",
    "network.stricttransportsecurity.preloadlist": False,
    "dom.security.https_first": False,
    "dom.security.https_first_pbm": False,
    "dom.security.https_only_mode": False,
    "dom.security.https_only_mode_pbm": False,
    "network.proxy.type": 0,
    "marionette.port": 0,
    "browser.shell.checkDefaultBrowser": False,
    "browser.startup.page": 0,
}


def prepare_profile(run, profile):
    extensions = profile / "extensions"
    extensions.mkdir(parents=True)
    packed = subprocess.run([str(harness.SOURCE / "scripts" / "pack-extension"),
                             str(extensions / f"{EXTENSION_ID}.xpi")],
                            capture_output=True, text=True)
    if packed.returncode != 0:
        fail(f"scripts/pack-extension failed: {packed.stderr.strip()}")
    (profile / "user.js").write_text("".join(
        f"user_pref({json.dumps(name)}, {json.dumps(value)});\n"
        for name, value in PREFERENCES.items()))
    # What "Run in Private Windows" on the add-on's page stores.
    (profile / "extension-preferences.json").write_text(json.dumps(
        {EXTENSION_ID: {"permissions": ["internal:privateBrowsingAllowed"], "origins": []}}))
    run.host_manifest("firefox", run.home / ".mozilla" / "native-messaging-hosts")


class Firefox:
    def __init__(self, run):
        harness.require("firefox-esr")
        profile = run.root / "profile"
        prepare_profile(run, profile)
        self.process = run.start("firefox", [
            shutil.which("firefox-esr"), "--headless", "--no-remote", "--marionette",
            "--profile", str(profile), "about:blank"])
        port_file = profile / "MarionetteActivePort"
        wait_for("Firefox's Marionette port", lambda: port_file.exists() and port_file.read_text(),
                 60, watch=self.running)
        self.marionette = Marionette(port_file.read_text().strip())
        self.marionette.call("WebDriver:NewSession",
                             capabilities={"timeouts": {"pageLoad": 20000}})

    def running(self):
        if self.process.poll() is not None:
            fail(f"Firefox ended with status {self.process.returncode}")

    def _switch(self, handle):
        self.marionette.call("WebDriver:SwitchToWindow", handle=handle, focus=True)

    def _open(self, kind, url, private=False):
        handle = self.marionette.call("WebDriver:NewWindow", type=kind, private=private)["handle"]
        self._switch(handle)
        self.marionette.call("WebDriver:Navigate", url=url)
        if not private:
            self._normal = handle
        return handle

    # What check_browser drives.

    def open_tab(self, url):
        return self._open("tab", url)

    def activate(self, tab):
        self._switch(tab)

    def navigate(self, tab, url):
        self._switch(tab)
        self.marionette.call("WebDriver:Navigate", url=url)

    def open_private_window(self, url):
        return self._open("window", url, private=True)

    def open_window(self, url):
        # A window opened from a private one would be private too.
        self._switch(self._normal)
        return self._open("window", url)

    def stop(self):
        try:
            self.marionette.call("Marionette:Quit", flags=["eForceQuit"])
        except (OSError, harness.Failure, Exception):
            pass  # the connection may close before the answer comes
        wait_for("Firefox to end", lambda: self.process.poll() is not None, 30)


def test(host, tabprobe):
    with harness.Run("browser-firefox", host, tabprobe, "firefox", "firefox-esr") as run:
        port = run.serve(tls=False)
        run.step("Firefox starts with the extension, which starts the host")
        browser = Firefox(run)
        first = wait_for("the host's tab file", run.record, 30, watch=browser.running)
        if first[0] is not None:
            fail(f"the tab file holds {first[0]} while only about:blank is open")
        harness.check_browser(run, browser, "http", port)


if __name__ == "__main__":
    sys.exit(harness.main("browser_firefox", test))
