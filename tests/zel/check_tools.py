#!/usr/bin/env python3
"""Runs `zel` on scripts that trace, profile and debug small programs, with
debugger commands piped to its input, and checks the lines printed: the
tracer's columns and headers, the profiler's rows and counts (its times are
only checked to be times), and the debugger's replies to its commands.

Usage: check_tools.py path/to/zel
"""
import os
import re
import sys
import tempfile

from zel_run import run_script

ZEL = os.path.abspath(sys.argv[1])

PROGRAM = b"""sum: func [n] [t: 0 repeat i n [t: t + i] t]
system/tools/tracers/inspector/fixed-width: 50
"""

# (name, script, input, expected stdout)
TRACES = [
    ("whole expressions", b"trace [s: sum 3 s * 2]", b"",
     "  s: sum 3            => 6\n"
     "  s * 2               => 12\n"),
    # /deep reports inside the called function, indented by call depth, with
    # a header line each time the chain of called functions changes.
    ("deep", b"trace/deep [sum 2]", b"",
     "  ``SUM 2````````````````````````````````````````\n"
     "    t: 0              => 0\n"
     "  ````SUM/REPEAT i n [t: t + i]``````````````````\n"
     "      t: t + i        => 1\n"
     "      t: t + i        => 3\n"
     "  ``SUM 2````````````````````````````````````````\n"
     "    repeat i n [t: t  => 3\n"
     "    t                 => 3\n"
     "  ```````````````````````````````````````````````\n"
     "  sum 2               => 3\n"),
    # Each function on the chain is named by the word it was called by; an
    # object's function by its field.
    ("deep, nested calls", b"g: func [x] [sum x]\no: make object! [f: func [y] [g y]]\ntrace/deep [o/f 1]", b"",
     "  ``````F/G/SUM x````````````````````````````````\n"
     "        t: 0          => 0\n"
     "  ````````F/G/SUM/REPEAT i n [t: t + i]``````````\n"
     "          t: t + i    => 1\n"
     "  ``````F/G/SUM x````````````````````````````````\n"
     "        repeat i n [t => 1\n"
     "        t             => 1\n"
     "  ````F/G y``````````````````````````````````````\n"
     "      sum x           => 1\n"
     "  ``F o/f 1``````````````````````````````````````\n"
     "    g y               => 1\n"
     "  ```````````````````````````````````````````````\n"
     "  o/f 1               => 1\n"),
    ("sub-expressions", b"trace/all [1 + (2 * 3)]", b"",
     "    [2 * 3]           => 6\n"
     "  1 + 6               => 7\n"),
    ("raw events", b"trace/raw [1 + 2]", b"", None),
    ("raw events of a function call", b"trace/raw [sum 1]", b"", None),
    ("debugging the tracer", b"trace/debug [sum 1]", b"", None),
    ("mold-part", b"""t: system/tools/tracers
print t/mold-part [a b c d e f g h i j k l m n] 12
print t/mold-part 'abcdefghijklmnop 10
print t/mold-part/only [a b] 10""", b"",
     "[a b c d...]\nabcdefg...\na b\n"),
    ("trace of a logic leaves tracing off", b"trace true print tracing?", b"", "false\n"),
]


def run(script, stdin):
    with tempfile.TemporaryDirectory() as tmp:
        return run_script(ZEL, PROGRAM + script + b"\n", tmp, stdin=stdin).stdout.decode()


def check_traces():
    failures = 0
    for name, script, stdin, expected in TRACES:
        out = run(script, stdin)
        if name == "raw events":
            # Frames are value-stack depths: only the layout is fixed.
            ok = re.fullmatch(r"(?:[A-Z]+ -?\d+ \S.* \d+x\d+\n)+", out) is not None and \
                [l.split()[0] for l in out.splitlines()] == \
                ["INIT", "ENTER", "EXPR", "FETCH", "PUSH", "FETCH", "OPEN", "FETCH", "PUSH", "CALL",
                 "RETURN", "EXIT", "END"]
        elif name == "raw events of a function call":
            # The call and return of a function name it by its word.
            ok = re.search(r"^CALL -1 sum func \[n\]\[t: 0 repeat i n \[\.\.\.\] \d+x\d+$", out, re.M) is not None and \
                re.search(r"^RETURN -1 sum 1 \d+x\d+$", out, re.M) is not None
        elif name == "debugging the tracer":
            # Every event with the collector's state, the inspector's line
            # among them.
            lines = out.splitlines()
            ok = [l.split()[0] for l in lines[:3]] == ["init", "enter", "expr"] and \
                lines[-1].split()[0] == "end" and "  sum 1               => 1" in lines and \
                re.search(r"^call +none! +sum +\d+x\d+ +func \[n\]", out, re.M) is not None and \
                re.search(r"^return +none! +sum +\d+x\d+ +1 ", out, re.M) is not None
        else:
            ok = out == expected
        if not ok:
            print(f"FAIL trace {name}:\n{out}")
            failures += 1
    return failures


TIME = r"\d+:\d\d:\d\d(?:\.\d+)?"


def profile_rows(out):
    rows = []
    for line in out.splitlines():
        m = re.fullmatch(r"#(\d+) +(\S+) +\| (\d+) +\| (" + TIME + r") *", line)
        if m:
            if line.index("|") != 22:
                return None
            rows.append((int(m.group(1)), m.group(2), int(m.group(3))))
    return rows


def check_profile():
    failures = 0
    # A function is counted under the word it is called by, in and out of
    # other functions.
    out = run(b"profile [loop 3 [append [] 1] f: func [] [] f f g: func [] [f] g]", b"")
    rows = profile_rows(out)
    if rows is None or rows[:2] != [(1, "f", 3), (2, "append", 3)] and \
            rows[:2] != [(1, "append", 3), (2, "f", 3)] or \
            sorted(r[1:] for r in rows[2:]) != [("func", 2), ("g", 1), ("loop", 1)] or \
            [r[0] for r in rows] != [1, 2, 3, 4, 5] or "==" in out:
        print(f"FAIL profile by count:\n{out}")
        failures += 1
    # Each call of a function without a name is an entry of its own (sorted
    # as tags: after the words).
    out = run(b"profile/by [h: func [] [] do reduce [:h] do reduce [:h]] 'name", b"")
    rows = profile_rows(out)
    if rows is None or [r[1:] for r in rows] != \
            [("do", 2), ("func", 1), ("reduce", 2), ("<anon1>", 1), ("<anon2>", 1)]:
        print(f"FAIL profile of unnamed calls:\n{out}")
        failures += 1
    out = run(b"profile/by [loop 2 [add 1 1] append [] 1] 'name", b"")
    rows = profile_rows(out)
    if rows != [(1, "add", 2), (2, "append", 1), (3, "loop", 1)] or \
            not out.startswith("== [1] \n\n"):
        print(f"FAIL profile by name:\n{out}")
        failures += 1
    return failures


DEBUGGED = b'a: 5\ndebug [b: a + 1 print b]\nprint "done"'

# (name, commands, lines that must appear in order, lines that must not appear)
DEBUGS = [
    ("step, print a value, unknown command, continue", b"n\n:a\nbogus\nc\n",
     ["-----> EVAL b:", "Input: b: a + 1 print b", "-empty stack-", "-----> EVAL a",
      "== 5", "Unknown command!", "6", "done"], []),
    ("stack display switched on", b"-s\n\n+s\n\nc\n",
     ["-----> EVAL b:", "-----> EVAL a", "-----> PUSH 5", "Stack: 5", "done"], []),
    ("help and quit", b"?\nq\n",
     ["\thelp or ?: print a list of debugger's commands.",
      "\t-indent or -i: do not indent the output of the expression stack."], ["6", "done"]),
    ("watch", b"w a\n\nc\n", ["Watch: a: 5", "done"], []),
]


def check_debug():
    failures = 0
    for name, commands, present, absent in DEBUGS:
        out = run(DEBUGGED, commands)
        lines = out.splitlines()
        at = 0
        ok = True
        for want in present:
            try:
                at = lines.index(want, at) + 1
            except ValueError:
                ok = False
        if ok and any(a in lines for a in absent):
            ok = False
        if ok and name.startswith("stack"):
            # -s: the next event shows no stack; +s: the one after shows it again.
            ok = lines[lines.index("-----> EVAL a") + 2] == "-----> PUSH 5"
        if not ok:
            print(f"FAIL debug {name}:\n{out}")
            failures += 1
    # The parents of the current step, with their locals after +l; a word's
    # value printed from inside the call.
    out = run(b"g: func [x] [x * 2]\ndebug [g 3]", b"\n" * 7 + b"p\n+l\np\n:g\nc\n")
    if "Call: g\nCall: g\n  > x         : 3\n== func [x][x * 2]\n" not in out:
        print(f"FAIL debug parents:\n{out}")
        failures += 1
    # The value printed is the word's; the debugger keeps it in no word of
    # the caller's.
    out = run(b"v: 'mine x: 1\ndebug [1]\nprint v", b":x\nc\n")
    if "== 1\n" not in out or not out.endswith("mine\n"):
        print(f"FAIL debug keeps the caller's words:\n{out}")
        failures += 1
    # /later runs without stopping until the code holds @stop.
    out = run(b"debug/later [x: 1 @stop x: 2]", b"c\n")
    if not out.startswith("-----> EVAL @stop\n"):
        print(f"FAIL debug/later:\n{out}")
        failures += 1
    return failures


# A deep recursion traced with the console's width: every line fits in it,
# the first printed line being that width; the pool of blocks the levels
# borrow gets them all back.
def check_width():
    out = run(b"""system/tools/tracers/inspector/fixed-width: none
print system/console/size/x
down: func [n] [either n > 0 [down n - 1] [0]]
trace/deep [down 40]
trace [{a long string that goes on and on and on and on and on and on and on and on and on}]
print length? system/tools/tracers/data/stack""", b"")
    lines = out.splitlines()
    width = int(lines[0]) if lines and lines[0].isdigit() else 0
    if width <= 0 or any(len(l) > width - 1 for l in lines[1:]) or lines[-1] != "0" or \
            not lines[-2].endswith("...}") or len(lines) < 100:
        print(f"FAIL width:\n{out}")
        return 1
    return 0


# Every tool reads the console's width the same way: a console of no width,
# or none at all, gives each its own default (the tracer's lines 80, the
# debugger's room 72).
def check_console_width():
    out = run(b"""system/tools/tracers/inspector/fixed-width: none
foreach size [0x0 50x10] [
    system/console/size: size
    print [mold console-width system/tools/calc-max 2]
    trace [1 + 2]
]
c: system/console system/console: none
print [mold console-width system/tools/calc-max 2]
system/console: c""", b"")
    expected = ("none 70\n"
                "  1 + 2                              => 3\n"
                "50 48\n"
                "  1 + 2               => 3\n"
                "none 70\n")
    if out != expected:
        print(f"FAIL console width:\n{out}")
        return 1
    return 0


def main():
    failures = check_traces() + check_profile() + check_debug() + check_width() + check_console_width()
    sys.exit(1 if failures else 0)


main()
