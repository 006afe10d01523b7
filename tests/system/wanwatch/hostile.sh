#!/usr/bin/env bash
# The watcher against a hostile environment: its standard output a pipe whose
# reader went away, a FIFO in place of the PPP state file, a symlink planted
# at the gateway file, and gateway values an echo would misread.
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/watch.bash"

# Gateway mode, PPTP without a session: the watcher redials while the link is
# up. The PPP state file is a FIFO without a writer, which reads as no session.
pptp_store
status_hook accel-pptp.sh SigIgn
cable plugged
rm -f /etc/link
mkfifo /etc/link
mkfifo /tmp/watcher.pipe
cat /tmp/watcher.pipe > /dev/null &
reader=$!
reset_log
# Started as under nohup: SIGHUP ignored.
(trap '' HUP; exec wanwatch > /tmp/watcher.pipe 2>&1) &
WATCHER=$!
wait_for 1 mii_mgr
kill "$reader"
wait "$reader" 2>/dev/null
# Every tick reports the missing gmac control file into the broken pipe.
wait_for 2 accel-pptp.sh
kill -0 "$WATCHER" 2>/dev/null || fail "the watcher died with its output pipe"
echo "ok: still redialling after the reader of its output went away"
# SIGPIPE is caught, not ignored: the scripts it starts get the default back.
# SIGHUP, ignored by the watcher's caller, stays ignored in them.
check "started scripts ignore SIGHUP, not SIGPIPE" \
  "$(( 0x$(cut -f2 "$SBX_OUT/accel-pptp.sh.SigIgn") & 0x1001 ))" 1
stop_watcher
rm -f /etc/link "$SBX_OUT/on_accel-pptp.sh"

# LAN-gateway mode rewrites the gateway file every tick: the value byte for
# byte, and a symlink planted at the file is replaced, never written through.
echo keep > /tmp/victim
ln -s /tmp/victim /var/physical_wanIf_gw
for value in 192.168.1.254 -n 'a\c b'; do
  printf 'OP_Mode=1\nlan_gateway=%s\n' "$value" | store
  reset_log
  start_watcher
  for _ in $(seq 100); do
    [ -f /var/physical_wanIf_gw ] && [ ! -L /var/physical_wanIf_gw ] &&
      [ "$(cat /var/physical_wanIf_gw)" = "$value" ] && break
    sleep 0.05
  done
  stop_watcher
  check "gateway file holds '$value'" "$(cat /var/physical_wanIf_gw; echo .)" "$value
."
done
[ ! -L /var/physical_wanIf_gw ] || fail "the planted symlink is still there"
check "the symlink's target is untouched" "$(cat /tmp/victim)" keep
