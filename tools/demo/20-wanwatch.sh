#!/usr/bin/env bash
# Inside the sandbox: the WAN link watcher on a PPPoE uplink for three ticks
# (five seconds apart), with the WAN cable plugged in, pulled out and plugged
# in again. The stub tools log every command the watcher runs, one argument
# per [bracket].
set -u
export NVRAM_FILE=/tmp/wanwatch-demo.conf
cat > "$NVRAM_FILE" <<'CONF'
OP_Mode=0
wanConnectionMode=PPPOE
wan_pppoe_user=demo user
wan_pppoe_pass=it's a "secret"; $(id)
wan_pppoe_opmode=KeepAlive
wan_pppoe_optime=60
CONF
log=$SBX_OUT/stub.log

cable() {
  if [ "$1" = plugged ]; then value=45e1; else value=0000; fi
  echo "Get: phy[4].reg[5] = $value" > "$SBX_OUT/mii_mgr.tmp"
  mv "$SBX_OUT/mii_mgr.tmp" "$SBX_OUT/mii_mgr.out"
}
probes() { grep -c '^mii_mgr ' "$log" || true; }
# tick TITLE: waits for the next probe and the commands it runs, then shows them.
tick() {
  local before after
  before=$(probes)
  while [ "$(probes)" -le "$before" ]; do sleep 0.1; done
  sleep 0.5 # the tick's commands
  echo "### tick: $1"
  grep -v '^mii_mgr ' "$log" | sed 's/^/    /'
  : > "$log"
}

echo "### wanwatch: gateway mode, PPPoE, password: $(sed -n 's/^wan_pppoe_pass=//p' "$NVRAM_FILE")"
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
echo "### the watcher's own output"
sed 's/^/    /' "$SBX_OUT/wanwatch.out"
