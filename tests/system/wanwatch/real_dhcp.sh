#!/usr/bin/env bash
# Gateway mode, DHCP, on a real uplink (tools/isp/rig.bash): five times the
# cable plugged in and pulled out. Plugged: address and default route from the
# ISP's server within two ticks and 5 s. Pulled: no address and no client
# within a tick and 1 s. While up exactly one client, named by its pid file;
# while down none; never a zombie.
SANDBOX_KERNEL=1
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/watch.bash"
. "$SBX_PROJ/tools/isp/rig.bash"

store <<'CONF'
OP_Mode=0
wanConnectionMode=DHCP
SystemName=gw
CONF
isp_up
reset_log
start_watcher
# The tick, from the watcher's probes (the test build's is shorter than the router's).
wait_for 2 mii_mgr
start=${EPOCHREALTIME/./}
wait_for 4 mii_mgr
tick=$(((${EPOCHREALTIME/./} - start) / 2000))
echo "tick: $tick ms"

state() { echo "address '$(wan_address)', route '$(wan_route)', clients '$(clients | xargs)'"; }
for flap in 1 2 3 4 5; do
  cable plugged
  waited $((2 * tick + 5000)) linked || fail "flap $flap: not up $WAITED ms after the plug: $(state)"
  # A steady tick starts nothing more.
  sleep_ms $((tick + 200))
  up=$(clients)
  check "flap $flap: up after $WAITED ms, one client" "$(wc -l <<<"$up")" 1
  check "flap $flap: the pid file names it" "$(cat /var/run/udhcpc.pid)" "$up"
  cable pulled
  waited $((tick + 1000)) unlinked || fail "flap $flap: not down $WAITED ms after the pull: $(state)"
  sleep_ms $((tick + 200))
  check "flap $flap: down after $WAITED ms, no client" "$(clients)" ""
  check "flap $flap: no zombie" "$(zombies)" ""
done
stop_watcher
isp_down
