"""Loops whose prepared forms remember word slots keep their answers when
the global context's values block grows and moves under them (thousands of
new words made inside the loop, or by one load): each script prints its
answer, the same with preparation on as with it off. The sanitizer build
also checks every remembered slot against a fresh lookup. Kept apart from
the Zel tables: with a collection at every safe point (their third run),
making thousands of words takes minutes.

Usage: check_global_growth.py zel"""
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from zel_run import run_script  # noqa: E402

SCRIPTS = [
    ('n: 0 s: 0 repeat i 6000 [n: n + 1 s: s + i set to-word rejoin ["gw" i] i] print [n s gw5999]',
     "6000 18003000 5999"),
    ('s: " a" loop 12 [s: rejoin [replace/all copy s " " " x" replace/all copy s " " " y"]]'
     ' n: 0 repeat i 6 [n: n + i if i = 4 [load s]] print n',
     "21"),
    ('n: 0 while [n < 3000] [n: n + 1 x: n set to-word rejoin ["hw" n] x] print [n hw2999]',
     "3000 2999"),
]


def main():
    zel = sys.argv[1]
    failures = []
    with tempfile.TemporaryDirectory() as folder:
        for script, expected in SCRIPTS:
            for prepare in ("1", "0"):
                os.environ["ZEL_PREPARE"] = prepare
                done = run_script(zel, script, folder, timeout=120)
                got = done.stdout.decode("utf-8").strip()
                if done.returncode != 0 or got != expected:
                    failures.append(f"ZEL_PREPARE={prepare} {script}: {got!r} {done.stderr.decode()!r}")
    if failures:
        sys.exit("\n".join(failures))
    print("ok")


if __name__ == "__main__":
    main()
