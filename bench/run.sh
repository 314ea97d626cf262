#!/usr/bin/env bash
# Runs the benchmarks: the C++ kernel benchmarks, then every Zel program in
# bench/ beside its Python and Lua twins, printing the ratio of Zel's time to
# each. The three twins of a program must print the same thing (whitespace
# aside); a program whose outputs differ is reported and not timed. Times are
# CPU seconds (user + system), the best of three runs: the wall clock of a
# shared machine says more about the other work on it.
# Benchmarks are not tests: nothing here is part of `make test`.
# ZEL_BUILD names another build directory (default build/release).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZEL_BUILD:-build/release}

if [ -x "$build/bench/zel-bench" ]; then
  "$build/bench/zel-bench" --benchmark_min_time=0.2
fi

shopt -s nullglob
programs=(bench/*.zel)
[ ${#programs[@]} -eq 0 ] && exit 0

seconds() {  # the best CPU time of three runs of a command
  python3 - "$@" <<'PY'
import os, subprocess, sys
best = None
for _ in range(3):
    child = subprocess.Popen(sys.argv[1:], stdout=subprocess.DEVNULL)
    _, _, usage = os.wait4(child.pid, 0)
    t = usage.ru_utime + usage.ru_stime
    best = t if best is None else min(best, t)
print(best)
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
  tz=$(seconds "$build/zel" "$z")
  tp=$(seconds "$python" "bench/$name.py")
  tl=$(seconds lua5.4 "bench/$name.lua")
  printf '%-24s %9.3f %9.3f %9.3f %8.2f %8.2f\n' "$name" "$tz" "$tp" "$tl" \
    "$(echo "$tz / $tp" | bc -l)" "$(echo "$tz / $tl" | bc -l)"
done
