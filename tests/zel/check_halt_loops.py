"""Ctrl-C (SIGINT) stops loops whose bodies the evaluator runs from their
prepared forms, as it stops the general evaluator: each script prints a
line once its loop has run a while, gets SIGINT, and ends halted.

Usage: check_halt_loops.py zel"""
import os
import signal
import subprocess
import sys
import tempfile

SCRIPTS = [
    'n: 0 while [true] [n: n + 1 if n = 100000 [print "started"]]',
    'n: 0 forever [n: n + 1 if n = 100000 [print "started"]]',
    'n: 0 loop 2000000000 [n: n + 1 o: 2 if n = 100000 [print "started"]]',
    'n: 0 f: does [print "started" forever [n: n + 1]] f',
    'print "started" n: 0 while [true] [n: n + 1]',
    'print "started" n: 0 loop 2000000000 [n: n + 1]',
    'print "started" fib: func [n] [either n < 2 [n] [(fib n - 1) + (fib n - 2)]] fib 60',
    'step: func [n] [n + 1] x: 0 print "started" forever [x: step x]',
    'f: func [x] [x >= 0] g: func [x] [x + 1] n: 0 print "started" while [f n] [n: g n]',
    'f: func [n] [g n] g: func [n] [either n > 0 [f n - 1] [forever [n: n + 1]]] print "started" f 500',
    'print "started" t: 0 forever [i: 0 while [true] [i: i + 1 if i = 10 [break]] t: t + i]',
    'f: func [/local n] [n: 0 while [n >= 0] [n: n + 1]] print "started" f',
    'print "started" s: 0 repeat i 2000000000 [s: s + i]',
    'f: func [] [t: 0 forever [i: 0 while [i < 1000000] [i: i + 1] t: t + i]] print "started" f',
    'print "started" s: 0 repeat i 2000000000 [s: s + (i % 7)]',
    'print "started" t: 0 loop 2000000000 [i: 0 while [true] [i: i + 1 if i = 10 [break]] t: t + i]',
    'm: make map! [1 0 2 0] k: 0 print "started" loop 2000000000 [k: k + 1 % 2 + 1 put m k (select m k) + 1]',
]


def main():
    zel = os.path.abspath(sys.argv[1])
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        for script in SCRIPTS:
            path = os.path.join(folder, "loop.zel")
            with open(path, "w") as f:
                f.write("Zel []\n" + script + "\n")
            proc = subprocess.Popen([zel, path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, cwd=folder,
                                    env=dict(os.environ, HOME=folder))
            first = proc.stdout.readline()
            proc.send_signal(signal.SIGINT)
            rest, _ = proc.communicate(timeout=60)
            if first != b"started\n" or b"(halted)" not in rest or proc.returncode != 1:
                failures.append(f"{script}: {first!r} {rest!r} status {proc.returncode}")
    if failures:
        sys.exit("\n".join(failures))
    print("ok")


main()
