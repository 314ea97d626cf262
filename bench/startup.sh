#!/usr/bin/env bash
# Times start-up: `zel` running a one-line script (bench/startup/one_line.zel)
# beside `python3 -c pass` and `lua5.4 -e ''`. The three commands run in turn,
# round after round, so that a change in the machine's load falls on all of
# them alike; each is timed by its CPU time (user + system, from the child's
# resource usage), and the median and the least of its runs are printed.
# Not a test: nothing here is part of `make test`.
# ZEL_BUILD names another build directory (default build/release); RUNS the
# number of rounds (default 200).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZEL_BUILD:-build/release}
# The interpreter itself, not a version manager's shim in the PATH.
python=$(python3 -c 'import sys; print(sys.executable)')

python3 - "${RUNS:-200}" "$build/zel" "$python" <<'PY'
import os, statistics, subprocess, sys

runs, zel, python = int(sys.argv[1]), sys.argv[2], sys.argv[3]
commands = [
    ("zel one_line.zel", [zel, "bench/startup/one_line.zel"]),
    ("python3 -c pass", [python, "-c", "pass"]),
    ("lua5.4 -e ''", ["lua5.4", "-e", ""]),
]


def cpu_ms(argv):
    child = subprocess.Popen(argv, stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    if status:
        sys.exit("%s failed" % " ".join(argv))
    return (usage.ru_utime + usage.ru_stime) * 1000


times = {name: [] for name, _ in commands}
for _ in range(runs):
    for name, argv in commands:
        times[name].append(cpu_ms(argv))
print("%-20s %10s %10s   (CPU ms, %d runs each)" % ("command", "median", "least", runs))
for name, _ in commands:
    print("%-20s %10.2f %10.2f" % (name, statistics.median(times[name]), min(times[name])))
PY
