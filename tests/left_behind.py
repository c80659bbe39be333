"""Fails a test run that leaves processes behind.

`make test` gives the tests the environment variable QUORVEX_TEST_RUN with a
mark of the run, which every process they start inherits, whatever it
starts in turn (session buses, their services, compositors, screen readers).
Run after the tests with the mark: waits a moment for processes that are
still ending, then names each process of the run that is still there, ends
it and exits with 1. Processes of other runs and of the machine carry
another mark or none, and are left alone.
"""

import os
import signal
import sys
import time


def of_run(mark):
    """{pid: command line} of the running processes that carry the mark."""
    wanted = b"QUORVEX_TEST_RUN=" + mark.encode()
    found = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit() or int(entry) == os.getpid():
            continue
        try:
            with open("/proc/%s/environ" % entry, "rb") as stream:
                if wanted not in stream.read().split(b"\0"):
                    continue
            with open("/proc/%s/cmdline" % entry, "rb") as stream:
                found[int(entry)] = stream.read().replace(b"\0", b" ").decode(
                    "utf-8", "replace").strip()
        except OSError:
            continue  # ended meanwhile, or another user's that cannot be read
    return found


def main():
    if len(sys.argv) != 2 or not sys.argv[1]:
        sys.exit("usage: left_behind.py MARK")
    mark = sys.argv[1]
    deadline = time.monotonic() + 10
    while (left := of_run(mark)) and time.monotonic() < deadline:
        time.sleep(0.2)
    if not left:
        return 0
    print("The tests left %d processes running:" % len(left), file=sys.stderr)
    for pid, command in sorted(left.items()):
        print("  %d %s" % (pid, command), file=sys.stderr)
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass
    return 1


if __name__ == "__main__":
    sys.exit(main())
