#!/usr/bin/env python3
"""Runs the console with its input from a pipe and checks what it prints and
how it ends: gathering lines until delimiters close, errors followed by more
input, result lines, prompt and result marks, halts and escapes, scripts with
their options and arguments, exit statuses and the shell commands.

Usage: check_repl.py path/to/zel
"""
import os
import signal
import subprocess
import sys
import tempfile

ZEL = os.path.abspath(sys.argv[1])
BANNER = b"Type HELP for starting information. \n\n"


def run(args, stdin, home, cwd=None):
    env = dict(os.environ, HOME=home)
    done = subprocess.run([ZEL] + args, input=stdin, capture_output=True, timeout=60, env=env, cwd=cwd)
    return done.stdout, done.returncode


def session(stdin, home, cwd=None):
    """The console's output after its banner, and its status."""
    out, code = run([], stdin, home, cwd)
    at = out.find(BANNER)
    return (out[at + len(BANNER):] if at >= 0 else b"<no banner> " + out), code


# (name, standard input, expected output after the banner); each session
# ends with its input, status 0.
SESSIONS = [
    ("a result line", b"1 + 2\n", b"== 3\n"),
    ("an empty line evaluates nothing", b"\n\n1\n", b"== 1\n"),
    ("lines gathered until the block closes", b"length? [1 2\n3]\n", b"== 3\n"),
    ("a function over several lines", b"f: func [x] [\n  x * 2\n]\nf 4\n", b"== func [x][\n    x * 2\n]\n== 8\n"),
    ("a string over several lines", b"print {a\nb}\n", b"a\nb\n"),
    ("a raw string over several lines", b"length? %{a\nb}%\n", b"== 3\n"),
    ("a binary over several lines", b"#{01\n02}\n", b"== #{0102}\n"),
    ("a tag over several lines", b"length? <a\nb>\n", b"== 3\n"),
    ("ESC drops what was gathered", b"print {a\nb\x1b\n1\n", b"(escape)\n== 1\n"),
    ("a closing bracket alone is a syntax error at once, and input goes on", b")\n1 + 1\n",
     b"*** Syntax Error: (line 1) missing ( at )\n"),
    ("a runtime error, then more input", b"1 / 0\n2 + 2\n", b"*** Math Error: attempt to divide by zero\n"),
    ("an unclosed string that cannot go on is a syntax error", b'"abc\n5\n', b"*** Syntax Error:"),
    ("a float is formed, a string molded", b'1.5\n"s"\n', b'== 1.5\n== "s"\n'),
    ("an unset result prints nothing", b"print 1\n()\n", b"1\n"),
    ("halt returns to the prompt", b"loop 3 [halt]\n7\n", b"(halted)\n== 7\n"),
    ("the word halt-request also halts", b"'halt-request\n", b"(halted)\n"),
    ("a stray break is caught", b"break\n8\n", b"*** Throw Error: no loop to break\n"),
    ("the result mark", b'system/console/result: "=>"\n3\n', b'=> "=>"\n=> 3\n'),
    ("a result mark that fails is named once and replaced",
     b"system/console/result: does [1 / 0]\n4\n5\n",
     b"*** Math Error: attempt to divide by zero\n*** Where: system/console/result\n"),
    ("a prompt that fails is named once and replaced",
     b"system/console/prompt: does [1 / 0]\n6\n7\nsystem/console/prompt\n",
     b"== func [][1 / 0]\n*** Math Error: attempt to divide by zero\n*** Where: system/console/prompt\n"),
    ("ask on a pipe takes the next line, with no prompt shown", b'x: ask "Q? "\nhello\nx\n',
     b'== "hello"\n== "hello"\n'),
    ("malformed UTF-8 becomes U+FFFD and the loop goes on", b'"a\xffb"\n1\n', '== "a\ufffdb"\n== 1\n'.encode()),
    ("input without a last line feed", b"1 + 1", b"== 2\n"),
    ("expand shows a block after the preprocessor", b"expand [#if true [1 + 2] #if false [3]]\n",
     b"[1 + 2]\n== [1 + 2]\n"),
    ("input that ends inside a block", b"[1 2\n", b""),
]

# Sessions whose output must hold each of the texts, in order.
SESSIONS_HOLDING = [
    ("after a syntax error", b")\n1 + 1\n", [b"*** Syntax Error:", b"== 2\n"]),
    ("after a runtime error, an empty line", b"1 / 0\n2 + 2\n", [b"*** Stack:", b"\n\n== 4\n"]),
    ("after a stray break", b"break\n8\n", [b"== 8\n"]),
    ("a failing result mark is replaced by the default", b"system/console/result: does [1 / 0]\n4\n5\n",
     [b"== 4\n== 5\n"]),
    ("a failing prompt is printed once", b"system/console/prompt: does [1 / 0]\n6\n7\nsystem/console/prompt\n",
     [b"== 6\n== 7\n== \">> \"\n"]),
]


def clipping_cases(home):
    """Results longer than the window end in "..." within its width."""
    failures = 0
    for width in (40, 80, 0):
        out, code = session(f'system/console/size: {width}x10\nappend/dup copy "" "x" 200\n'.encode(), home)
        lines = out.decode().splitlines()
        shown = width or 80
        ok = code == 0 and len(lines) == 2 and lines[1].startswith('== {xx') and lines[1].endswith("...")
        if not ok or len(lines[1]) > shown:
            failures += 1
            print(f"FAIL clipping at {width} columns: {out!r}")
    return failures


# Scripts: (name, arguments with SCRIPT for the script's path, script text,
# standard input, expected output, expected status).
SCRIPTS = [
    ("arguments reach the script",
     ["SCRIPT", "a", "b c"], b"Zel []\nprint mold reduce [system/options/args system/script/args]\n", b"",
     b'[["a" "b c"] {a "b c"}]\n', 0),
    ("--catch starts the console after the script",
     ["--catch", "SCRIPT", "x"], b"Zel []\nprint mold system/options/args\n", b"1 + 1\n",
     b'["x"]\n== 2\n', 0),
    ("--catch after an error", ["--catch", "SCRIPT"], b"Zel []\n1 / 0\n", b"3\n",
     b"*** Math Error: attempt to divide by zero\n", 0),
    ("-- makes the next argument the script", ["--", "SCRIPT"], b"Zel []\nprint system/console/catch?\n", b"",
     b"false\n", 0),
    ("other options are stepped over", ["--other", "SCRIPT", "--catch"], b"Zel []\nprint mold system/options/args\n",
     b"", b'["--catch"]\n', 0),
    ("quit/return", ["SCRIPT"], b"Zel []\nquit/return 3\n", b"", b"", 3),
    ("an uncaught error", ["SCRIPT"], b"Zel []\ncause-error 'user 'message [\"no\"]\n", b"",
     b"*** User Error: no\n", 254),
    ("no header", ["SCRIPT"], b"print 1\n", b"", b"*** Error: Zel header not found!\n", 254),
    ("Zel/System code", ["SCRIPT"], b"Zel/System []\nprint 1\n", b"",
     b"*** Error: contains Zel/System code which requires compilation!\n", 254),
    ("text before the header", ["SCRIPT"], b"#!/usr/bin/env zel\nZel [Title: \"t\"]\nprint 2\n", b"", b"2\n", 0),
    ("the header may span lines", ["SCRIPT"], b"Zel\n[\n]\nprint 2\n", b"", b"2\n", 0),
    ("the header may span CR LF lines", ["SCRIPT"], b"Zel\r\n[\r\n]\r\nprint 2\r\n", b"", b"2\n", 0),
    ("directives are carried out", ["SCRIPT"], b"Zel []\n#if true [print 3]\n#if false [print 4]\n", b"",
     b"3\n", 0),
    ("a directive that fails", ["SCRIPT"], b"Zel []\n#include %no-such-file.zel\nprint 5\n", b"",
     b"*** Access Error: cannot open: %", 254),
]


def script_cases(tmp, home):
    failures = 0
    folder = os.path.join(tmp, "scripts")
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "script.zel")
    for name, args, text, stdin, expected, status in SCRIPTS:
        with open(path, "wb") as f:
            f.write(text)
        out, code = run([path if a == "SCRIPT" else a for a in args], stdin, home, cwd=folder)
        if not out.startswith(expected) or code != status:
            failures += 1
            print(f"FAIL {name}: status {code} (want {status}), output {out!r} (want {expected!r}...)")
    # The script's folder becomes the current one; options/script names it
    # as the command line did.
    with open(path, "wb") as f:
        f.write(b"Zel []\nprint mold reduce [what-dir system/options/script]\n")
    out, code = run(["scripts/script.zel"], b"", home, cwd=tmp)
    if out != f"[%{folder}/ %scripts/script.zel]\n".encode() or code != 0:
        failures += 1
        print(f"FAIL the script's folder: {out!r}")
    # A script in a folder that does not exist is reported and the console
    # starts in the current folder.
    missing = os.path.join(tmp, "no-folder", "script.zel")
    out, code = run([missing], b"what-dir\n", home, cwd=tmp)
    want = f"*** Access Error: cannot open: %{missing}\n".encode()
    if not out.startswith(want) or f"== %{tmp}/\n".encode() not in out or code != 0:
        failures += 1
        print(f"FAIL a script in a missing folder: status {code}, {out!r}")
    return failures


def shell_cases(tmp, home):
    failures = 0
    folder = os.path.join(tmp, "listing")
    os.makedirs(os.path.join(folder, "sub"), exist_ok=True)
    long_name = "n" * 19  # exactly the width of a column of 80 cells: shortened too
    for name in ("a.txt", "b.txt", long_name):
        open(os.path.join(folder, name), "w").close()
    os.makedirs(os.path.join(tmp, "empty"), exist_ok=True)
    row = "\ta.txt" + " " * 15 + "\tb.txt" + " " * 15 + "\t" + "n" * 15 + "...  \n"
    cases = [
        ("ls lists the current folder in columns", b"ls\n", f"{row}\tsub/" + " " * 16 + "\n"),
        ("ll lists one column", b"ll\n",
         "".join(f"\t{n}{' ' * (67 - len(n))}\n" for n in ("a.txt", "b.txt", long_name, "sub/"))),
        ("dir is ls", b"dir %sub/\n", ""),
        ("an empty folder prints nothing", b"ls %../empty/\n", ""),
        ("pwd", b"pwd\n", f"%{folder}/\n"),
        ("cd", b"cd sub\npwd\n", f"== %{folder}/sub/\n%{folder}/sub/\n"),
        ("list-dir with a wrong argument", b"list-dir 42\n", "*** Script Error: list-dir does not allow integer! for its dir argument\n"),
        ("a window of 0 columns is taken as 80", b"system/console/size: 0x0\nls\n", f"== 0x0\n{row}"),
    ]
    for name, stdin, expected in cases:
        out, code = session(stdin, home, cwd=folder)
        if not out.startswith(expected.encode()) or code != 0:
            failures += 1
            print(f"FAIL {name}: status {code}, output {out!r} (want {expected.encode()!r}...)")
    return failures


# Loops that Ctrl-C (SIGINT) stops as halt does, back at the prompt: bodies
# done in place and an empty body as well.
HALTED_LOOPS = ["forever [1]", "loop 2000000000 [1]", "while [true] []", "until [false]", "forever []",
                "x: 0 forever [x: x + 1]"]


def halt_cases(home):
    failures = 0
    for body in HALTED_LOOPS:
        env = dict(os.environ, HOME=home)
        p = subprocess.Popen([ZEL], stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env)
        # "ready" comes from the line that loops, so the signal finds that
        # line evaluating.
        p.stdin.write(f'print "ready" {body}\n3 + 4\n'.encode())
        p.stdin.close()
        while p.stdout.readline() not in (b"ready\n", b""):
            pass
        p.send_signal(signal.SIGINT)
        try:
            code = p.wait(timeout=60)
            out = p.stdout.read()
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()
            out, code = b"<still running>", None
        if out != b"(halted)\n== 7\n" or code != 0:
            failures += 1
            print(f"FAIL Ctrl-C in {body}: status {code}, output {out!r}")
    return failures


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        home = os.path.join(tmp, "home")
        os.makedirs(home)
        for name, stdin, expected in SESSIONS:
            out, code = session(stdin, home)
            if not out.startswith(expected) or code != 0:
                failures += 1
                print(f"FAIL {name}: status {code}, output {out!r} (want {expected!r}...)")
        for name, stdin, texts in SESSIONS_HOLDING:
            out, code = session(stdin, home)
            at = 0
            for text in texts:
                at = out.find(text, at)
                if at < 0:
                    break
            if at < 0 or code != 0:
                failures += 1
                print(f"FAIL {name}: status {code}, output {out!r} (want {texts!r} in order)")
        failures += clipping_cases(home)
        failures += script_cases(tmp, home)
        failures += shell_cases(tmp, home)
        failures += halt_cases(home)
        # A script's end of input ends the console with status 0.
        out, code = run([], b"", home)
        if code != 0:
            failures += 1
            print(f"FAIL end of input: status {code}")
    print(f"{failures} failed" if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
