#!/usr/bin/env bash
# Inside the sandbox: record the link times as the router's scripts do, with
# the WAN cable pulled, then plugged in, then pulled again.
set -u
store=/tmp/linkstamp-demo.conf
{ cat "$SBX_PROJ/tools/demo/router.conf"; echo "RadioOff=0"; } > "$store"
export NVRAM_FILE=$store
cable() { printf 'Get: phy[4].reg[5] = %s\n' "$1" > "$SBX_OUT/mii_mgr.out"; }
show() {
  for f in /var/wan_link /var/lan_link /var/wlan_link; do
    printf '  %-15s %s\n' "$f" "$(cat "$f" 2>/dev/null || echo '(missing)')"
  done
}

echo "### linkstamp (uptime now $(cut -d' ' -f1 /proc/uptime) s, radio on)"
echo "--- WAN cable out (register 5 reads 0000): linkstamp 0 stamps all three"
cable 0000
linkstamp 0; show
sleep 2
echo "--- cable plugged in (register 5 reads 45e1): linkstamp 1 records the link-up"
cable 45e1
linkstamp 1; show
sleep 2
echo "--- linkstamp 1 again, link still up: the WAN file keeps the time of the link-up"
linkstamp 1; show
echo "--- cable out again: linkstamp 1 resets the WAN file"
cable 0000
linkstamp 1; show
rm -f "$SBX_OUT/mii_mgr.out"
