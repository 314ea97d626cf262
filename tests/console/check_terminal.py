#!/usr/bin/env python3
"""Runs `zel` on a terminal (a tmux pane, 80x24) and checks the line reader,
Ctrl-C during an evaluation, the window size, and that the terminal's mode
(`stty -g`) after the program is the mode before it, whatever ended it.

Usage: check_terminal.py path/to/zel
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

ZEL = os.path.abspath(sys.argv[1])
SOCKET = f"zel-term-{os.getpid()}"
SESSION = "t0"  # a new name for each case, so no case meets the last one's pane
PATIENCE = 20.0  # seconds before a screen that never shows the text fails


def tmux(*args):
    return subprocess.run(["tmux", "-L", SOCKET, "-f", "/dev/null", *args],
                          capture_output=True, text=True, timeout=30).stdout


def screen():
    return tmux("capture-pane", "-p", "-t", SESSION)


def wait_until(done):
    end = time.monotonic() + PATIENCE
    while time.monotonic() < end:
        if done():
            return True
        time.sleep(0.05)
    return False


def wait_for(text):
    if not wait_until(lambda: text in screen()):
        raise AssertionError(f"never shown: {text!r}\n{screen()}")
    return screen()


def zel_pid():
    shell = tmux("display", "-p", "-t", SESSION, "#{pane_pid}").strip()
    with open(f"/proc/{shell}/task/{shell}/children") as f:
        children = f.read().split()
    return int(children[0])


# Each case: (name, script, steps, expected text on the screen). A step is a
# list of tmux key names to send, "read" to wait until zel reads its first
# line, "wait:TEXT" to wait for a text on the screen (a prompt is written
# once the terminal is raw, so a later read waits for its own prompt), "resize" to make the window
# 100x30 ("resize:WxH" to another size), "paste:TEXT" to paste a text, or a signal number to send to zel once it reads. An expected
# text starting with "^" must begin the screen. A case without a script runs
# the interactive console twice, one run after the other, in the same HOME.
CASES = [
    ("a line typed and echoed", "x: input print [\"got\" mold x]",
     ["read", ["h", "e", "l", "l", "o", "Enter"]], 'got "hello"'),
    ("the prompt, Backspace", 'x: ask "Name? " print mold x',
     ["read", ["a", "b", "X", "BSpace", "c", "Enter"]], 'Name? abc\n"abc"'),
    ("Backspace across a wrapped row", 'x: ask "> " print length? x',
     ["read", ["x"] * 80 + ["BSpace", "BSpace", "Enter"]], "\n78\n"),
    ("hidden input shows stars", 'x: ask/hide "Pw: " print mold x',
     ["read", ["s", "e", "c", "Enter"]], 'Pw: ***\n"sec"'),
    ("hidden input takes a Tab as a character, never completing",
     'x: ask/hide "Pw: " print mold x',
     ["read", ["p", "r", "i", "Tab", "Enter"]], 'Pw: ****\n"pri^-"'),
    ("Ctrl-C at the prompt gives q", 'x: ask "> " print mold x',
     ["read", ["a", "C-c"]], '"q"'),
    ("Ctrl-D on an empty line gives q, elsewhere nothing",
     'x: ask "1> " print mold x y: ask "2> " print mold y',
     ["read", ["C-d"], "wait:2>", ["a", "C-d", "Enter"]], '"q"\n2> a\n"a"'),
    ("Esc ends the line with an ESC", 'x: ask "> " print mold x',
     ["read", ["a", "Escape"]], '"a^["'),
    ("cursor keys move, function keys are left alone", 'x: ask "> " print mold x',
     ["read", ["a", "b", "Left", "F5", "Home", "c", "End", "d", "Enter"]], '> cabd\n"cabd"'),
    ("UTF-8 typed", 'x: ask "> " print mold x',
     ["read", ["é", "€", "Enter"]], '"é€"'),
    ("the history takes lines typed, newest first, no repeats, nothing hidden",
     'h: copy [] repeat i 3 [ask/history rejoin [i "> "] h] ask/hide/history "4> " h print mold h',
     ["read", ["a", "Enter"], "wait:2>", ["a", "Enter"], "wait:3>", ["b", "Enter"], "wait:4>", ["s", "Enter"]],
     '["b" "a"]'),
    ("Backspace and Delete inside the line, Home and End",
     'x: ask "> " print mold x',
     ["read", ["a", "b", "c", "d", "Left", "Left", "BSpace", "Delete", "Home", "x", "End", "y", "Enter"]],
     '> xady\n"xady"'),
    ("the Ctrl keys: Ctrl-A, Ctrl-E, Ctrl-B, Ctrl-F, Ctrl-K, and Ctrl-D inside a line deletes",
     'x: ask "> " print mold x',
     ["read", ["a", "b", "c", "d", "C-a", "C-f", "C-k", "C-b", "z", "C-e", "q", "r", "C-b", "C-d", "Enter"]],
     '"zaq"'),
    ("Up and Down walk the history, past its ends an empty line",
     'h: copy ["two" "one"] x: ask/history "1> " h y: ask/history "2> " h print mold reduce [x y]',
     ["read", ["Up", "Up", "Down", "Down", "Enter"], "wait:2>", ["C-p", "C-p", "C-p", "z", "Enter"]],
     '["two" "z"]'),
    ("Tab completes a unique path and refinement",
     'x: ask "> " print mold x',
     ["read", ["s", "y", "s", "t", "e", "m", "/", "o", "p", "t", "Tab", "Space", "a", "p", "p", "e", "n", "d",
               "/", "o", "Tab", "Enter"]], '"system/options append/only"'),
    ("Tab on an ambiguous word lists the candidates and keeps the common prefix",
     'x: ask "> " print mold x',
     ["read", ["p", "r", "i", "Tab", "t", "Enter"]], '> pri\nprin   print\n> print\n"print"'),
    ("Tab completes a file name in the current folder",
     'make-dir %comp/ change-dir %comp/ write %alpha.txt "" write %alpine.txt "" write %beta ""\n'
     'x: ask "> " print mold x',
     ["read", ["%", "a", "Tab", "h", "Tab", "Enter"]], 'alpha.txt   alpine.txt\n> %alpha.txt\n"%alpha.txt"'),
    ("an error inside the completion inserts the Tab and the editing goes on",
     'zel-complete-ctx/complete-input: func [s c] [1 / 0] x: ask "> " print mold x',
     ["read", ["a", "Tab", "b", "Enter"]], '> a    b\n"a^-b"'),
    ("wide characters and combining marks take their cells",
     'x: ask "> " print mold x print length? x',
     ["read", ["日", "本", "Left", "x", "End", "e", "\u0301", "\U0001F600", "!", "Enter"]],
     '> 日x本e\u0301\U0001F600!\n"日x本e\u0301\U0001F600!"\n7'),
    ("a wide character that meets the last column starts the next row",
     'x: ask "> " print length? x',
     ["read", ["x"] * 77 + ["日", "y", "Enter"]], "> " + "x" * 77 + "\n日y\n79"),
    ("a long line edited in the middle redraws in place",
     'x: ask "> " print length? x',
     ["read", ["x"] * 100 + ["Home", "a", "End", "b", "Enter"]], "> a" + "x" * 77 + "\n" + "x" * 23 + "b\n102"),
    ("a control character of a history line is shown, not sent",
     'h: reduce [rejoin ["a" "^(1B)[31m" "b"]] x: ask/history "> " h print length? x',
     ["read", ["Up", "Enter"]], "> a^[[31mb\n7"),
    ("pasted lines read as lines typed",
     'x: ask "1> " y: ask "2> " print mold reduce [x y]',
     ["read", "paste:one\ntwo\n"], '["one" "two"]'),
    ("a resize while editing redraws the line in place",
     'x: ask "> " print mold x',
     ["read", ["a", "b", "c"], "resize", ["d", "Enter"]], '^> abcd\n"abcd"'),
    ("a wrapped line after other output, narrowed while edited, stays whole in place",
     'prin "abc" x: ask "> " print length? x',
     ["read", ["y"] * 100, "wait:" + "y" * 25, "resize:60x24", ["z", "Enter"]],
     "^abc> " + "y" * 55 + "\n" + "y" * 45 + "z\n101"),
    ("the window size, measured again after a resize",
     'system/console: make object! [history: copy [] size: 0x0]\n'
     'ask "1> " print system/console/size ask "2> " print system/console/size',
     ["read", ["Enter"], "wait:2>", "resize", ["Enter"]], "80x24\n2>\n100x30"),
    ("Ctrl-C stops an evaluation at its next safe point as halt does",
     'halt: func [] [throw/name \'halt-request \'console]\n'
     'print mold catch/name [print "ready" forever [x: 1]] \'console',
     ["wait:ready", ["C-c"]], "halt-request\nstatus=0"),
    ("SIGTERM while reading restores the terminal", "input",
     ["read", 15], "status=143"),
    ("SIGHUP while reading restores the terminal", "input",
     ["read", 1], "status=129"),
    ("a fatal report while reading restores the terminal", "input",
     ["read", 11], "*** Runtime Error 32: segmentation fault"),
    ("quit after reading", 'input quit-return 3', ["read", ["Enter"]], "status=3"),
    ("the history comes back in the next run through the configuration file", None,
     ["read", ["p", "r", "i", "n", "t", "Space", "4", "0", "Enter"], "wait:40", ["q", "Enter"],
      "wait:status=0", "read", ["Up", "Up", "Space", "+", "Space", "2", "Enter"], "wait:42",
      ["q", "Enter"]],
     ">> print 40 + 2\n42\n>> q\nstatus=0"),
]


def run_case(tmp, number, script, steps, expected):
    global SESSION
    SESSION = f"t{number}"
    shutil.rmtree(os.path.join(tmp, ".zel"), ignore_errors=True)  # no settings of the last case
    path = os.path.join(tmp, "case.zel")
    with open(path, "w") as f:
        f.write("Zel []\n" + (script or "") + "\n")  # the console runs scripts with a header
    run = f"HOME={tmp} {ZEL} {path}; echo status=$?"
    if script is None:
        run = f"HOME={tmp} {ZEL}; echo status=$?; HOME={tmp} {ZEL}; echo status=$?"
    before, after = os.path.join(tmp, "before"), os.path.join(tmp, "after")
    for p in (before, after):
        if os.path.exists(p):
            os.unlink(p)
    command = (f"stty -g > {before}; {run}; stty -g > {after}; "
               f"echo done; exec sleep 60")
    env_line = "ASAN_OPTIONS=handle_segv=0:detect_leaks=0 "
    tmux("new-session", "-d", "-x", "80", "-y", "24", "-s", SESSION, "-c", tmp,
         f"env -u TMUX PS1='$ ' {env_line} bash --norc --noprofile -c '{command}'")
    try:
        for step in steps:
            if isinstance(step, list):
                for key in step:
                    tmux("send-keys", "-t", SESSION, key)
            elif isinstance(step, int):
                wait_for_reader()
                os.kill(zel_pid(), step)
            elif step.startswith("resize"):
                width, height = (step[len("resize:"):] or "100x30").split("x")
                tmux("resize-window", "-t", SESSION, "-x", width, "-y", height)
                wait_until(lambda: tmux("display", "-p", "-t", SESSION, "#{pane_width}").strip() == width)
            elif step.startswith("paste:"):
                tmux("set-buffer", "-b", "zel", step[len("paste:"):])
                tmux("paste-buffer", "-b", "zel", "-t", SESSION)
            elif step == "read":
                wait_for_reader()
            else:
                wait_for(step[len("wait:"):])
        shown = wait_for("done")
        problems = []
        if expected.startswith("^") and not shown.startswith(expected[1:]):
            problems.append(f"expected the screen to begin with {expected[1:]!r}")
        elif not expected.startswith("^") and expected not in shown:
            problems.append(f"expected {expected!r} on the screen")
        with open(before) as f1, open(after) as f2:
            if f1.read() != f2.read():
                problems.append("the terminal mode changed")
        return problems, shown
    finally:
        tmux("kill-session", "-t", SESSION)


# zel reads a line once the terminal is in raw mode (no canonical input).
def wait_for_reader():
    end = time.monotonic() + PATIENCE
    while time.monotonic() < end:
        try:
            with open(f"/proc/{zel_pid()}/fd/0") as tty:
                mode = subprocess.run(["stty", "-g"], stdin=tty, capture_output=True, text=True).stdout
            if is_raw(mode):
                return
        except (OSError, IndexError, ValueError):
            pass
        time.sleep(0.05)
    raise AssertionError("zel never started reading\n" + screen())


def is_raw(mode):
    icanon = 0o2
    return not int(mode.split(":")[3], 16) & icanon


def main():
    if not shutil.which("tmux"):
        print("tmux is not installed; skipped")
        return 0
    failures = 0
    # A server left without sessions ends, and a case starting while it ends
    # would find no server: one idle session keeps it until the end.
    tmux("new-session", "-d", "-s", "keeper", "sleep 3600")
    try:
        with tempfile.TemporaryDirectory() as tmp:
            for number, (name, script, steps, expected) in enumerate(CASES):
                try:
                    problems, shown = run_case(tmp, number, script, steps, expected)
                except AssertionError as e:
                    problems, shown = [str(e)], ""
                if problems:
                    failures += 1
                    print(f"FAIL {name}: {'; '.join(problems)}\n{shown}")
    finally:
        tmux("kill-server")
    print(f"{len(CASES) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
