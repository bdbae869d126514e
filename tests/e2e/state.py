#!/usr/bin/env python3
"""Reads Kelvo's state.json for the end-to-end tests: `sessions FILE` prints one tab-separated
line per session (appName, bundleIdentifier, startedAt, endedAt, firstReminderShownAt; times in
epoch seconds, "-" when absent), `get FILE KEY` a top-level key's text (empty when absent),
`events FILE KIND` how many reminder events of that kind it holds. Exits with status 1 when the
file is missing or is not a state document."""
import calendar
import json
import sys
import time


def epoch(text):
    if text is None:
        return "-"
    return str(calendar.timegm(time.strptime(text, "%Y-%m-%dT%H:%M:%SZ")))


def main(command, path, *rest):
    try:
        with open(path, encoding="utf-8") as file:
            state = json.load(file)
        sessions = state["sessions"]
        events = state["reminderEvents"]
    except (OSError, ValueError, KeyError, TypeError):
        return 1
    if command == "sessions":
        for s in sessions:
            print("\t".join([s["appName"], s.get("bundleIdentifier", "-"), epoch(s["startedAt"]),
                             epoch(s["endedAt"]), epoch(s.get("firstReminderShownAt"))]))
    elif command == "get":
        value = state.get(rest[0])
        print("" if value is None else value)
    elif command == "events":
        print(sum(1 for e in events if e.get("kind") == rest[0]))
    else:
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
