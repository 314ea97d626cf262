#!/usr/bin/env python3
"""Checks the console's configuration file under a temporary HOME: made by
quit, read back at the next start, its history cut to the 100 newest lines,
entries it does not know kept, and a folder or file that fails named once
while the console still starts and quits normally.

Usage: check_config.py path/to/zel
"""
import os
import subprocess
import sys
import tempfile

ZEL = os.path.abspath(sys.argv[1])
HEADER = b'Zel [\n\tPurpose: "Zel Console Configuration File"\n]\n\n'
FAILURES = []


def run(home, stdin, args=()):
    env = dict(os.environ, HOME=home)
    done = subprocess.run([ZEL, *args], input=stdin, capture_output=True, timeout=60, env=env)
    return done.stdout, done.returncode


def paths(home):
    folder = os.path.join(home, ".zel", "Zel-Console")
    return folder, os.path.join(folder, "console-cfg.zel")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def check(name, ok, detail):
    if not ok:
        FAILURES.append(name)
        print(f"FAIL {name}: {detail}")


def fresh(tmp, name):
    home = os.path.join(tmp, name)
    os.makedirs(home)
    return home


def main():
    with tempfile.TemporaryDirectory() as tmp:
        # The folder is made at start; only quit writes the file.
        home = fresh(tmp, "first")
        folder, cfg = paths(home)
        script = os.path.join(tmp, "s.zel")
        write(script, b"Zel []\nprint 1\n")
        out, code = run(home, b"", [script])
        check("folder made at start, no file without quit", os.path.isdir(folder) and not os.path.exists(cfg)
              and out == b"1\n" and code == 0, f"{out!r} {code}")
        out, code = run(home, b"q\n")
        check("quit writes the file", code == 0 and read(cfg) == HEADER + b"buffer-lines: 10000 history: []",
              f"{code} {read(cfg) if os.path.exists(cfg) else None!r}")

        # The history is written and read back, cut to its 100 newest lines,
        # in the file and in memory.
        out, code = run(home, b"repeat i 150 [insert system/console/history form i]\n"
                              b"_save-cfg length? system/console/history\nq\n")
        newest = " ".join(f'"{i}"' for i in range(150, 50, -1)).encode()
        check("150 lines are saved as the 100 newest", b"== 100\n" in out
              and read(cfg) == HEADER + b"buffer-lines: 10000 history: [" + newest + b"]", f"{out!r}")
        out, code = run(home, b"length? system/console/history\nfirst system/console/history\n")
        check("the history is read back", b'== 100\n== "150"\n' in out and code == 0, f"{out!r}")

        # Entries the console does not know stay; a missing history is added.
        write(cfg, b"Zel []\nfoo: 42 buffer-lines: 5")
        out, code = run(home, b"system/console/history\nq\n")
        check("a file without history", b"== []\n" in out
              and read(cfg) == HEADER + b"foo: 42 buffer-lines: 5 history: []", f"{out!r} {read(cfg)!r}")

        # A file without the Zel header word is ignored and overwritten.
        write(cfg, b'buffer-lines: 5 history: ["x"]')
        out, code = run(home, b"system/console/history\nq\n")
        check("a file without header", b"== []\n" in out
              and read(cfg) == HEADER + b"buffer-lines: 10000 history: []", f"{out!r} {read(cfg)!r}")

        # A file that does not load gives the defaults, silently.
        write(cfg, b"Zel [] history: [")
        out, code = run(home, b"system/console/history\n")
        check("a malformed file", out.endswith(b"== []\n") and b"***" not in out and code == 0, f"{out!r}")

        # The folder cannot be made: HOME is a file.
        home = os.path.join(tmp, "a-file")
        write(home, b"")
        out, code = run(home, b"1 + 1\nq\n")
        message = f"*** Console settings not kept: cannot make %{home}/.zel/Zel-Console/\n".encode()
        check("a folder that cannot be made", code == 0 and b"== 2\n" in out and out.endswith(message)
              and out.count(b"***") == 1, f"{code} {out!r}")

        # The file cannot be read: a folder stands in its place, and stays.
        home = fresh(tmp, "unreadable")
        folder, cfg = paths(home)
        os.makedirs(cfg)
        out, code = run(home, b"1 + 1\n")
        message = f"*** Console settings not kept: cannot read %{cfg}\n".encode()
        check("a file that cannot be read", code == 0 and out.endswith(message) and out.count(b"***") == 1
              and os.path.isdir(cfg), f"{code} {out!r}")

        # The file cannot be written: the folder is taken away and a file
        # put in its place while the console runs.
        home = fresh(tmp, "unwritable")
        folder, cfg = paths(home)
        out, code = run(home, b"d: cli-console-ctx/settings/cfg-dir\n"
                              b"delete d write to-file head remove back tail copy d \"\"\nq\n")
        message = f"*** Console settings not kept: cannot write %{cfg}\n".encode()
        check("a file that cannot be written", code == 0 and out.endswith(message) and out.count(b"***") == 1,
              f"{code} {out!r}")

    print(f"{len(FAILURES)} failed" if FAILURES else "all passed")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
