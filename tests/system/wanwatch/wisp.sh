#!/usr/bin/env bash
# WISP mode, DHCP: the access point read from iwconfig decides; associated at
# start, the first tick starts the DHCP client on ra0; another access point
# restarts it; losing the association tears it down.
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/watch.bash"

ap() {
  printf 'ra0       IEEE 802.11g  ESSID:"upstream"\n          Mode:Managed  Frequency:2.437 GHz  Access Point: %s   \n' "$1" \
    > "$SBX_OUT/iwconfig.tmp"
  mv "$SBX_OUT/iwconfig.tmp" "$SBX_OUT/iwconfig.out"
}
start_dhcp="killall [-q] [udhcpc]
ifconfig [ra0] [0.0.0.0]
udhcpc [-i] [ra0] [-s] [/sbin/udhcpc.sh] [-p] [/var/run/udhcpc.pid] [-h] [ap-client]"

store <<'CONF'
OP_Mode=6
wanConnectionMode=DHCP
SystemName=ap-client
RadioOff=0
CONF
ap 00:11:22:33:44:55
reset_log
start_watcher
wait_for 4 iwconfig
check "associated at start: one client start" "$(actions)" "$start_dhcp"

reset_log
ap 66:77:88:99:AA:BB
wait_for 1 udhcpc
wait_for 3 iwconfig
check "another access point: a new client" "$(actions)" "$start_dhcp"

reset_log
ap Not-Associated
wait_for 1 ifconfig
wait_for 2 iwconfig
stop_watcher
check "association lost" "$(actions)" "ifconfig [ra0] [0.0.0.0]
killall [-q] [udhcpc]"
