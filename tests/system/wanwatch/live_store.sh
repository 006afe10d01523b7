#!/usr/bin/env bash
# Settings changed while the watcher runs take effect at its next tick: a new
# connection type decides the next down edge's teardown, and a new LAN
# gateway the gateway file.
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/watch.bash"

# wait_for_gateway ADDRESS: until the gateway file holds ADDRESS (at most 30 s).
wait_for_gateway() {
  local until=$((SECONDS + 30))
  while [ "$(cat /var/physical_wanIf_gw 2>/dev/null)" != "$1" ] && [ "$SECONDS" -lt "$until" ]; do
    sleep 0.05
  done
}

store <<'CONF'
OP_Mode=0
wanConnectionMode=PPPOE
wan_pppoe_user=alice
wan_pppoe_pass=secret
CONF
cable pulled
reset_log
start_watcher
wait_for 2 mii_mgr
cable plugged
wait_for 1 pppoe.sh
store <<'CONF'
OP_Mode=0
wanConnectionMode=DHCP
SystemName=gw
CONF
wait_for "$(( $(calls mii_mgr) + 2 ))" mii_mgr
reset_log
cable pulled
wait_for 1 ifconfig
wait_for 2 mii_mgr
check "down edge after the type changed: DHCP teardown" "$(actions)" "ifconfig [eth2.2] [0.0.0.0]
killall [-q] [udhcpc]"

# LAN-gateway mode: the gateway file follows lan_gateway.
store <<'CONF'
OP_Mode=1
lan_gateway=192.168.1.1
CONF
wait_for_gateway 192.168.1.1
check "gateway file holds lan_gateway" "$(cat /var/physical_wanIf_gw)" 192.168.1.1
store <<'CONF'
OP_Mode=1
lan_gateway=192.168.1.254
CONF
wait_for_gateway 192.168.1.254
stop_watcher
check "gateway file follows lan_gateway" "$(cat /var/physical_wanIf_gw)" 192.168.1.254
check "no store message" "$(grep '^nvram:' "$SBX_OUT/watcher.out")" ""
