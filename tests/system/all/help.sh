#!/usr/bin/env bash
# -h and --help on every program: the usage on standard output, status 0, and
# nothing else: no command started, no file written (pid files included).
. "$(dirname "$0")/../lib.sh"

files() { find /var /tmp -xdev 2>/dev/null | sort; }

for program in vx_qos wanwatch hostscout linkstamp qosstat; do
  for arg in -h --help; do
    reset_log
    files > "$SBX_OUT/files.before"
    "$program" "$arg" > "$SBX_OUT/out.txt" 2> "$SBX_OUT/err.txt"
    check "$program $arg: status" "$?" 0
    check_contains "$program $arg: usage" "$(head -n 1 "$SBX_OUT/out.txt")" "usage: $program"
    check "$program $arg: nothing on standard error" "$(cat "$SBX_OUT/err.txt")" ""
    check "$program $arg: no command" "$(cat "$STUB_LOG")" ""
    check "$program $arg: no file" "$(files | diff "$SBX_OUT/files.before" -)" ""
  done
done

# Only as the sole argument: with another one the program does its work.
store <<'CONF'
VX_QoSEnable=0
CONF
check_contains "vx_qos --help 1 builds" "$(vx_qos --help 1)" "QoS DISABLED"
