#!/usr/bin/env bash
# The lab-box stage of the test command: the cases tests/lab/NAME.sh, run as
# root in lab boxes (tools/labbox/run.sh), one after the other within a box,
# each in namespaces of its own (tools/labbox/cases.sh). A case exits 0 when it
# passes and 77 when it finds a kernel feature missing, which in the lab box,
# whose kernel has them all, is a failure. A case with the line "# modes: single
# batch" runs a second time with QOS_BATCH=1, as NAME.batch, as the QoS
# system tests do. A case with the line "# box: NAME" runs in the box of that
# name, the others in the box "main"; the boxes run at the same time, so cases
# that mostly wait (for ticks and a peer's timers) go beside the ones that keep
# the processor busy.
# The system-test helpers find the sanitizer build's programs (build/test/bin)
# through the box's view of this machine.
#
# usage: tools/labbox/test.sh [CASE...]   CASE: NAME, NAME.batch or a path
#   (default: every case in tests/lab)
# LABBOX_CASE_SECONDS: each case's time limit (default 300); a case with the
#   line "# seconds: N" has N, or the variable's where that is more.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
limit=${LABBOX_CASE_SECONDS:-300}

tools/labbox/build.sh

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for t in tests/lab/*.sh; do
    n=$(basename "$t" .sh)
    names+=("$n")
    grep -qx '# modes: single batch' "$t" && names+=("$n.batch")
  done
fi

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
: > "$dir/cases"
for n in "${names[@]}"; do
  n=${n%.sh}
  n=${n##*/}
  vars=
  base=$n
  if [[ "$n" == *.batch ]]; then base=${n%.batch}; vars=QOS_BATCH=1; fi
  [ -f "tests/lab/$base.sh" ] || { echo "labbox: no case tests/lab/$base.sh" >&2; exit 2; }
  box=$(sed -n 's/^# box: \([a-z0-9]*\)$/\1/p' "tests/lab/$base.sh" | head -n 1)
  box=${box:-main}
  seconds=$(sed -n 's/^# seconds: \([0-9]*\)$/\1/p' "tests/lab/$base.sh" | head -n 1)
  [ "${seconds:-0}" -gt "$limit" ] || seconds=$limit
  mkdir -p "$dir/$box"
  echo "$n $root/tests/lab/$base.sh $seconds SBX_BIN=$root/build/test/bin PROJECT_ROOT=$root $vars" >> "$dir/$box/cases"
  echo "$n $box" >> "$dir/cases"
done
count=$(wc -l < "$dir/cases")

start=$SECONDS
pids=()
for b in "$dir"/*/; do
  b=${b%/}
  (
    rc=0
    tools/labbox/run.sh --dir "$b" --env LABBOX_ROOT="$root" --env CI="${CI:-}" \
      tools/labbox/cases.sh "$(awk '{ s += $3 + 10 } END { print s + 30 }' "$b/cases")" > "$b/output" 2>&1 || rc=$?
    [ $rc = 0 ] || echo "labbox: the box ${b##*/} ended with status $rc" >> "$b/output"
  ) &
  pids+=($!)
done
wait "${pids[@]}" || true
for b in "$dir"/*/; do
  echo "== lab box $(basename "$b")"
  cat "$b/output"
done

passed=0 failed=0
while read -r n box; do
  result=$(awk -v n="$n" '$1 == n {print $2, $3}' "$dir/$box/results" 2>/dev/null || true)
  if [ -z "$result" ]; then
    echo "FAIL  $n (did not run)"
    failed=$((failed + 1))
    continue
  fi
  read -r status took <<< "$result"
  case $status in
    0) echo "pass  $n ($took s)"; passed=$((passed + 1)) ;;
    77) echo "FAIL  $n (skipped: a kernel feature missing, $took s)"; failed=$((failed + 1)) ;;
    *) echo "FAIL  $n (status $status, $took s)"; failed=$((failed + 1)) ;;
  esac
done < "$dir/cases"
echo "lab: $count cases in $((SECONDS - start)) s"
echo "$passed passed, $failed failed"
[ $failed = 0 ]
