"""Shared by the browser tests: folders, a page server and a host wrapper of the run's own, what
Kelvo sees (the tab file and tabprobe), and the steps both browsers go through. Whatever a run
starts is stopped when it ends; the first failed check ends it with the end of every log."""
import json
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

SOURCE = pathlib.Path(__file__).resolve().parent.parent.parent
CHAT_HOST, OTHER_HOST = "chatgpt.com", "other.test"


class Failure(Exception):
    pass


def fail(reason):
    raise Failure(reason)


def wait_for(what, condition, timeout=10.0, watch=lambda: None):
    """condition()'s first true value, polled every 20 ms; watch() may fail the run meanwhile."""
    deadline = time.monotonic() + timeout
    while not (value := condition()):
        watch()
        if time.monotonic() > deadline:
            fail(f"gave up after {timeout:g} s waiting for {what}")
        time.sleep(0.02)
    return value


def watch_for(seconds, watch):
    """Calls watch() every 20 ms for that long: for what must not happen."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        watch()
        time.sleep(0.02)


def alive(pid):
    """Running: neither gone nor a zombie its parent has yet to reap."""
    try:
        return pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


class Run:
    """One test run, used as a context manager."""

    def __init__(self, name, host, tabprobe, browser_key, application_id):
        self.host, self.tabprobe = pathlib.Path(host).resolve(), tabprobe
        self.application_id = application_id
        self.root = pathlib.Path(tempfile.mkdtemp(prefix=f"kelvo-{name}."))
        self.home = self.root / "home"
        self.tab_file = self.root / "runtime" / "kelvo" / "tabs" / f"{browser_key}.json"
        self.host_wrapper = self.root / "kelvo-browser-host"
        self.host_starts, self.host_fails = self.root / "host-starts", self.root / "host-fails"
        self._processes = []
        self.started = time.monotonic()
        for folder in ("home", "runtime", "config", "cache", "data"):
            (self.root / folder).mkdir(mode=0o700)
        self.env = {key: value for key, value in os.environ.items()
                    if key not in ("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "SESSION_MANAGER")}
        self.env.update(HOME=str(self.home), XDG_RUNTIME_DIR=str(self.root / "runtime"),
                        XDG_CONFIG_HOME=str(self.root / "config"),
                        XDG_CACHE_HOME=str(self.root / "cache"),
                        XDG_DATA_HOME=str(self.root / "data"),
                        DBUS_SESSION_BUS_ADDRESS=f"unix:path={self.root}/no-session-bus",
                        LC_ALL="C.UTF-8")
        # Counts its starts, fails while host-fails exists, and otherwise becomes the real host
        # (the same process, so the host still sees the browser as its parent).
        self.host_wrapper.write_text(
            f"#!/bin/sh\necho \"$$\" >>'{self.host_starts}'\n[ -e '{self.host_fails}' ] && exit 1\n"
            f"exec '{self.host}' \"$@\" 2>>'{self.root}/host.log'\n")
        self.host_wrapper.chmod(0o755)

    def __enter__(self):
        return self

    def __exit__(self, kind, error, _):
        for process in reversed(self._processes):
            for sig in (signal.SIGTERM, signal.SIGKILL):
                try:
                    os.killpg(process.pid, sig)
                    process.wait(10)
                    break
                except ProcessLookupError:
                    break
                except subprocess.TimeoutExpired:
                    pass
        for pid in self.host_pids():
            if alive(pid) and pathlib.Path(f"/proc/{pid}/exe").resolve() == self.host:
                os.kill(pid, signal.SIGKILL)
        if error is not None:
            for log in sorted(self.root.glob("*.log")):
                print(f"--- {log.name} (last lines)", file=sys.stderr)
                for line in log.read_text(errors="replace").splitlines()[-15:]:
                    print(f"    {line}", file=sys.stderr)
        shutil.rmtree(self.root, ignore_errors=True)

    def start(self, name, argv, **kwargs):
        """Starts a process in a process group of its own, its output in NAME.log."""
        with open(self.root / f"{name}.log", "ab") as log:
            process = subprocess.Popen(argv, env=self.env, stdin=subprocess.DEVNULL, stdout=log,
                                       stderr=subprocess.STDOUT, start_new_session=True, **kwargs)
        self._processes.append(process)
        return process

    def step(self, text):
        print(f"[{time.monotonic() - self.started:6.1f} s] {text}", flush=True)

    def serve(self):
        """An HTTPS page server for both test host names, with a certificate of the run's own;
        sets self.port."""
        certificate, key = self.root / "cert.pem", self.root / "key.pem"
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", f"/CN={CHAT_HOST}",
                        "-addext", f"subjectAltName=DNS:{CHAT_HOST},DNS:{OTHER_HOST}",
                        "-keyout", key, "-out", certificate], capture_output=True, check=True)
        port_file = self.root / "port"
        server = self.start("server", [sys.executable, SOURCE / "tests" / "browser" / "serve.py",
                                       port_file, certificate, key])
        wait_for("the page server", port_file.exists, watch=lambda: server.poll() is None or fail(
            "the page server did not start"))
        self.port = int(port_file.read_text())

    def host_manifest(self, kind, folder):
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "kelvo.browser_host.json").write_bytes(subprocess.run(
            [SOURCE / "scripts" / "host-manifest", kind, self.host_wrapper],
            capture_output=True, check=True).stdout)

    def record(self):
        """The tab file as (origin, pid), or None when there is none or it is unreadable."""
        try:
            data = json.loads(self.tab_file.read_text())
            return data["origin"], data["pid"]
        except (OSError, ValueError, KeyError, TypeError):
            return None

    def probe(self):
        return subprocess.run([self.tabprobe, self.application_id], env=self.env, check=True,
                              capture_output=True, text=True, timeout=30).stdout.strip()

    def host_pids(self):
        try:
            return [int(line) for line in self.host_starts.read_text().split()]
        except OSError:
            return []


def expect(run, origin, seen, what, watch=lambda: None, timeout=10):
    """Waits for the tab file to hold origin from a live host, then for tabprobe to say seen.
    Returns the host's pid."""
    def current():
        record = run.record()
        return record and record[0] == origin and alive(record[1]) and record[1]

    try:
        pid = wait_for(f"{what}: the tab file to hold {origin}", current, timeout, watch)
    except Failure as failure:
        fail(f"{failure} (it holds {run.record()})")
    if (line := run.probe()) != seen:
        fail(f"{what}: tabprobe printed {line!r}, not {seen!r}")
    return pid


def kill_host(pid):
    """Kills the host and waits until the browser has reaped it, so the browser has seen the
    port close before the next event."""
    os.kill(pid, signal.SIGKILL)
    wait_for(f"the browser to reap the killed host {pid}", lambda: not os.path.exists(
        f"/proc/{pid}"))


def check_browser(run, browser):
    """The steps both browsers go through. browser drives tabs: open_tab(url), activate(tab),
    navigate(tab, url), open_private_window(url), open_window(url), stop()."""
    chat, other = f"https://{CHAT_HOST}:{run.port}", f"https://{OTHER_HOST}:{run.port}"
    seen_chat = f"ChatGPT 网页 {CHAT_HOST} {chat}"
    first = wait_for("the host's tab file", run.record, 30, watch=browser.running)
    if first[0] is not None:
        fail(f"the tab file holds {first[0]} while only about:blank is open")

    run.step("tabs in a normal window")
    tab = browser.open_tab(f"{chat}/c/abc?q=private#part")
    expect(run, chat, seen_chat, "a tab on chatgpt.com")
    browser.open_tab(f"{other}/")
    expect(run, other, "none", "a tab on other.test")
    browser.activate(tab)
    expect(run, chat, seen_chat, "the chatgpt.com tab activated again")
    browser.navigate(tab, f"{other}/next")
    expect(run, other, "none", "the chatgpt.com tab navigated to other.test")

    run.step("a private window on chatgpt.com is no tab at all")

    def never_chat():
        if (record := run.record()) and record[0] == chat:
            fail("the tab file shows chatgpt.com while only a private window shows it")

    private = browser.open_private_window(f"{chat}/private")
    expect(run, None, "none", "the private window in front", watch=never_chat)
    browser.navigate(private, f"{chat}/private/next")
    watch_for(1.0, never_chat)
    window = browser.open_window(f"{chat}/again")
    host = expect(run, chat, seen_chat, "a new normal window on chatgpt.com")

    run.step("the host dies: the next event starts a new one")
    kill_host(host)
    browser.navigate(window, f"{other}/after")
    host = expect(run, other, "none", "a new host after the next event")

    run.step("a failing host is not started again and again; the event that waited still counts")
    run.host_fails.touch()
    starts = len(run.host_pids())
    kill_host(host)
    for round in range(5):
        browser.navigate(window, f"{chat if round % 2 == 0 else other}/round{round}")
    wait_for("an attempt to start the host again", lambda: len(run.host_pids()) > starts)

    def calm():
        if (attempts := len(run.host_pids()) - starts) > 3:
            fail(f"{attempts} attempts to start a failing host within a few seconds")

    watch_for(1.0, calm)
    run.host_fails.unlink()
    browser.navigate(window, f"{chat}/back")
    host = expect(run, chat, seen_chat, "the host back at the next event", calm, timeout=15)

    run.step("the browser ends: the host ends and removes the tab file")
    browser.stop()
    wait_for("the host to end with the browser", lambda: not alive(host), 15)
    wait_for("the host to remove the tab file", lambda: not run.tab_file.exists())
    if (errors := (run.root / "host.log").read_text()):
        fail(f"the host complained:\n{errors}")


def main(name, browser_key, application_id, browser):
    """Runs check_browser on browser(run), with the paths of the host and of tabprobe from the
    command line; returns the exit status."""
    # Stopped from outside (a time limit, Ctrl+C): the browser is stopped too.
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, lambda number, _: fail(f"stopped by signal {number}"))
    try:
        with Run(name, *sys.argv[1:3], browser_key, application_id) as run:
            run.serve()
            run.step(f"{name}: the browser starts with the extension, which starts the host")
            check_browser(run, browser(run))
    except Exception as error:
        if not isinstance(error, Failure):
            traceback.print_exc()
        print(f"FAIL: {name}: {error}", file=sys.stderr)
        return 1
    print(f"ok: {name}")
    return 0
