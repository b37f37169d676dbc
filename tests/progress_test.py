#!/usr/bin/env python3
"""The progress line, as a person at a terminal sees it.

Runs a program for a few seconds with standard error on a pseudo-terminal
and checks the line: it appears after a second, is rewritten in place (each
time after a carriage return) at most a few times a second, says how far the
run is with a percentage, and is cleared at the end, leaving the terminal as
it was. The same run with -q, or with standard error not a terminal, writes
nothing there.

    progress_test.py linkshare|leaklevels PROGRAM SCRATCH
"""
import os
import pty
import re
import shutil
import subprocess
import sys
import time


def make_input(kind, folder):
    """A generator command whose output the program reads on its standard input."""
    if kind == "linkshare":
        # 4,000,000 downloads: an arrival every unit or two, sizes 1..400, S = 100
        return ["awk", "BEGIN { n = 4000000; print n, 100; "
                "for (i = 0; i < n; i++) print int(i * 1.5), 1 + (i * 7919) % 400 }"]
    # one vase over 150,000,000 steps
    return ["printf", "1 150000000\n2000000000 1\n"]


def run(kind, program, folder, stderr_on_terminal, quiet=False):
    generator = subprocess.Popen(make_input(kind, folder), stdout=subprocess.PIPE, cwd=folder)
    command = [program, "-i", "-", "-o", os.path.join(folder, "out")] + (["-q"] if quiet else [])
    started = time.monotonic()
    if stderr_on_terminal:
        master, slave = pty.openpty()
        child = subprocess.Popen(command, stdin=generator.stdout, stdout=subprocess.DEVNULL,
                                 stderr=slave, cwd=folder)
        os.close(slave)
        seen = b""
        while True:
            try:
                data = os.read(master, 4096)
            except OSError:  # the terminal's other end closed
                break
            if not data:
                break
            seen += data
        os.close(master)
    else:
        child = subprocess.Popen(command, stdin=generator.stdout, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.PIPE, cwd=folder)
        seen = child.stderr.read()
    generator.stdout.close()
    status = child.wait()
    generator.wait()
    return status, seen.decode("utf-8"), time.monotonic() - started


def main():
    kind, program, folder = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3]
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    failures = []

    status, seen, seconds = run(kind, program, folder, stderr_on_terminal=True)
    if status != 0:
        failures.append(f"terminal run: status {status}, {seen!r}")
    lines = [part for part in seen.split("\r") if part.strip()]
    if not lines:
        failures.append(f"terminal run of {seconds:.1f} s: no progress line")
    else:
        unit = "downloads read" if kind == "linkshare" else "steps written"
        for line in lines:
            if not re.fullmatch(rf"{kind}: [0-9,]+ of [0-9,]+ .*{unit}.*\([0-9]+%\) *", line):
                failures.append(f"not a progress line: {line!r}")
        if len(lines) > 4 * seconds + 2:
            failures.append(f"{len(lines)} progress lines in {seconds:.1f} s: more than 4 a second")
        # Cleared at the end: blanks over the whole line, and back to its start.
        if not re.search(r"\r +\r$", seen):
            failures.append(f"the line is not cleared at the end: {seen[-80:]!r}")
        if "\n" in seen:
            failures.append("the progress line ended a line")
    print(f"terminal run: {seconds:.1f} s, {len(lines)} progress lines, the last: {lines[-1].strip() if lines else ''}")

    status, seen, _ = run(kind, program, folder, stderr_on_terminal=True, quiet=True)
    if status != 0 or seen:
        failures.append(f"-q on a terminal: status {status}, wrote {seen!r}")
    status, seen, _ = run(kind, program, folder, stderr_on_terminal=False)
    if status != 0 or seen:
        failures.append(f"stderr not a terminal: status {status}, wrote {seen!r}")

    shutil.rmtree(folder, ignore_errors=True)
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
