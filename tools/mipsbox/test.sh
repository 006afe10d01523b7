#!/usr/bin/env bash
# The tests that run in the MIPS box (tests/box/*.sh), each in a box of its
# own, two boxes at a time, after building the box (tools/mipsbox/build.sh,
# which brings the router build up to date first). Fails when any fails.
# usage: tools/mipsbox/test.sh [TEST...]   (default: every test in tests/box)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"

tools/mipsbox/build.sh

tests=("$@")
if [ ${#tests[@]} -eq 0 ]; then
  for t in tests/box/*.sh; do [ "$t" = tests/box/lib.sh ] || tests+=("$t"); done
fi
files=(--file tests/box=/box/tests --file tools/bench/full.conf --file docs/examples=/box/examples)

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
# run_one TEST: its output and status in $logs.
run_one() {
  local name rc=0 start=$SECONDS
  name=$(basename "$1" .sh)
  tools/mipsbox/run.sh --timeout 170 "${files[@]}" "$1" > "$logs/$name.out" 2>&1 || rc=$?
  echo "$rc $((SECONDS - start))" > "$logs/$name.rc"
}
pids=()
for t in "${tests[@]}"; do
  # At most two boxes at once.
  while [ "$(jobs -rp | wc -l)" -ge 2 ]; do wait -n || true; done
  run_one "$t" &
  pids+=($!)
done
wait "${pids[@]}" || true

status=0 passed=0
for t in "${tests[@]}"; do
  name=$(basename "$t" .sh)
  read -r rc took < "$logs/$name.rc"
  echo "== box: $name ($took s)"
  grep -v '^Terminated' "$logs/$name.out" || true
  if [ "$rc" != 0 ]; then
    echo "FAIL: box test $name (status $rc)"
    status=1
  else
    passed=$((passed + 1))
  fi
done
echo "box: $passed passed, $(( ${#tests[@]} - passed )) failed"
exit $status
