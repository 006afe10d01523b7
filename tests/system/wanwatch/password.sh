#!/usr/bin/env bash
# Account values full of shell metacharacters reach the connection script as
# they are, one argument each, five arguments always; nothing is interpreted.
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/watch.bash"

pass=$'p a\'ss"; touch /tmp/injected; $(touch /tmp/injected2) `touch /tmp/injected3` $HOME \\ | &'
printf 'OP_Mode=0\nwanConnectionMode=PPPOE\nwan_pppoe_user=bob smith\nwan_pppoe_pass=%s\nwan_pppoe_opmode=\nwan_pppoe_optime=\n' \
  "$pass" | store
cable pulled
reset_log
start_watcher
wait_for 1 mii_mgr
cable plugged
wait_for 1 pppoe.sh
wait_for 1 pppd
stop_watcher
check "script arguments" "$(logged pppoe.sh)" "pppoe.sh [bob smith] [$pass] [eth2.2] [] []"
for f in /tmp/injected /tmp/injected2 /tmp/injected3; do
  [ ! -e "$f" ] || fail "password interpreted by the shell ($f)"
done
echo "ok: nothing interpreted"
check "connect sequence" "$(actions)" "killall [-q] [pppd]
pppoe.sh [bob smith] [$pass] [eth2.2] [] []
pppd [file] [/etc/options.pppoe]"
