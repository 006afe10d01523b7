#!/usr/bin/env bash
# Inside the sandbox (--kernel): the WAN link watcher in gateway mode on a real
# DHCP uplink (tools/isp/rig.bash: dnsmasq as the ISP, busybox udhcpc, the
# sample /sbin/udhcpc.sh, real killall, ifconfig and route), with the cable
# plugged in, pulled out and plugged in again; then on a PPPoE uplink with the
# stub tools, for three ticks. The stubs log every command the watcher runs
# (and the DHCP client's script), one argument per [bracket].
set -u
log=$SBX_OUT/stub.log
probes() { grep -c '^mii_mgr ' "$log" || true; }
actions() { grep -v '^mii_mgr ' "$log" | sed 's/^/    /'; : > "$log"; }
seconds() { printf '%d.%d s' $(($1 / 1000)) $(($1 % 1000 / 100)); }

echo "### wanwatch: gateway mode, DHCP, on a real uplink (release build: one tick every 5 s)"
. "$SBX_PROJ/tools/isp/rig.bash"
trap isp_down EXIT
isp_up
export NVRAM_FILE=/tmp/wanwatch-dhcp.conf
printf '%s\n' OP_Mode=0 wanConnectionMode=DHCP SystemName=demo-router > "$NVRAM_FILE"
: > "$log"
wanwatch > "$SBX_OUT/wanwatch.out" 2>&1 &
watcher=$!
while [ "$(probes)" -lt 1 ]; do sleep 0.05; done
: > "$log"
echo "(dnsmasq serves 10.9.0.100-199 behind eth2.2, gateway $ISP_ADDR; the watcher started with the cable pulled."
echo " Below: the commands the watcher runs, then those of /sbin/udhcpc.sh, as the stubs log them before the real tools run)"

# plug TITLE: plugs the cable in and shows what follows, with timings.
plug() {
  local edge
  cable plugged
  waited 20000 eval '[ -n "$(clients)" ]'
  edge=$WAITED
  waited 20000 linked
  echo "### $1"
  actions
  echo "    udhcpc started $(seconds "$edge") after the plug (at the next tick); address" \
    "$(wan_address), $(wan_route | sed 's/ *$//') $(seconds $((edge + WAITED))) after the plug"
  echo "    /var/physical_wanIf_gw: $(cat /var/physical_wanIf_gw 2>/dev/null || echo '(missing)')"
  echo "    ping $ISP_ADDR: $(ping -c 1 -W 1 "$ISP_ADDR" | sed -n 's/.*\(time=.*\)/\1/p')"
}

plug "cable plugged in (the next tick sees the link and starts udhcpc)"
first=$(wan_address)
cable pulled
waited 20000 unlinked
echo "### cable pulled out"
actions
echo "    address and client gone after $(seconds "$WAITED"); udhcpc processes left: $(clients | wc -l);" \
  "gateway file: $([ -e /var/physical_wanIf_gw ] && echo still there || echo gone)"
plug "cable plugged in again"
[ "$(wan_address)" = "$first" ] && echo "    the same lease back: $first"
kill "$watcher"
wait "$watcher" 2>/dev/null
isp_down
trap - EXIT
echo "### the watcher's own output (with udhcpc's)"
sed 's/^/    /' "$SBX_OUT/wanwatch.out"

echo
echo "### wanwatch: gateway mode, PPPoE, on stubs: the PPP-based types (PPPoE, PPTP, L2TP) stay on"
echo "### stub tools here, since this kernel has no PPP. One tick every 5 s."
export NVRAM_FILE=/tmp/wanwatch-demo.conf
cat > "$NVRAM_FILE" <<'CONF'
OP_Mode=0
wanConnectionMode=PPPOE
wan_pppoe_user=demo user
wan_pppoe_pass=it's a "secret"; $(id)
wan_pppoe_opmode=KeepAlive
wan_pppoe_optime=60
CONF

cable() {
  if [ "$1" = plugged ]; then value=45e1; else value=0000; fi
  echo "Get: phy[4].reg[5] = $value" > "$SBX_OUT/mii_mgr.tmp"
  mv "$SBX_OUT/mii_mgr.tmp" "$SBX_OUT/mii_mgr.out"
}
# tick TITLE: waits for the next probe and the commands it runs, then shows them.
tick() {
  local before
  before=$(probes)
  while [ "$(probes)" -le "$before" ]; do sleep 0.1; done
  sleep 0.5 # the tick's commands
  echo "### tick: $1"
  actions
}

echo "### password: $(sed -n 's/^wan_pppoe_pass=//p' "$NVRAM_FILE")"
cable pulled
: > "$log"
wanwatch > "$SBX_OUT/wanwatch.out" &
watcher=$!
while [ "$(probes)" -lt 1 ]; do sleep 0.05; done
: > "$log"
echo "(started with the cable pulled)"
cable plugged
tick "cable plugged in (up edge: connect)"
echo 10.64.0.1 > /var/physical_wanIf_gw # as the PPP scripts would leave it
cable pulled
tick "cable pulled out (down edge: teardown)"
[ -e /var/physical_wanIf_gw ] || echo "    (and rm -f /var/physical_wanIf_gw: the gateway file is gone)"
cable plugged
tick "cable plugged in again"
kill "$watcher"
wait "$watcher" 2>/dev/null
rm -f "$SBX_OUT/mii_mgr.out"
echo "### the watcher's own output"
sed 's/^/    /' "$SBX_OUT/wanwatch.out"
