#!/usr/bin/env bash
# WISP mode with an L2TP tunnel over a DHCP address and wanip mode 0: the
# watcher only runs restart_ppp.sh on every tick, the first after three
# fifths of the period. With the tunnel's address static, the reconnect
# handler runs instead.
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/watch.bash"

store <<'CONF'
OP_Mode=6
wanConnectionMode=L2TP
wan_l2tp_wanip_mode=0
wan_l2tp_mode=1
CONF
reset_log
start=$(date +%s%N)
start_watcher
wait_for 3 restart_ppp.sh
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
stop_watcher
check "only the start-up probe and the script" "$(sort -u "$STUB_LOG")" "iwconfig [ra0]
restart_ppp.sh"
check "one probe at start" "$(calls iwconfig)" 1
# Three runs: the first expiry, then two periods (1300 ms with the test build's 500 ms).
[ "$elapsed" -ge 1200 ] || fail "three runs after $elapsed ms"
echo "ok: three runs after $elapsed ms"

sed -i 's/^wan_l2tp_mode=1/wan_l2tp_mode=0/' /etc/nvram.conf
reset_log
start_watcher
wait_for 3 iwconfig
stop_watcher
check "static address: the reconnect handler" "$(calls restart_ppp.sh)" 0
