#!/usr/bin/env python3
"""Runs `zel` on scripts that use reactions and checks what the engine prints:
the report of an error inside a reaction, the relation dump and the trace.

Usage: check_reactivity_output.py path/to/zel
"""
import sys
import tempfile

from zel_run import run_script

ZEL = sys.argv[1]

LONG_REACTION = "[r/x 1 / 0" + " word" * 20 + "]"

# (name, script, expected stdout, expected status): a string is the whole
# output; a list holds pieces that start and end it and appear in order.
CASES = [
    ("no relation to dump", "dump-reactions\n", "-- no reactions --\n", 0),
    ("dump of a relate and a link",
     "r: reactor [x: 1 relate y: [x * 2]]\n"
     "s: reactor [v: 0]\n"
     "react/link func [a b] [b/v: a/x] [r s]\n"
     "dump-reactions\n",
     "1:---\n"
     "  Source: object [x y]\n"
     "   Field: x\n"
     "  Action: [x * 2]\n"
     "  Target: y\n"
     "2:---\n"
     "  Source: object [x y]\n"
     "   Field: x\n"
     "  Action: func [a b][b/v: a/x]\n"
     "    Args: [object [x: 1 y: 2] object [v: 1]]\n", 0),
    ("an error inside a reaction is reported and the target gets none",
     "r: reactor [x: 1 relate y: [10 / x]]\n"
     "r/x: 0\n"
     "print mold r/y\n"
     "r/x: 5\n"
     "print mold r/y\n",
     ["*** Math Error: attempt to divide by zero\n", "\n*** Near: [10 / x]\nnone\n2\n"], 0),
    ("the reaction shown near an error is cut to 80 characters",
     f"r: reactor [x: 1]\nreact/later {LONG_REACTION}\nr/x: 2\nprint \"on\"\n",
     ["*** Math Error: attempt to divide by zero\n",
      "\n*** Near: " + LONG_REACTION[:80] + "\non\n"], 0),
    ("an error of the first run of react reaches the caller",
     "r: reactor [x: 0]\nreact [1 / r/x]\nprint \"not here\"\n",
     ["*** Math Error: attempt to divide by zero\n"], 254),
    # The dump fits the console's width less 10, or 72 less 10 when the
    # console knows no width.
    ("the dump cut to the console's width",
     f"r: reactor [x: 1]\nreact/later {LONG_REACTION}\n"
     "system/console/size: 0x0\ndump-reactions\nsystem/console/size: 40x10\ndump-reactions\n",
     "1:---\n  Source: object [x]\n   Field: x\n  Action: " + LONG_REACTION[:62] + "\n"
     "1:---\n  Source: object [x]\n   Field: x\n  Action: " + LONG_REACTION[:30] + "\n", 0),
    ("the trace of changes, stops and clears",
     "system/reactivity/debug?: true\n"
     "r: reactor [x: 1]\n"
     "stop-reactor r\n"
     "clear-reactions\n",
     "-- on-change event -- \n\tword : x \n\told  : unset \n\tnew  : integer\n"
     "-- reactivity: stopping, face: none /deep: false\n"
     "-- reactivity: clear all\n", 0),
]


def in_order(out, pieces):
    if not out.startswith(pieces[0]) or (len(pieces) > 1 and not out.endswith(pieces[-1])):
        return False
    at = 0
    for piece in pieces:
        at = out.find(piece, at)
        if at < 0:
            return False
        at += len(piece)
    return True


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        for name, script, expected, status in CASES:
            done = run_script(ZEL, script, tmp)
            out = done.stdout.decode()
            ok = out == expected if isinstance(expected, str) else in_order(out, expected)
            if not ok or done.returncode != status:
                failures += 1
                print(f"FAIL {name}: status {done.returncode} (want {status}), output {out!r} (want {expected!r})")
    print(f"{len(CASES) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
