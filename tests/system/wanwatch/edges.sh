#!/usr/bin/env bash
# Gateway mode, DHCP: the cable plugged in gives the connect sequence, pulled
# out the teardown; steady ticks run nothing.
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/watch.bash"

store <<'CONF'
OP_Mode=0
wanConnectionMode=DHCP
SystemName=my router
CONF
# The DHCP client reports the signals it was started with blocked.
status_hook udhcpc SigBlk

cable pulled
reset_log
start_watcher
wait_for 3 mii_mgr # the start-up probe and two steady-down ticks
check "steady down runs nothing" "$(actions)" ""

cable plugged
wait_for 1 udhcpc
wait_for "$(( $(calls mii_mgr) + 2 ))" mii_mgr
check "up edge: DHCP client on eth2.2" "$(actions)" "killall [-q] [udhcpc]
udhcpc [-i] [eth2.2] [-s] [/sbin/udhcpc.sh] [-p] [/var/run/udhcpc.pid] [-h] [my router]"
check "the client's signals are not blocked" "$(cat "$SBX_OUT/udhcpc.SigBlk")" "SigBlk:	0000000000000000"

echo 10.0.0.1 > /var/physical_wanIf_gw
reset_log
cable pulled
wait_for 1 ifconfig
wait_for 2 mii_mgr
stop_watcher
check "down edge: teardown" "$(actions)" "ifconfig [eth2.2] [0.0.0.0]
killall [-q] [udhcpc]"
[ ! -e /var/physical_wanIf_gw ] || fail "gateway file left after the teardown"

out=$(cat "$SBX_OUT/watcher.out")
check "start-up line" "$(head -n 1 <<<"$out")" "Enter wanwatch "
check_contains "host name printed" "$out" "1111The SystemName is my router "
check_contains "missing gmac control file reported" "$out" \
  "indicate error: Cannot open /proc/rt3052/ or /proc/rt3352/  gmac file !!!"
check "pid file" "$(cat /var/run/wanwatch.pid)" "$WATCHER"
