#!/usr/bin/env python3
"""Runs `zel` on small scripts and checks what it prints and how it ends.

Usage: check_script.py path/to/zel
"""
import os
import subprocess
import sys
import tempfile

ZEL = sys.argv[1]
HOME = None  # a temporary folder, so the console's settings stay there

# (name, script bytes or None for no argument, expected stdout, expected status)
# The console runs a script from its "Zel [...]" header on (case-sensitive);
# one that does not run, or whose evaluation ends in an error, ends with the
# status of an uncaught error; a halted one with status 1. Standard input is empty, so the console that
# starts without a script, or after a script it cannot read, ends at once.
CASES = [
    ("no script", None, b"--== Zel ", 0),
    ("header skipped", b'Zel [title: "t"]\nprint 1 + 2\n', b"3\n", 0),
    ("text before the header", b'; a comment\nZel []\nprint 1\n', b"1\n", 0),
    ("the header is case-sensitive", b"zel []\nprint 2\n", b"*** Error: Zel header not found!\n", 254),
    ("byte-order mark", b'\xef\xbb\xbfZel []\nprint "bom"\n', b"bom\n", 0),
    ("no header", b"print 4\n", b"*** Error: Zel header not found!\n", 254),
    ("empty file", b"", b"*** Error: Zel header not found!\n", 254),
    ("Zel/System code", b"Zel/System []\nprint 4\n",
     b"*** Error: contains Zel/System code which requires compilation!\n", 254),
    ("the header block alone", b"Zel [print 5]\n", b"", 0),
    ("uncaught error", b'Zel []\nprint "before"\n1 / 0\nprint "after"\n',
     b"before\n*** Math Error: attempt to divide by zero\n", 254),
    ("syntax error", b"Zel []\nprint [1\n", b"*** Syntax Error:", 254),
    ("report names the code near the failure", b"Zel []\nx: 1 + foo\n",
     b"*** Script Error: foo has no value\n*** Where: +\n*** Near : x: 1 + foo\n", 254),
    ("near inside a function body", b"Zel []\nf: func [a] [a + none]\nf 2\n",
     b"*** Script Error: + does not allow none! for its value2 argument\n*** Where: +\n*** Near : a + none\n", 254),
    ("invalid UTF-8: reported, then the console", b'Zel []\nprint "\xff"\n', b"*** Access Error: ", 0),
    ("a NUL byte ends nothing silently", b"Zel []\nprint 1\x00print 2\n",
     b"*** Syntax Error: (line 2) invalid character", 254),
    ("quit/return", b"Zel []\nquit/return 7\n", b"", 7),
    ("quit/return keeps 8 bits", b"Zel []\nquit/return 300\n", b"", 44),
    ("a halted script ends with status 1", b'Zel []\nhalt\nprint "after"\n', b"(halted)\n", 1),
]


def run(args, env=None):
    env = env or dict(os.environ, HOME=HOME)
    done = subprocess.run([ZEL] + args, capture_output=True, timeout=60, env=env, stdin=subprocess.DEVNULL)
    return done.stdout, done.returncode


ARGS_SCRIPT = b"Zel []\nprint mold reduce [system/options/boot system/options/args system/script/args]\n"
CACHE_SCRIPT = b"Zel []\nprint mold system/options/cache\n"


# The command line as the system object tells it, and the cache folder from
# HOME: (name, arguments after the script, environment changes, expected).
def command_line_cases(path):
    home_unset = {k: v for k, v in os.environ.items() if k != "HOME"}
    return [
        ("arguments", ARGS_SCRIPT, ["a", "b c", ""], None,
         f'[%{ZEL} ["a" "b c" ""] {{a "b c" ""}}]\n'.encode()),
        ("no arguments", ARGS_SCRIPT, [], None, f'[%{ZEL} [] ""]\n'.encode()),
        ("options before the script", ARGS_SCRIPT, ["--catch"], None, f'[%{ZEL} ["--catch"] "--catch"]\n'.encode()),
        ("arguments with quotes, tabs, blanks and other scripts", ARGS_SCRIPT,
         ['say "hi"', "tab\there", "\u00fc", "  "], None,
         f'[%{ZEL} [{{say "hi"}} "tab^-here" "\u00fc" "  "] {{"say "hi"" "tab^-here" \u00fc "  "}}]\n'.encode()),
        ("malformed UTF-8 argument", ARGS_SCRIPT, [b"a\xffb"], None,
         f'[%{ZEL} ["a\ufffdb"] "a\ufffdb"]\n'.encode()),
        ("cache under HOME", CACHE_SCRIPT, [], dict(os.environ, HOME="/home/someone/"),
         b"%/home/someone/.zel/\n"),
        ("cache without HOME", CACHE_SCRIPT, [], home_unset, b"%/tmp/.zel/\n"),
    ]


def main():
    failures = 0
    global HOME
    with tempfile.TemporaryDirectory() as tmp:
        HOME = tmp
        for name, script, expected, status in CASES:
            args = []
            if script is not None:
                path = os.path.join(tmp, "script.zel")
                with open(path, "wb") as f:
                    f.write(script)
                args = [path]
            out, code = run(args)
            if not out.startswith(expected) or code != status:
                failures += 1
                print(f"FAIL {name}: status {code} (want {status}), output {out!r} (want {expected!r}...)")
        path = os.path.join(tmp, "script.zel")
        cases = command_line_cases(path)
        for name, script, args, env, expected in cases:
            with open(path, "wb") as f:
                f.write(script)
            out, code = run([path] + args, env)
            if out != expected or code != 0:
                failures += 1
                print(f"FAIL {name}: status {code}, output {out!r} (want {expected!r})")
        missing = os.path.join(tmp, "missing.zel")
        out, code = run([missing])
        want = f"*** Access Error: cannot open: %{missing}\n".encode()
        if not out.startswith(want) or b"--== Zel " not in out or code != 0:
            failures += 1
            print(f"FAIL missing file: status {code}, output {out!r}")
    print(f"{len(CASES) + len(cases) + 1 - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
