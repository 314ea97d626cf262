#!/usr/bin/env bash
# Runs the benchmarks: the C++ kernel benchmarks, then every Zel program in
# bench/ beside its Python and Lua twins, printing the ratio of Zel's time to
# each. The three twins of a program must print the same thing (whitespace
# aside); a program whose outputs differ is reported and not timed. Times are
# CPU seconds (user + system), the median of five rounds in which the three
# twins run in turn, so that a change in the load of a shared machine falls
# on all three alike.
# Benchmarks are not tests: nothing here is part of `make test`.
# ZEL_BUILD names another build directory (default build/release); RUNS the
# number of rounds (default 5); arguments name programs to run (default all).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZEL_BUILD:-build/release}

if [ $# -eq 0 ] && [ -x "$build/bench/zel-bench" ]; then
  "$build/bench/zel-bench" --benchmark_min_time=0.2
fi

shopt -s nullglob
programs=(bench/*.zel)
[ $# -gt 0 ] && programs=("${@/#/bench/}") && programs=("${programs[@]/%/.zel}")
[ ${#programs[@]} -eq 0 ] && exit 0

medians() {  # interpreter script ...: the median CPU time of each, run in turn
  python3 - "${RUNS:-5}" "$@" <<'PY'
import os, statistics, subprocess, sys
runs, args = int(sys.argv[1]), sys.argv[2:]
commands = [args[k:k + 2] for k in range(0, len(args), 2)]
times = [[] for _ in commands]
for _ in range(runs):
    for argv, t in zip(commands, times):
        child = subprocess.Popen(argv, stdout=subprocess.DEVNULL)
        _, _, usage = os.wait4(child.pid, 0)
        t.append(usage.ru_utime + usage.ru_stime)
print(" ".join(str(statistics.median(t)) for t in times))
PY
}

# The interpreter itself: a version manager's shim in the PATH (a script that
# finds the interpreter and starts it) would otherwise be timed with it.
python=$(python3 -c 'import sys; print(sys.executable)')

output() { "$@" 2>&1 | tr -s ' \t' ' '; }

printf '%-24s %9s %9s %9s %8s %8s\n' program zel python lua zel/py zel/lua
for z in "${programs[@]}"; do
  name=$(basename "$z" .zel)
  oz=$(output "$build/zel" "$z")
  if [ "$oz" != "$(output "$python" "bench/$name.py")" ] || [ "$oz" != "$(output lua5.4 "bench/$name.lua")" ]; then
    printf '%-24s the twins print different results\n' "$name"
    continue
  fi
  read -r tz tp tl < <(medians "$build/zel" "$z" "$python" "bench/$name.py" lua5.4 "bench/$name.lua")
  printf '%-24s %9.3f %9.3f %9.3f %8.2f %8.2f\n' "$name" "$tz" "$tp" "$tl" \
    "$(echo "$tz / $tp" | bc -l)" "$(echo "$tz / $tl" | bc -l)"
done
