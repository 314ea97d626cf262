#!/usr/bin/env python3
"""Runs the fault program for each kind of fault and checks the fatal report
byte for byte (the address aside) and the exit status; then checks that the
console program boots and ends with status 0."""
import re
import subprocess
import sys

fault_program, zel = sys.argv[1], sys.argv[2]

# (fault, exit status, message); message None means a quiet end.
CASES = [
    ("segv", 1, "access violation"),
    ("divide", 13, "integer divide by zero"),
    ("stack", 19, "stack error or overflow"),
    ("throw", 95, "no CATCH for THROW"),
    ("oom", 94, "out of memory"),
    ("quit", 0, None),
    ("none", 0, None),
]

failures = 0
for fault, status, message in CASES:
    p = subprocess.run([fault_program, fault], capture_output=True, timeout=60)
    out = p.stdout.decode("latin-1")
    if message is None:
        expected = re.escape("before the fault\n")
    else:
        expected = (re.escape("before the fault\n\n*** Runtime Error %d: %s\n*** at: " % (status, message))
                    + r"[0-9A-F]{8,16}h\n")
    ok = p.returncode == status and re.fullmatch(expected, out)
    if not ok:
        failures += 1
        print("FAIL %s: status %d (want %d), output %r" % (fault, p.returncode, status, out))

p = subprocess.run([zel], capture_output=True, timeout=60, stdin=subprocess.DEVNULL)
if p.returncode != 0:
    failures += 1
    print("FAIL zel boot: status %d, output %r %r" % (p.returncode, p.stdout, p.stderr))

print("%d passed, %d failed" % (len(CASES) + 1 - failures, failures))
sys.exit(1 if failures else 0)
