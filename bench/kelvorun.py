"""The running program as the benchmark scripts measure it: its standard error a line at a time,
with the moment each line came; its CPU time and memory from /proc; the sessions it has stored;
and the delay from a window switch to the session opening, which it shows as a "[Kelvo]
Reminder" line on standard error (reminders go there without a notification daemon)."""
import os
import queue
import signal
import statistics
import subprocess
import sys
import threading
import time


class Kelvo:
    def __init__(self, argv, state, script):
        self.state, self.script = state, script
        self.process = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.process.stderr:
            self.lines.put((time.monotonic(), raw.decode(errors="replace")))

    def fail(self, what):
        """Ends the benchmark, and the program with it, with what the program said last."""
        self.process.kill()
        self.process.wait()
        said = "".join(line for _, line in list(self.lines.queue)[-10:])
        sys.exit(f"{self.script}: {what}" + (f"\nKelvo said last:\n{said}" if said else ""))

    def wait_for(self, what, condition, seconds=10):
        deadline = time.monotonic() + seconds
        while not condition():
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.fail(f"gave up waiting for {what}")
            time.sleep(0.01)

    def cpu_seconds(self):
        with open(f"/proc/{self.process.pid}/stat") as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def status_kib(self, key):
        with open(f"/proc/{self.process.pid}/status") as status:
            for line in status:
                if line.startswith(key + ":"):
                    return int(line.split()[1])
        return 0

    def stored_sessions(self):
        """Counted without parsing the file: only sessions have an endedAt."""
        try:
            with open(self.state, encoding="utf-8") as file:
                return file.read().count('"endedAt"')
        except OSError:
            return 0

    def idle(self, seconds):
        """Once the program has started and settled: the span and the CPU seconds it used."""
        self.wait_for("Kelvo to start", lambda: os.path.exists(self.state))
        time.sleep(1)
        began, before = time.monotonic(), self.cpu_seconds()
        time.sleep(seconds)
        return time.monotonic() - began, self.cpu_seconds() - before

    def switch_delays(self, count, to_chat, away):
        """Milliseconds from each switch to a ChatGPT window to its session opening. to_chat()
        asks for the switch and returns the moment it asked; away() puts another window in
        front, whose session is then stored."""
        delays = []
        for _ in range(count):
            while not self.lines.empty():
                self.lines.get()
            sessions = self.stored_sessions()
            sent = to_chat()
            deadline = sent + 5
            while True:
                try:
                    at, line = self.lines.get(timeout=max(0.0, deadline - time.monotonic()))
                except queue.Empty:
                    self.fail("no reminder within 5 s of the switch")
                if line.startswith("[Kelvo] Reminder"):
                    delays.append((at - sent) * 1000)
                    break
            away()
            self.wait_for("the session to be stored", lambda: self.stored_sessions() > sessions, 5)
            time.sleep(0.2)
        return delays

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        self.process.wait(10)


def print_delays(title, delays, tool=None, tool_runs=()):
    print(f"{title} ({len(delays)} switches)")
    print(f"  median                         {statistics.median(delays):10.1f} ms   (goal <= 100)")
    print(f"  max                            {max(delays):10.1f} ms")
    if tool_runs:
        label = f"{tool}'s own run, within it"
        print(f"  {label:<31}{statistics.median(tool_runs) * 1000:10.1f} ms   (median)")


def timed(runs, command):
    """Runs the command, adds its run time to runs; returns the moment it started."""
    sent = time.monotonic()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    runs.append(time.monotonic() - sent)
    return sent
