#!/usr/bin/env python3
"""Runs `zel` on scripts whose expansion fails or traces, and checks the
reports printed and the status: a failed expansion halts the script the
console runs, which ends the program with status 1 after its report.

Usage: check_preprocessor.py path/to/zel
"""
import os
import sys
import tempfile

from zel_run import run_script

ZEL = os.path.abspath(sys.argv[1])

SYNTAX = b"*** Preprocessor Error: Syntax error\n*** Where: "

# (name, script, expected stdout, expected status)
CASES = [
    # Blocks that the script's own expansion must not see (the console expands
    # a script's directives before running it) are loaded from text.
    ("if without a block", b'print "a" expand-directives load "#if true" print "b"',
     b"a\n" + SYNTAX + b"#if true\n", 1),
    ("either with one block", b"expand-directives [#either 1 < 2 [a] c d]",
     SYNTAX + b"#either 1 < 2 [a]\n", 1),
    ("macro without a body", b"expand-directives [#macro f: func [x] 1]",
     SYNTAX + b"#macro f: func [x] 1\n", 1),
    ("bad trace operand", b"expand-directives [#trace loud x]", SYNTAX + b"#trace loud\n", 1),
    ("error in directive code", b"expand-directives [#do [1 / 0]]",
     b"*** Preprocessor Error in #do\n*** Math Error: attempt to divide by zero\n*** Where: ???\n", 1),
    ("error in a condition", b"expand-directives [#if none + 1 [x]]",
     b"*** Preprocessor Error in #if\n*** Script Error: + does not allow none! for its value1 argument\n", 1),
    ("error in a macro", b"expand-directives [#macro f: func [] [1 / 0] f]",
     b"*** Preprocessor Error in #macro\n*** Math Error: attempt to divide by zero\n", 1),
    ("macro without a value", b"expand-directives [#macro f: func [] [] f]",
     b"*** Macro Error: no value returned by f macro\n", 1),
    ("invalid macro spec", b"expand-directives [#macro [integer!] func [s] [s] 1]",
     b"*** Macro Error: invalid macro spec\n*** Where: [integer!] func [s]\n", 1),
    ("manual macro not answering a position",
     b"expand-directives [#macro [integer!] func [[manual] s e] [0] 1]",
     b"*** Macro Error: [manual] macro not returning a position\n*** Where: [func [[manual] s e][0] s e]\n", 1),
    ("unknown refinement in a condition", b"expand-directives [#if append/oops [] 1 [x]]",
     b"*** Macro Error: unknown refinement\n*** Where: append/oops\n", 1),
    ("macro expanding to itself", b"expand-directives [#macro f: func [] [[f]] a f]",
     b"*** Preprocessor Error: expansion does not end\n*** Where: f\n", 1),
    ("macro calling itself in arguments",
     b"expand-directives [#macro g: func [] [[g]] #macro f: func [a] [a] f g]",
     b"*** Preprocessor Error: expansion does not end\n*** Where: g\n", 1),
    ("macro growing forward forever", b"expand-directives [#macro f: func [] [[x f]] f]",
     b"*** Preprocessor Error: expansion does not end\n*** Where: x f\n", 1),
    ("macro nesting new blocks forever", b"expand-directives [#macro f: func [] [reduce [copy [f]]] f]",
     b"*** Preprocessor Error: expansion does not end\n*** Where: [f]\n", 1),
    ("manual macro going on where it was", b"expand-directives [#macro [integer!] func [[manual] s e] [s] 1]",
     b"*** Preprocessor Error: expansion does not end\n*** Where: 1\n", 1),
    ("directive writing itself again",
     b"expand-directives [#do [b: copy [#if true] append/only b b] #do keep [b]]",
     b"*** Preprocessor Error: expansion does not end\n*** Where: #if true [#if true [...]]\n", 1),
    # Long chains that end are not stopped: deep recursion below the limit,
    # and many rewrites at one place that shrink the code or move on.
    ("deep recursion that ends", b"""print mold expand-directives [
    #macro countdown: func [n] [either n > 0 [reduce ['countdown n - 1]] [[done]]]
    countdown 400 countdown 400
]""", b"[done done]\n", 0),
    ("many removals at one place", b"""b: copy [] loop 2000 [append b 'gone]
print mold expand-directives append [#macro gone: func [] [[]]] b""", b"[]\n", 0),
    ("many rewrites in a row", b"""b: copy [] loop 2000 [append b 1]
b: expand-directives append [#macro [integer!] func [s e] [s/1 + 1]] b
print [length? b b/1 last b]""", b"2000 2 2\n", 0),
    ("trace", b"""print mold expand-directives load {
    #trace on #if 1 < 2 [a] #do keep [1 + 2] #macro [integer!] func [s e] [s/1 * 10] 5
    #macro f: func [x] [x] f y #trace off #if true [b]
}""",
     b"preproc: #if [1 < 2]\npreproc: == true\npreproc: eval [1 + 2]\npreproc: == 3\n"
     b"preproc: matched 5\npreproc: eval macro [s/1 * 10]\npreproc: == 50\n"
     b"preproc: eval macro [f 'y]\npreproc: == y\n[a 3 50 y b]\n", 0),
]


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        with open(os.path.join(tmp, "a.zel"), "wb") as f:
            f.write(b"Zel [] #include %b.zel")
        with open(os.path.join(tmp, "b.zel"), "wb") as f:
            f.write(b"Zel [] #include %a.zel")
        with open(os.path.join(tmp, "bad.zel"), "wb") as f:
            f.write(b"Zel [] print 1 #if 2")
        cases = CASES + [
            ("include cycle", b"expand-directives [#include %a.zel]",
             b"*** Preprocessor Error: include cycle\n*** Where: %a.zel\n", 1),
            ("script run with do", b'do %bad.zel print "after"', SYNTAX + b"#if 2\n", 1),
        ]
        for name, script, expected, status in cases:
            done = run_script(ZEL, script, tmp)
            out, code = done.stdout, done.returncode
            if not out.startswith(expected) or code != status:
                failures += 1
                print(f"FAIL {name}: status {code} (want {status}), output {out!r} (want {expected!r}...)")
    print(f"{len(CASES) + 2 - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
