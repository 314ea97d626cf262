#!/usr/bin/env bash
# Runs the benchmarks: the C++ kernel benchmarks, then every Zel program in
# bench/ beside its Python and Lua twins, printing the ratio of Zel's time to
# each. Benchmarks are not tests: nothing here is part of `make test`.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/release

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

printf '%-24s %9s %9s %9s %8s %8s\n' program zel python lua zel/py zel/lua
for z in "${programs[@]}"; do
  name=$(basename "$z" .zel)
  tz=$(seconds "$build/zel" "$z")
  tp=$(seconds python3 "bench/$name.py")
  tl=$(seconds lua5.4 "bench/$name.lua")
  printf '%-24s %9.3f %9.3f %9.3f %8.2f %8.2f\n' "$name" "$tz" "$tp" "$tl" \
    "$(echo "$tz / $tp" | bc -l)" "$(echo "$tz / $tl" | bc -l)"
done
