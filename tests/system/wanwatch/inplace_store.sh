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

# A store of 200 lines rewritten in place in two writes, the second after a
# pause: a read between them finds the file cut inside the password line,
# without the mode line after it, which would make its tick lose the edge.
# Every plug of the cable dials, with the whole password.
{ seq -f 'filler_%g=value' 197; printf '%s\n' OP_Mode=0 wan_pppoe_user=alice wan_pppoe_pass=correct-horse-battery \
  wanConnectionMode=PPPOE; } > "$SBX_OUT/big"
store < "$SBX_OUT/big"
whole=$(cat "$SBX_OUT/big")
head=${whole%battery*}
tail=battery${whole##*battery}
rm -f /etc/link
cable pulled
reset_log
start_watcher
wait_for 1 mii_mgr
while :; do { printf '%s' "$head"; sleep 0.02; printf '%s\n' "$tail"; } > /etc/nvram.conf; sleep 0.01; done &
writer=$!
for plug in 1 2 3 4 5 6; do
  cable plugged
  wait_for "$plug" pppoe.sh
  cable pulled
  wait_for "$plug" ifconfig
done
kill "$writer"
wait "$writer" 2>/dev/null
stop_watcher
check "every plug dials with the whole password" "$(grep '^pppoe.sh' "$STUB_LOG" | sort | uniq -c | sed 's/^ *//')" \
  "6 pppoe.sh [alice] [correct-horse-battery] [eth2.2] [] []"
