#!/usr/bin/env python3
"""Runs the console on a terminal (a tmux pane of 80x24) and checks the
banner and the prompt, a result, lines typed ahead, Ctrl-C stopping an evaluation and coming
back to the prompt, Ctrl-C at the prompt quitting, and the terminal's
settings (stty -g) the same after the console as before it.

Usage: check_terminal.py path/to/zel
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

ZEL = os.path.abspath(sys.argv[1])
SOCKET = f"zel-console-{os.getpid()}"
SESSION = "console"
FAILURES = []


def tmux(*args):
    return subprocess.run(["tmux", "-L", SOCKET, "-f", "/dev/null", *args],
                          capture_output=True, text=True, timeout=30)


def screen():
    return tmux("capture-pane", "-p", "-t", SESSION).stdout


def wait_for(text, after=0):
    """Waits until the pane shows the text past the given count of its
    occurrences; false when it does not come."""
    for _ in range(300):
        if screen().count(text) > after:
            return True
        time.sleep(0.05)
    return False


def check(name, ok):
    if not ok:
        FAILURES.append(name)
        print(f"FAIL {name}; the pane shows:\n{screen()}")


def main():
    if not shutil.which("tmux"):
        print("tmux is missing: skipped")
        return 0
    with tempfile.TemporaryDirectory() as tmp:
        before, after = os.path.join(tmp, "before"), os.path.join(tmp, "after")
        done = os.path.join(tmp, "done")
        command = (f"stty -g > {before}; HOME={tmp} {ZEL}; echo status $? > {done}; stty -g > {after}; "
                   f"sleep 60")
        tmux("new-session", "-d", "-x", "80", "-y", "24", "-s", SESSION, "-c", tmp,
             f"env -u TMUX bash --norc --noprofile -c '{command}'")
        try:
            check("the banner", wait_for("Type HELP for starting information."))
            check("the prompt", wait_for(">>"))  # the pane drops trailing blanks
            tmux("send-keys", "-t", SESSION, "1 + 2", "Enter")
            check("a result", wait_for("== 3"))
            # Lines typed while the one before runs are read, none lost.
            tmux("send-keys", "-t", SESSION, "wait 0.3 5 * 6", "Enter", "7 * 8", "Enter", "9 * 10", "Enter")
            check("lines typed ahead", wait_for("== 30") and wait_for("== 56") and wait_for("== 90"))
            tmux("send-keys", "-t", SESSION, "forever [1]", "Enter")
            time.sleep(0.3)
            tmux("send-keys", "-t", SESSION, "C-c")
            check("Ctrl-C halts an evaluation", wait_for("(halted)"))
            tmux("send-keys", "-t", SESSION, "3 + 4", "Enter")
            check("the prompt after a halt", wait_for("== 7"))
            tmux("send-keys", "-t", SESSION, "C-c")
            for _ in range(300):
                if os.path.exists(done) and os.path.exists(after) and os.path.getsize(after):
                    break
                time.sleep(0.05)
            status = open(done).read().strip() if os.path.exists(done) else None
            check("Ctrl-C at the prompt quits with status 0", status == "status 0")
            same = os.path.exists(after) and open(before).read() == open(after).read()
            check("the terminal's settings are as before", same)
            check("the settings are written by quitting",
                  os.path.exists(os.path.join(tmp, ".zel", "Zel-Console", "console-cfg.zel")))
        finally:
            tmux("kill-server")
    print(f"{len(FAILURES)} failed" if FAILURES else "all passed")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
