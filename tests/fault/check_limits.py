#!/usr/bin/env python3
"""Runs `zel` where the process meets the limits of its surroundings and checks
that each ends in a language error, not an abort or endless work:

- standard output that refuses bytes (/dev/full, a pipe whose reader left):
  the script ends with a non-zero status and the report on standard error;
- a memory limit (ulimit -v) met while reading an endless device or capturing
  a huge output: the no-memory error, which try catches; the script loader
  given an endless device reports that error and starts the console.

Usage: check_limits.py path/to/zel [--no-memory-limit]
(the memory cases are skipped when the build reserves address space of its
own, as the address sanitizer does)."""
import os
import signal
import subprocess
import sys
import tempfile

ZEL = sys.argv[1]
MEMORY_CASES = "--no-memory-limit" not in sys.argv[2:]
LIMIT_KB = 1000000
failures = 0
checked = 0


def check(name, ok, detail):
    global failures, checked
    checked += 1
    if not ok:
        failures += 1
        print(f"FAIL {name}: {detail}")


def script(tmp, name, text):
    path = os.path.join(tmp, name)
    with open(path, "w") as f:
        f.write("Zel []\n" + text)  # the console runs scripts with a header
    return path


def limited(args):
    """Runs zel under the memory limit, in a shell of its own."""
    command = f"ulimit -v {LIMIT_KB}; exec " + " ".join(args)
    return subprocess.run(["bash", "-c", command], capture_output=True, timeout=120, stdin=subprocess.DEVNULL)


with tempfile.TemporaryDirectory() as tmp:
    ok = script(tmp, "ok.zel", 'print "ok"\n')
    with open("/dev/full", "w") as full:
        p = subprocess.run([ZEL, ok], stdout=full, stderr=subprocess.PIPE, timeout=60)
    check("print into /dev/full", p.returncode == 254 and b"*** Access Error: cannot open: %/dev/stdout" in p.stderr,
          f"status {p.returncode}, stderr {p.stderr!r}")

    caught = script(tmp, "caught.zel", 'e: try [print "x"] quit/return either error? e [3] [4]\n')
    with open("/dev/full", "w") as full:
        p = subprocess.run([ZEL, caught], stdout=full, stderr=subprocess.PIPE, timeout=60)
    check("a failed print is an error try catches", p.returncode == 3, f"status {p.returncode}, stderr {p.stderr!r}")

    loop = script(tmp, "loop.zel", 'forever [print "line"]\n')
    pipeline = subprocess.Popen(f"'{ZEL}' '{loop}' | head -1", shell=True, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, start_new_session=True)
    try:
        out, _ = pipeline.communicate(timeout=60)
        check("printing forever into a pipe that closes", out == b"line\n", f"stdout {out!r}")
    except subprocess.TimeoutExpired:
        os.killpg(pipeline.pid, signal.SIGKILL)
        pipeline.communicate()
        check("printing forever into a pipe that closes", False, "still printing after 60 s")

    if MEMORY_CASES:
        zero = script(tmp, "zero.zel", "e: try [read/binary %/dev/zero] print e/id\n")
        p = limited([ZEL, zero])
        check("read of an endless device", p.returncode == 0 and p.stdout == b"no-memory\n",
              f"status {p.returncode}, stdout {p.stdout!r}, stderr {p.stderr[-300:]!r}")

        huge = script(tmp, "huge.zel",
                      'out: copy #{} e: try [call/output "head -c 3000000000 /dev/zero" out] print e/id\n')
        p = limited([ZEL, huge])
        check("capture of a huge output", p.returncode == 0 and p.stdout == b"no-memory\n",
              f"status {p.returncode}, stdout {p.stdout!r}, stderr {p.stderr[-300:]!r}")

        # A script that cannot be read is reported and the console starts;
        # its input is empty, so it ends at once.
        p = limited([ZEL, "/dev/zero"])
        check("an endless device as the script", p.returncode == 0 and b"not enough memory" in p.stdout,
              f"status {p.returncode}, stdout {p.stdout[-300:]!r}, stderr {p.stderr[-300:]!r}")

print(f"{checked - failures} passed, {failures} failed")
sys.exit(1 if failures else 0)
