#!/usr/bin/env bash
# The mangle table goes from one full rule set to another in one step in
# batch mode: a reader polling the number of rules sees only the old or the
# new count. One command at a time it sees the counts in between.
SANDBOX_KERNEL=1
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/qos.bash"

full=$(cat "$SBX_PROJ/tools/bench/full.conf")
# The other rule set: the same without the user rules.
other=$(grep -v '^QoSUserRules' <<< "$full")

count_with() {
  printf '%s\n' "$1" | store
  vx_qos > /dev/null 2>&1
  iptables -t mangle -S | wc -l
}
new=$(count_with "$other")
old=$(count_with "$full")
[ "$old" != "$new" ] || fail "the two rule sets have the same count ($old)"

# poll_during CONF...: the counts a reader sees while vx_qos builds each CONF in turn.
poll_during() {
  : > "$SBX_OUT/counts"
  (while [ ! -e "$SBX_OUT/stop" ]; do iptables -t mangle -S | wc -l >> "$SBX_OUT/counts"; done) &
  local reader=$!
  for conf in "$@"; do
    printf '%s\n' "$conf" | store
    vx_qos > /dev/null 2>&1
  done
  touch "$SBX_OUT/stop"
  wait "$reader"
  rm -f "$SBX_OUT/stop"
  sort -n "$SBX_OUT/counts" | uniq | tr '\n' ' '
}

batched=$(poll_during "$other
VX_QoSBatch=1" "$full
VX_QoSBatch=1" "$other
VX_QoSBatch=1" "$full
VX_QoSBatch=1")
echo "batch mode, counts seen: $batched"
check "batch mode: only the old and the new count" "$(tr ' ' '\n' <<< "$batched" | grep -vxE "$old|$new|" | head -1)" ""

single=$(poll_during "$other")
echo "one at a time, counts seen: $single"
[ -n "$(tr ' ' '\n' <<< "$single" | grep -vxE "$old|$new|")" ] || fail "one at a time: no count in between"
echo "ok: one at a time: counts in between"
