#!/usr/bin/env bash
# Times loading a JSON and a CSV file with load-json and load-csv beside
# python3's json and csv modules doing the same work (bench/codecs/), on
# files of 5, 10 and 20 MB made by bench/codecs/make_data.py, so that the
# growth of the times with the size shows. The twins must print the same
# count; each is timed by its CPU time (user + system, from the child's
# resource usage), the best of three runs.
# Not a test: nothing here is part of `make test`.
# ZEL_BUILD names another build directory (default build/release).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZEL_BUILD:-build/release}
# The interpreter itself, not a version manager's shim in the PATH.
python=$(python3 -c 'import sys; print(sys.executable)')
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT

python3 - "$build/zel" "$python" "$data" <<'PY'
import os, subprocess, sys

zel, python, data = sys.argv[1:4]


def best_cpu(argv):
    best, out = None, None
    for _ in range(3):
        child = subprocess.Popen(argv, stdout=subprocess.PIPE)
        out = child.stdout.read()
        _, status, usage = os.wait4(child.pid, 0)
        if status:
            sys.exit("%s failed" % " ".join(argv))
        t = usage.ru_utime + usage.ru_stime
        best = t if best is None else min(best, t)
    return best, out


print("%-10s %5s %9s %9s %8s" % ("work", "MB", "zel", "python", "zel/py"))
for mb in (5, 10, 20):
    folder = os.path.join(data, str(mb))
    os.mkdir(folder)
    subprocess.run([python, "bench/codecs/make_data.py", folder, str(mb)], check=True)
    for work, file in (("load_json", "data.json"), ("load_csv", "data.csv")):
        path = os.path.join(folder, file)
        tz, oz = best_cpu([zel, "bench/codecs/%s.zel" % work, path])
        tp, op = best_cpu([python, "bench/codecs/%s.py" % work, path])
        if oz.split() != op.split():
            print("%-10s %5d the twins print different results" % (work, mb))
            continue
        print("%-10s %5d %9.3f %9.3f %8.2f" % (work, mb, tz, tp, tz / tp))
PY
