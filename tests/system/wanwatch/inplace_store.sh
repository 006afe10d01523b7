#!/usr/bin/env bash
# The store rewritten in place, truncated and then written, a thousand times
# while the watcher runs with the link up and a PPPoE session: a tick that
# reads the store between the two steps still sees the settings, so there is
# no edge and no redial.
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/watch.bash"

printf '%s\n' OP_Mode=0 wanConnectionMode=PPPOE wan_pppoe_user=alice wan_pppoe_pass=secret > "$SBX_OUT/conf"
store < "$SBX_OUT/conf"
cable plugged
ip link add ppp0 type veth peer name ppp0-p
echo 1 > /etc/link
reset_log
start_watcher
wait_for 2 mii_mgr
reset_log
# The shell truncates the file before cat starts: each rewrite leaves it empty
# for about as long as it takes to start a program. At least four ticks fall
# among the rewrites.
rewrites=0
while [ "$rewrites" -lt 1000 ] || [ "$(calls mii_mgr)" -lt 4 ]; do
  cat "$SBX_OUT/conf" > /etc/nvram.conf
  rewrites=$((rewrites + 1))
done
wait_for "$(( $(calls mii_mgr) + 2 ))" mii_mgr
stop_watcher
echo "$rewrites rewrites, $(calls mii_mgr) ticks"
check "no edge and no redial" "$(actions)" ""
check "no store message" "$(grep '^nvram:' "$SBX_OUT/watcher.out")" ""
