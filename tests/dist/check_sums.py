#!/usr/bin/env python3
"""Checks build/dist's SHA256SUMS against what the folder ships.

    check_sums.py DIST NAME...

NAME... are the shipped files. SHA256SUMS must be in sha256sum's format, list
each of them once and nothing else, and `sha256sum --check` must accept it; the
folder must hold nothing but those files and SHA256SUMS.
"""
import os
import re
import subprocess
import sys

LINE = re.compile(r"^([0-9a-f]{64})  ([^/\n]+)$")


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    dist, shipped = sys.argv[1], sys.argv[2:]
    sums = os.path.join(dist, "SHA256SUMS")
    if not os.path.isfile(sums):
        sys.exit("no SHA256SUMS in %s: build the i686 tree (scripts/build.sh)" % dist)
    failures = []

    def note(condition, message):
        print(("ok   " if condition else "FAIL ") + message)
        if not condition:
            failures.append(message)

    with open(sums, "rb") as f:
        text = f.read().decode("ascii", "replace")
    lines = text.splitlines()
    note(text.endswith("\n") and lines, "SHA256SUMS is non-empty and ends with a newline")
    bad = [line for line in lines if not LINE.match(line)]
    note(not bad, "every line is '<64 hex digits>  <name>'" + (" (not: %s)" % bad if bad else ""))
    listed = [LINE.match(line).group(2) for line in lines if LINE.match(line)]
    note(sorted(listed) == sorted(shipped),
         "lists exactly the shipped files %s (lists %s)" % (sorted(shipped), listed))
    present = sorted(n for n in os.listdir(dist) if n != "SHA256SUMS")
    note(present == sorted(shipped), "the folder holds only the shipped files (holds %s)" % present)
    check = subprocess.run(["sha256sum", "--check", "--strict", "SHA256SUMS"], cwd=dist,
                           capture_output=True, text=True)
    for line in (check.stdout + check.stderr).splitlines():
        print("     " + line)
    note(check.returncode == 0, "sha256sum --check accepts every digest")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
