#!/usr/bin/env bash
# Gateway mode, PPTP: with the link up and no PPP session the connect is run
# again on the fifth steady tick and then on every fourth; a session stops it.
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/watch.bash"

pptp_store wan_pptp_opmode=KeepAlive wan_pptp_optime=60
cable plugged
rm -f /etc/link
reset_log
start_watcher
wait_for 2 accel-pptp.sh
log=$(cat "$STUB_LOG")
before=$(sed -n '/^accel-pptp.sh /q;/^mii_mgr /p' <<<"$log" | wc -l)
between=$(sed -n '/^accel-pptp.sh /,$p' <<<"$log" | sed '1d;/^accel-pptp.sh /q' | grep -c '^mii_mgr ')
check "first redial on the fifth steady tick" "$before" 6
check "then every fourth" "$between" 4
# udhcpc and pppd go to the background, so only the others keep their order.
check "redial runs the whole connect" "$(actions | sed -n '1,5p' | grep -v -e '^udhcpc ' -e '^pppd ')" \
  "killall [-q] [udhcpc]
killall [-q] [pppd]
accel-pptp.sh [alice] [secret] [vpn.example.net] [KeepAlive] [60]"
check "with the client and the daemon" "$(actions | sed -n '1,5p' | grep -e '^udhcpc ' -e '^pppd ' | sort)" \
  "pppd [file] [/etc/options.pptp]
udhcpc [-i] [eth2.2] [-s] [/sbin/udhcpc.sh] [-p] [/var/run/udhcpc.pid] [-h] [gw]"

# A session: the scripts' report and its interface, here ppp1 (a pppd that
# found unit 0 still taken).
ip link add ppp1 type veth peer name ppp1-p
echo '1 ppp1' > /etc/link
wait_for "$(( $(calls mii_mgr) + 1 ))" mii_mgr
reset_log
wait_for 6 mii_mgr
check "a session stops the redial" "$(actions)" ""

# Killed outright, a pppd leaves its report behind: "1 ppp0", and no ppp0.
# The redial's new pppd makes ppp0 at once, long before its session is up:
# only its own ip-up may report one, so the redial goes on.
ip link del ppp1
echo '1 ppp0' > /etc/link
cat > "$SBX_OUT/on_pppd" <<'HOOK'
#!/bin/sh
ip link show ppp0 > /dev/null 2>&1 || ip link add ppp0 type veth peer name ppp0-p
HOOK
chmod +x "$SBX_OUT/on_pppd"
reset_log
wait_for 2 accel-pptp.sh
check "a report left behind stands for no new session" "$(cat /etc/link)" 0
rm -f "$SBX_OUT/on_pppd"

reset_log
cable pulled
wait_for 1 ifconfig
wait_for 2 mii_mgr
stop_watcher
check "down edge" "$(actions)" "ifconfig [eth2.2] [0.0.0.0]
killall [-q] [udhcpc]
killall [-q] [pppd]"
