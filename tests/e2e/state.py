#!/usr/bin/env python3
"""Prints the sessions in Kelvo's state.json FILE for the end-to-end tests, one tab-separated line
each: appName, bundleIdentifier, startedAt, endedAt, firstReminderShownAt (times in epoch seconds,
"-" when absent). Exits with status 1 when the file is missing or is not a state document."""
import calendar
import json
import sys
import time


def epoch(text):
    return "-" if text is None else str(calendar.timegm(time.strptime(text, "%Y-%m-%dT%H:%M:%SZ")))


def main(path):
    try:
        with open(path, encoding="utf-8") as file:
            state = json.load(file)
        sessions, _ = state["sessions"], state["reminderEvents"]
    except (OSError, ValueError, KeyError, TypeError):
        return 1
    for s in sessions:
        print("\t".join([s["appName"], s.get("bundleIdentifier", "-"), epoch(s["startedAt"]),
                         epoch(s["endedAt"]), epoch(s.get("firstReminderShownAt"))]))
    return 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
