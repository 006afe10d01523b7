#!/usr/bin/env bash
# The parser fuzz harnesses (tests/fuzz), built with clang's libFuzzer, the
# address and undefined-behaviour sanitizers and coverage of the program code.
#   tools/fuzz.sh [SECONDS] [HARNESS...]  builds, then fuzzes each harness for
#                                         SECONDS (default 60), starting from its
#                                         seed corpus; all harnesses by default
#   tools/fuzz.sh --check                 builds and runs the fuzz.* tests: each
#                                         harness over its corpus plus a fixed
#                                         number of inputs (what tools/test.sh runs)
# A crashing input is left in build/fuzz/fuzz-artifacts/<harness>-crash-*; add
# it to tests/fuzz/corpus/<harness>/ as a regression case once fixed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc 2>/dev/null || echo 2)
build=build/fuzz

tools/deps.sh fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DROUTER_FUZZ=ON >/dev/null
cmake --build "$build" -j"$jobs"

if [ "${1:-}" = --check ]; then
  exec ctest --test-dir "$build" -j"$jobs" --output-on-failure
fi

seconds=${1:-60}
shift || true
harnesses=("$@")
if [ ${#harnesses[@]} -eq 0 ]; then
  for dir in tests/fuzz/corpus/*/; do
    harnesses+=("$(basename "$dir")")
  done
fi
mkdir -p "$build/fuzz-logs"
failed=()
for h in "${harnesses[@]}"; do
  log=$build/fuzz-logs/$h.log
  rc=0
  bash tests/fuzz/run.sh "$build/fuzz/fuzz_$h" "tests/fuzz/corpus/$h" "$root/$build/fuzz-artifacts" \
    -max_total_time="$seconds" >"$log" 2>&1 || rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  if [ "$rc" = 0 ]; then
    echo "fuzz $h: ${seconds}s, ${runs:-?} inputs, no crash"
  else
    echo "fuzz $h: FAILED after ${runs:-?} inputs (log $log)"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|fuzz check|  text:)|Test unit written' "$log" || true
    failed+=("$h")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: crashes in ${failed[*]} (inputs in $build/fuzz-artifacts)" >&2
  exit 1
fi
