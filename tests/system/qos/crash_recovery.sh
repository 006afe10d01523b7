#!/usr/bin/env bash
# vx_qos killed with SIGKILL in the middle of a build, against the real tc and
# iptables: at points spread over the whole build (the reset, the trees, the
# default rules, the applications, the service chains and their port-mapping
# files, the user rules, the end-of-build check) and in a modify request; with
# QOS_BATCH=1 at each tool call of batch mode, while it writes its batches and
# in the run guard. The next normal run is not blocked by what the killed
# run left, and leaves the kernel and /var exactly as a run that was never
# interrupted does.
SANDBOX_KERNEL=1
. "$(dirname "$0")/../lib.sh"
shopt -s extglob
. "$(dirname "$0")/qos.bash"
. "$(dirname "$0")/batch.bash"

store < "$SBX_PROJ/tools/bench/full.conf"
full_port_files

# What a run leaves: the kernel's state and every file under /var. The tools
# are run directly, not through the stubs, which would log the calls.
state() {
  local PATH=${PATH#"$SBX_PROJ/tools/stubs:"}
  kernel_state
  echo "== files under /var"
  find /var -mindepth 1 | sort
}

# counted ARGS...: runs vx_qos with the stub counting its tool calls.
counted() {
  echo 0 > "$SBX_OUT/calls"
  # Through sh, which reports a killed vx_qos only by its exit status 137.
  sh -c 'vx_qos "$@"; exit $?' sh "$@" > "$SBX_OUT/run.out" 2>&1
  local rc=$?
  calls=$(cat "$SBX_OUT/calls")
  rm -f "$SBX_OUT/calls"
  return $rc
}

# reference NAME: a clean build; its output and state are the references.
reference() {
  counted || fail "$1: clean build failed"
  check_contains "$1: clean build ends" "$(cat "$SBX_OUT/run.out")" "VX : === End of setting QoS === "
  clean_out=$(cat "$SBX_OUT/run.out")
  clean_state=$(state)
  build_calls=$calls
}

# recovers WHAT: after a killed run, a normal run must print what a clean
# build prints, with at most the one line more that tells of the pid file the
# killed run left, and leave the clean state.
kills=0
recovers() {
  kills=$((kills + 1))
  vx_qos > "$SBX_OUT/run.out" 2>&1
  local extra
  extra=$(diff <(printf '%s\n' "$clean_out") "$SBX_OUT/run.out" | grep -v '^[0-9]' || true)
  if [ -n "$extra" ] && [[ $extra != "> vx_qos: removed stale pid file /var/vx_qos.pid (pid "+([0-9])" not running)" ]]; then
    fail "$1: the next run's output is not a clean build's (but for the stale pid file):
$extra"
  fi
  check "$1: recovered to the clean state" "$(state)" "$clean_state"
}

# kill_then_recover NAME K [ARGS...]: vx_qos ARGS killed at its K-th tool
# call, then recovers.
kill_then_recover() {
  local name=$1 k=$2
  shift 2
  echo "$k" > "$SBX_OUT/kill_at"
  counted "$@"
  local rc=$?
  rm -f "$SBX_OUT/kill_at"
  [ $rc = 137 ] && [ "$calls" = "$k" ] || fail "$name: not killed at call $k (exit $rc after $calls calls)"
  recovers "$name (tool call $k)"
}

# syscall_kill SYSCALL N [MISSING]: vx_qos killed by strace as it enters its
# N-th SYSCALL (which then does not happen); the system call MISSING fails as
# on a kernel without it. The leak checker of the test build cannot work under
# a tracer.
syscall_kill() {
  local trace=$1 missing=()
  if [ -n "${3:-}" ]; then
    trace=$1,$3
    missing=(-e "inject=$3:error=ENOSYS")
  fi
  ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 \
    sh -c 'call=$1 n=$2 trace=$3; shift 3
      strace -qq -o /dev/null -e trace="$trace" "$@" -e inject="$call":signal=KILL:when="$n" vx_qos; exit $?' \
    sh "$1" "$2" "$trace" "${missing[@]}" > "$SBX_OUT/run.out" 2>&1
  local rc=$?
  [ $rc = 137 ] || fail "vx_qos not killed at its $1 number $2 (exit $rc): $(tail -n 5 "$SBX_OUT/run.out")"
}

# first_call PATTERN: the number of the first logged tool call matching the
# extended regular expression.
first_call() {
  local n
  n=$(grep -n -m1 -E "$1" "$STUB_LOG" | cut -d: -f1)
  [ -n "$n" ] || fail "no tool call matches $1"
  echo "$n"
}

# --- A full build of every application, user rule and port-mapping file.
SECONDS=0
reset_log
reference "full build"
full_calls=$build_calls
echo "the full build makes $full_calls tool calls"

if [ "${QOS_BATCH:-0}" != 1 ]; then
  [ "$(wc -l < "$STUB_LOG")" = "$full_calls" ] || fail "the stub log and the count disagree"
  # Kill points by phase, found in the clean build's log.
  trees=$(first_call '^tc \[qdisc\] \[add\] .*\[root\]')
  defaults=$(first_call '\[-A\] \[PREROUTING\]')
  apps=$(first_call '\[-A\] \[FORWARD\] \[-p\] \[[a-z]+\] \[-o\]')
  chain=$(first_call '\[-N\] \[qos_voip_chain\]')
  file_rule=$(first_call '\[qos_voip_chain\] .*\[5062\]')
  bt_file_rule=$(first_call '\[qos_bt_chain\] .*\[6881\]')
  users=$(first_call '\[-A\] \[POSTROUTING\] .*\[--set-mark\] \[70\]')
  points=(
    1 9                                   # the reset: before the queues go, after the flush
    "$trees" $((trees + 2))               # the shaping trees
    $((defaults + 3))                     # the default rules
    $((apps + 1)) $((apps + 40))          # the applications' rules and leaves
    $((chain + 1)) $((chain + 2))         # a service chain created, then jumped to
    $((file_rule + 1)) "$bt_file_rule"    # rules from a port-mapping file
    $((users + 1))                        # the user rules
    "$full_calls"                         # the last call
  )
  for k in "${points[@]}"; do
    kill_then_recover "full build" "$k"
  done

  # A modify request killed after flushing its chain.
  kill_then_recover "modify request" 2 mod_voip
else
  # Batch mode makes few tool calls: killed at each, in a full build and in a
  # modify request.
  for ((k = 1; k <= full_calls; k++)); do
    kill_then_recover "full build" "$k"
  done
  counted mod_voip
  for ((k = 1, n = calls; k <= n; k++)); do
    kill_then_recover "modify request" "$k" mod_voip
  done

  # And while it writes its batches: at writes into the batch files, found in
  # a clean build traced by strace, which names each write's file (its other
  # lines tell of signals).
  ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 \
    strace -qq -y -e trace=write -o "$SBX_OUT/writes" vx_qos > /dev/null 2>&1
  mapfile -t batch_writes < <(grep '^write(' "$SBX_OUT/writes" |
    grep -n -E '^write\([0-9]+</(memfd:vx_qos|var/run/)' | cut -d: -f1)
  count=${#batch_writes[@]}
  echo "the full build writes its batches in $count writes"
  [ "$count" -ge 8 ] || fail "too few writes into batch files: $count"
  for ((j = 0; j < 8; j++)); do
    i=$((j * (count - 1) / 7))
    syscall_kill write "${batch_writes[i]}"
    recovers "batch write $((i + 1)) of $count"
  done

  # Where the kernel has no memory files, a batch file has a name for a
  # moment: killed before the first batch file's name is removed (the run's
  # first unlink clears a leftover), and before a later one's.
  for n in 2 5; do
    syscall_kill unlink "$n" memfd_create
    recovers "no memory files (unlink $n)"
  done

  # The run guard (the same in either mode; batch mode builds faster), killed
  # before it locks the pid file, before it writes its pid into it, and before
  # it removes it at the end (the run's last unlink).
  ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 \
    strace -qq -e trace=unlink -o "$SBX_OUT/unlinks" vx_qos > /dev/null 2>&1
  unlinks=$(grep -c '^unlink(' "$SBX_OUT/unlinks")
  for point in flock:1 ftruncate:1 pwrite64:1 "unlink:$unlinks"; do
    syscall_kill "${point%:*}" "${point#*:}"
    recovers "run guard (${point%:*} ${point#*:})"
  done
fi

# --- A port-mapping file that changes while the build runs: the end-of-build
# check then rebuilds that service's chain, and is killed while it does. The
# next run builds from the changed file from the start.
printf 'udp,192.168.1.25,5062\nudp,192.168.1.26,5070\n' > "$SBX_OUT/voip.changed"
cp "$SBX_OUT/voip.changed" /var/voip
reference "changed file"
full_port_files
cat > "$SBX_OUT/on_call" <<HOOK
#!/bin/sh
[ "\$1" = $full_calls ] && cp "$SBX_OUT/voip.changed" /var/voip
exit 0
HOOK
chmod +x "$SBX_OUT/on_call"
counted
check_contains "changed file: the check rebuilds voip" "$(cat "$SBX_OUT/run.out")" "vx_qos: Seem voip have update"
echo "the check's rebuild makes $((calls - full_calls)) tool calls"
if [ "${QOS_BATCH:-0}" != 1 ]; then
  points=($((full_calls + 2)))   # the chain flushed, one rule put back
else
  points=($(seq $((full_calls + 1)) "$calls"))
fi
for k in "${points[@]}"; do
  full_port_files
  kill_then_recover "changed file" "$k"
done
rm -f "$SBX_OUT/on_call"

echo "kill points tried: $kills, in $SECONDS s"
