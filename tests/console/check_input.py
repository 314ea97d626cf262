#!/usr/bin/env python3
"""Runs `zel` with standard input from a pipe and checks what its input
routines read: ask, input, input-stdin, read-stdin and the end of input; and
what Ctrl-C (SIGINT) does to an evaluation.

Usage: check_input.py path/to/zel
"""
import os
import signal
import subprocess
import sys
import tempfile

ZEL = sys.argv[1]

# (name, script, standard input, expected standard output)
CASES = [
    ("input takes lines without their line feed, a carriage return kept",
     b"print mold input print mold input",
     b"ab\r\ncd\n", b'"ab^M"\n"cd"\n'),
    ("no prompt is shown on a pipe",
     b'x: ask "Name? " print ["got" x]',
     b"Zel\n", b"got Zel\n"),
    ("a last line without a line feed",
     b"print mold input print mold input",
     b"one\ntwo", b'"one"\n"two"\n'),
    ("malformed UTF-8 becomes U+FFFD, a line goes on after it",
     b"print mold input print mold input",
     b"\xffa\xc3\n\xe2\x82\xac\n", '"\ufffda\ufffd"\n"\u20ac"\n'.encode()),
    ("at the end of input ask answers an empty string and the end is known",
     b"print _input-ended? print mold input print _input-ended? print mold input print _input-ended?",
     b"x\n", b'false\n"x"\nfalse\n""\ntrue\n'),
    ("an empty line is not the end of input",
     b"print mold input print _input-ended?",
     b"\nmore\n", b'""\nfalse\n'),
    ("reading on at the end of input never blocks",
     b"loop 1000 [input] print _input-ended?",
     b"", b"true\n"),
    ("ask/history adds nothing on a pipe",
     b'h: copy [] ask/history "? " h print length? h',
     b"line\n", b"0\n"),
    ("input-stdin answers a line, then none at the end of input",
     b"print mold input-stdin print mold input-stdin print mold input-stdin",
     b"a b\r\n", b'"a b^M"\nnone\nnone\n'),
    ("read-stdin fills an empty binary, its room made first",
     b"b: make binary! 0 read-stdin b 5 print mold b read-stdin tail b 100 print mold b",
     b"hello world", b"#{68656C6C6F}\n#{68656C6C6F20776F726C64}\n"),
    ("read-stdin inserts at the binary's position",
     b"b: #{AABB} read-stdin next b 2 print mold b",
     b"xy", b"#{AA7879BB}\n"),
    ("read-stdin at the end of input leaves the binary as it was",
     b"b: make binary! 4 read-stdin b 4 print mold b",
     b"", b"#{}\n"),
    ("read-stdin with a huge length takes what came",
     b"b: make binary! 0 read-stdin b 2000000000 print length? b",
     b"abc", b"3\n"),
    ("read-stdin of 0 bytes reads nothing",
     b"b: make binary! 4 read-stdin b 0 print mold b print mold input",
     b"rest\n", b'#{}\n"rest"\n'),
]

ERROR_CASES = [
    ("read-stdin refuses a negative length", b"read-stdin make binary! 1 -1",
     b"*** Script Error: value out of range: -1"),
]


def run(script, stdin):
    with tempfile.NamedTemporaryFile("wb", suffix=".zel", delete=False) as f:
        f.write(b"Zel []\n" + script + b"\n")  # the console runs scripts with a header
        path = f.name
    try:
        done = subprocess.run([ZEL, path], input=stdin, capture_output=True, timeout=60)
    finally:
        os.unlink(path)
    return done.stdout, done.returncode


HALT_SCRIPT = b"""halt: func [] [throw/name 'halt-request 'console]
print mold catch/name [print "ready" forever [x: 1]] 'console
print "after"
"""


# Starts the script and sends SIGINT once it printed "ready"; with repeat,
# again and again until the process ends. Answers the rest of the output and
# the status.
def interrupt(script, repeat):
    with tempfile.NamedTemporaryFile("wb", suffix=".zel", delete=False) as f:
        f.write(b"Zel []\n" + script)  # the console runs scripts with a header
        path = f.name
    try:
        p = subprocess.Popen([ZEL, path], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
        if p.stdout.readline() != b"ready\n":
            p.kill()
        p.send_signal(signal.SIGINT)
        while repeat:
            try:
                p.wait(timeout=0.1)
                break
            except subprocess.TimeoutExpired:
                p.send_signal(signal.SIGINT)
        out, _ = p.communicate(timeout=60)
        return out, p.returncode
    finally:
        os.unlink(path)


# (name, script, send SIGINT until the end, expected output after "ready", status)
SIGNAL_CASES = [
    ("Ctrl-C stops the evaluation at a safe point and calls halt",
     HALT_SCRIPT, False, b"halt-request\nafter\n", 0),
    # A halt taken before the wait begins does nothing here, so the process
    # always comes to wait with Ctrl-C still coming.
    ("a second Ctrl-C ends a process that takes no halt",
     b'halt: func [] [] print "ready" wait 60 print "late"', True, b"", -signal.SIGINT),
]


def main():
    failures = 0
    for name, script, repeat, expected, status in SIGNAL_CASES:
        out, code = interrupt(script, repeat)
        if out != expected or code != status:
            failures += 1
            print(f"FAIL {name}: status {code} (want {status}), output {out!r} (want {expected!r})")
    for name, script, stdin, expected in CASES:
        out, code = run(script, stdin)
        if out != expected or code != 0:
            failures += 1
            print(f"FAIL {name}: status {code}, output {out!r} (want {expected!r})")
    for name, script, expected in ERROR_CASES:
        out, code = run(script, b"")
        if not out.startswith(expected) or code == 0:
            failures += 1
            print(f"FAIL {name}: status {code}, output {out!r} (want {expected!r}...)")
    print(f"{len(CASES) + len(ERROR_CASES) + len(SIGNAL_CASES) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
