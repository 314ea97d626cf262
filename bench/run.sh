#!/usr/bin/env bash
# Runs the benchmarks: the C++ kernel benchmarks, then every Zel program in
# bench/ beside its Python and Lua twins, printing the ratio of Zel's time to
# each. The three twins of a program must print the same thing (whitespace
# aside); a program whose outputs differ is reported and not timed.
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

seconds() {  # best of three wall-clock runs of a command
  local best=""
  for _ in 1 2 3; do
    local t0 t1 t
    t0=$(date +%s.%N); "$@" >/dev/null; t1=$(date +%s.%N)
    t=$(echo "$t1 - $t0" | bc)
    if [ -z "$best" ] || [ "$(echo "$t < $best" | bc)" = 1 ]; then best=$t; fi
  done
  echo "$best"
}

output() { "$@" 2>&1 | tr -s ' \t' ' '; }

printf '%-24s %9s %9s %9s %8s %8s\n' program zel python lua zel/py zel/lua
for z in "${programs[@]}"; do
  name=$(basename "$z" .zel)
  oz=$(output "$build/zel" "$z")
  if [ "$oz" != "$(output python3 "bench/$name.py")" ] || [ "$oz" != "$(output lua5.4 "bench/$name.lua")" ]; then
    printf '%-24s the twins print different results\n' "$name"
    continue
  fi
  tz=$(seconds "$build/zel" "$z")
  tp=$(seconds python3 "bench/$name.py")
  tl=$(seconds lua5.4 "bench/$name.lua")
  printf '%-24s %9.3f %9.3f %9.3f %8.2f %8.2f\n' "$name" "$tz" "$tp" "$tl" \
    "$(echo "$tz / $tp" | bc -l)" "$(echo "$tz / $tl" | bc -l)"
done
