"""Shared by the browser tests: a folder, a home and a runtime folder of the run's own, a page
server, the real browser host behind a small wrapper that counts its starts, tabprobe, and the
steps every browser goes through. Whatever a run starts is stopped when it ends; the first failed
check ends the run with its reason and the end of every log."""
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

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = HERE.parent.parent
CHAT_HOST = "chatgpt.com"
OTHER_HOST = "other.test"


class Failure(Exception):
    pass


def fail(reason):
    raise Failure(reason)


def require(*programs):
    for program in programs:
        if not shutil.which(program):
            fail(f"{program} is missing; scripts/setup installs it")


def wait_for(what, condition, timeout=10.0, watch=None):
    """Returns condition()'s first true value, polling every 20 ms; fails after the timeout.
    watch, when given, is checked on every round and fails the run as soon as it says so."""
    deadline = time.monotonic() + timeout
    while True:
        if watch:
            watch()
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            fail(f"gave up after {timeout:g} s waiting for {what}")
        time.sleep(0.02)


def watch_for(seconds, watch):
    """Checks watch every 20 ms for that long: for what must not happen."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        watch()
        time.sleep(0.02)


def process_reaped(pid):
    """The process has ended and its parent has taken note (it has left the process table)."""
    return not os.path.exists(f"/proc/{pid}")


def process_gone(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return True
    except PermissionError:
        return False
    # A zombie has ended; only its parent can still reap it.
    try:
        return pathlib.Path(f"/proc/{pid}/stat").read_text().split(")")[-1].split()[0] == "Z"
    except OSError:
        return True


class Run:
    """One test run, used as a context manager."""

    def __init__(self, name, host, tabprobe, browser_key, application_id):
        self.name = name
        self.host = pathlib.Path(host).resolve()
        self.tabprobe_path = pathlib.Path(tabprobe).resolve()
        self.browser_key = browser_key
        self.application_id = application_id
        for path in (self.host, self.tabprobe_path):
            if not os.access(path, os.X_OK):
                fail(f"{path} is not an executable; build it first")
        self.root = pathlib.Path(tempfile.mkdtemp(prefix=f"kelvo-{name}."))
        self.home = self.root / "home"
        self.runtime = self.root / "runtime"
        self.tab_file = self.runtime / "kelvo" / "tabs" / f"{browser_key}.json"
        self.host_wrapper = self.root / "kelvo-browser-host"
        self.host_log = self.root / "host.err"
        self.host_starts = self.root / "host-starts"
        self.host_fails = self.root / "host-fails"
        self._processes = []
        self.started = time.monotonic()
        self._prepare()

    def _prepare(self):
        for folder in ("home", "runtime", "config", "cache", "data"):
            (self.root / folder).mkdir(mode=0o700)
        self.env = {key: value for key, value in os.environ.items()
                    if key not in ("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY",
                                   "DBUS_SESSION_BUS_ADDRESS", "SESSION_MANAGER")}
        self.env.update(HOME=str(self.home), XDG_RUNTIME_DIR=str(self.runtime),
                        XDG_CONFIG_HOME=str(self.root / "config"),
                        XDG_CACHE_HOME=str(self.root / "cache"),
                        XDG_DATA_HOME=str(self.root / "data"),
                        DBUS_SESSION_BUS_ADDRESS=f"unix:path={self.root}/no-session-bus",
                        LC_ALL="C.UTF-8")
        # The browser starts the wrapper; it counts the start, fails on purpose while the
        # host-fails file exists, and otherwise becomes the real host (same process, so the
        # host still sees the browser as its parent).
        self.host_wrapper.write_text(
            "#!/bin/sh\n"
            f"echo \"$$\" >>'{self.host_starts}'\n"
            f"[ -e '{self.host_fails}' ] && exit 1\n"
            f"exec '{self.host}' \"$@\" 2>>'{self.host_log}'\n")
        self.host_wrapper.chmod(0o755)

    def __enter__(self):
        return self

    def __exit__(self, kind, error, _):
        self.stop_all()
        if error is not None:
            self._show_logs()
        shutil.rmtree(self.root, ignore_errors=True)
        return False

    def start(self, name, argv, **kwargs):
        """Starts a process in a process group of its own, its output in NAME.log."""
        log = open(self.root / f"{name}.log", "ab")
        process = subprocess.Popen(argv, env=kwargs.pop("env", self.env), stdin=subprocess.DEVNULL,
                                   stdout=log, stderr=subprocess.STDOUT, start_new_session=True,
                                   **kwargs)
        log.close()
        self._processes.append(process)
        return process

    def stop(self, process, timeout=10):
        """SIGTERM to the process's group; whatever of it is left after the timeout is killed."""
        for sig, limit in ((signal.SIGTERM, timeout), (signal.SIGKILL, 5)):
            try:
                os.killpg(process.pid, sig)
            except ProcessLookupError:
                pass
            try:
                process.wait(limit)
                return
            except subprocess.TimeoutExpired:
                continue

    def stop_all(self):
        for process in reversed(self._processes):
            if process.poll() is None:
                self.stop(process)
            try:
                os.killpg(process.pid, signal.SIGKILL)  # helpers the process left behind
            except (ProcessLookupError, PermissionError):
                pass
        for pid in self.host_pids():
            if not process_gone(pid) and self._is_host(pid):
                os.kill(pid, signal.SIGKILL)

    def _is_host(self, pid):
        try:
            return pathlib.Path(f"/proc/{pid}/exe").resolve() == self.host
        except OSError:
            return False

    def _show_logs(self):
        for log in sorted(self.root.glob("*.log")) + [self.host_log, self.host_starts]:
            if log.exists():
                lines = log.read_text(errors="replace").splitlines()[-15:]
                print(f"--- {log.name} (last lines)", file=sys.stderr)
                for line in lines:
                    print(f"    {line}", file=sys.stderr)

    def step(self, text):
        print(f"[{time.monotonic() - self.started:6.1f} s] {text}", flush=True)

    def serve(self, tls):
        """A page server for every test host name; returns its port."""
        arguments = []
        if tls:
            certificate, key = self.root / "cert.pem", self.root / "key.pem"
            result = subprocess.run(
                ["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                 "-subj", f"/CN={CHAT_HOST}",
                 "-addext", f"subjectAltName=DNS:{CHAT_HOST},DNS:{OTHER_HOST}",
                 "-keyout", str(key), "-out", str(certificate)], capture_output=True, text=True)
            if result.returncode != 0:
                fail(f"openssl could not make a test certificate: {result.stderr.strip()}")
            arguments = [str(certificate), str(key)]
        port_file = self.root / "port"
        server = self.start("server", [sys.executable, str(HERE / "serve.py"), str(port_file),
                                       *arguments])
        wait_for("the page server", lambda: port_file.exists() or server.poll() is not None)
        if server.poll() is not None:
            fail("the page server did not start")
        return int(port_file.read_text())

    def host_manifest(self, kind, folder):
        folder.mkdir(parents=True, exist_ok=True)
        result = subprocess.run([str(SOURCE / "scripts" / "host-manifest"), kind,
                                 str(self.host_wrapper)], capture_output=True, text=True)
        if result.returncode != 0:
            fail(f"scripts/host-manifest failed: {result.stderr.strip()}")
        (folder / "kelvo.browser_host.json").write_text(result.stdout)

    # What Kelvo sees.

    def record(self):
        """The tab file as (origin, pid), or None when there is none or it is unreadable."""
        try:
            data = json.loads(self.tab_file.read_text())
        except (OSError, ValueError):
            return None
        if not isinstance(data, dict) or not isinstance(data.get("pid"), int):
            return None
        return data.get("origin"), data["pid"]

    def probe(self):
        result = subprocess.run([str(self.tabprobe_path), self.application_id],
                                env=self.env, capture_output=True, text=True, timeout=30)
        if result.returncode != 0:
            fail(f"tabprobe ended with status {result.returncode}: {result.stderr.strip()}")
        return result.stdout.strip()

    def host_pids(self):
        try:
            return [int(line) for line in self.host_starts.read_text().split()]
        except (OSError, ValueError):
            return []

    def host_errors(self):
        try:
            return self.host_log.read_text(errors="replace")
        except OSError:
            return ""


def expect(run, origin, seen, what, watch=None, timeout=10):
    """Waits for the tab file to hold origin from a live host, then for tabprobe to say seen.
    Returns the record."""
    def current():
        record = run.record()
        return record if record and record[0] == origin and not process_gone(record[1]) else None

    try:
        record = wait_for(f"{what}: the tab file to hold {origin}", current, timeout, watch)
    except Failure as failure:
        fail(f"{failure} (it holds {run.record()})")
    line = run.probe()
    if line != seen:
        fail(f"{what}: tabprobe printed {line!r}, not {seen!r}")
    return record


def kill_host(run, pid):
    """Kills the host and waits until the browser has reaped it, so the browser has seen the
    port close before the next event."""
    os.kill(pid, signal.SIGKILL)
    wait_for(f"the browser to reap the killed host {pid}", lambda: process_reaped(pid))


def check_browser(run, browser, scheme, port):
    """The steps every browser goes through. browser opens and drives tabs: open_tab(url),
    activate(tab), navigate(tab, url), open_private_window(url), open_window(url), stop()."""
    chat, other = f"{scheme}://{CHAT_HOST}:{port}", f"{scheme}://{OTHER_HOST}:{port}"
    seen_chat = f"ChatGPT 网页 {CHAT_HOST} {chat}"

    run.step("tabs in a normal window")
    first = browser.open_tab(f"{chat}/c/abc?q=private#part")
    expect(run, chat, seen_chat, "a tab on chatgpt.com")
    browser.open_tab(f"{other}/")
    expect(run, other, "none", "a tab on other.test")
    browser.activate(first)
    expect(run, chat, seen_chat, "the chatgpt.com tab activated again")
    browser.navigate(first, f"{other}/next")
    expect(run, other, "none", "the chatgpt.com tab navigated to other.test")

    run.step("a private window on chatgpt.com")

    def never_chat():
        record = run.record()
        if record and record[0] == chat:
            fail("the tab file shows chatgpt.com while only a private window shows it")

    private = browser.open_private_window(f"{chat}/private")
    # The tab file turning to no tab proves the extension saw the private window.
    expect(run, None, "none", "the private window in front", watch=never_chat)
    browser.navigate(private, f"{chat}/private/next")
    watch_for(1.0, never_chat)

    run.step("a normal window again")
    window = browser.open_window(f"{chat}/again")
    host = expect(run, chat, seen_chat, "a new normal window on chatgpt.com")[1]

    run.step("the host dies: the next event starts a new one")
    kill_host(run, host)
    if run.probe() != "none":
        fail("tabprobe still reports the tab of a host that has ended")
    browser.navigate(window, f"{other}/after")
    replaced = expect(run, other, "none", "a new host after the next event")[1]
    if replaced == host:
        fail("the tab file still names the killed host")

    run.step("a failing host is not retried in a loop; the next event after it is back works")
    run.host_fails.touch()
    starts = len(run.host_pids())
    kill_host(run, replaced)
    for round in range(5):
        browser.navigate(window, f"{chat if round % 2 == 0 else other}/round{round}")
    wait_for("an attempt to start the host again", lambda: len(run.host_pids()) > starts)

    def calm():
        attempts = len(run.host_pids()) - starts
        if attempts > 3:
            fail(f"{attempts} attempts to start a failing host within a few seconds")

    watch_for(1.0, calm)
    run.host_fails.unlink()
    browser.navigate(window, f"{chat}/back")
    last = expect(run, chat, seen_chat, "the host back at the next event", watch=calm, timeout=15)

    run.step("the browser ends: the host ends and removes the tab file")
    browser.stop()
    wait_for("the host to end with the browser", lambda: process_gone(last[1]), 15)
    wait_for("the host to remove the tab file", lambda: not run.tab_file.exists())

    errors = run.host_errors()
    if "ignored a message" in errors:
        fail(f"the host rejected a message of the extension:\n{errors}")
    if "Sanitizer" in errors or "runtime error:" in errors:
        fail(f"the host reported a fault:\n{errors}")


def main(name, test):
    """Runs test(HOST, TABPROBE) with the paths from the command line; returns the exit status."""
    if len(sys.argv) != 3:
        print(f"usage: {sys.argv[0]} PATH-TO-KELVO-BROWSER-HOST PATH-TO-TABPROBE", file=sys.stderr)
        return 2
    # Stopped from outside (a time limit, Ctrl+C): the browsers started are stopped too.
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, lambda number, _: fail(f"stopped by signal {number}"))
    try:
        test(sys.argv[1], sys.argv[2])
    except Failure as failure:
        print(f"FAIL: {name}: {failure}", file=sys.stderr)
        return 1
    except Exception as error:  # a browser that stops answering, for one
        traceback.print_exc()
        print(f"FAIL: {name}: {type(error).__name__}: {error}", file=sys.stderr)
        return 1
    print(f"ok: {name}")
    return 0
