#!/usr/bin/env bash
# modes: single batch
# The trees with their sfq queues and fw filters, the default rules and eight
# user rules built with the real tc and iptables in the sandbox's own network
# namespace; the kernel's view is read back. iptables prints its rules in normal form (a port range 80:80 as
# "--dport 80", marks as --set-xmark, protocol 47 as gre).
SANDBOX_KERNEL=1
. "$(dirname "$0")/../system/lib.sh"
. "$(dirname "$0")/../system/qos/qos.bash"

printf '%s\n%s\n' "$(gateway_conf 1)" "$EIGHT_USER_RULES" | store

# Something for the reset to remove: the run must start from a clean table.
iptables -t mangle -A PREROUTING -j MARK --set-mark 99
iptables -t mangle -N leftover

vx_qos > "$SBX_OUT/run.out" 2>&1
check_contains "build finished" "$(cat "$SBX_OUT/run.out")" "VX : === End of setting QoS === "

check "mangle table: default rules, then the user rules in order" "$(iptables -t mangle -S)" \
"$MANGLE_POLICIES
$MANGLE_PREROUTING_DEFAULTS
$MANGLE_FORWARD_DEFAULTS
$MANGLE_POSTROUTING_DEFAULTS
-A POSTROUTING -o eth2.2 -p tcp -m tcp --dport 80 -j MARK --set-xmark 0x46/0xffffffff
-A POSTROUTING -o eth2.2 -p tcp -m tcp --dport 80 -j RETURN
-A POSTROUTING -o br0 -p udp -m udp --sport 5000:5100 -j MARK --set-xmark 0x51/0xffffffff
-A POSTROUTING -o br0 -p udp -m udp --sport 5000:5100 -j RETURN
-A POSTROUTING -o eth2.2 -p icmp -m iprange --dst-range 203.0.113.7-203.0.113.7 -j MARK --set-xmark 0x48/0xffffffff
-A POSTROUTING -o eth2.2 -p icmp -m iprange --dst-range 203.0.113.7-203.0.113.7 -j RETURN
-A POSTROUTING -o br0 -p tcp -m iprange --src-range 192.168.1.100-192.168.1.120 -j MARK --set-xmark 0x53/0xffffffff
-A POSTROUTING -o br0 -p tcp -m iprange --src-range 192.168.1.100-192.168.1.120 -j RETURN
-A POSTROUTING -o eth2.2 -p gre -m iprange --dst-range 10.1.0.0-10.1.255.255 -j MARK --set-xmark 0x4a/0xffffffff
-A POSTROUTING -o eth2.2 -p gre -m iprange --dst-range 10.1.0.0-10.1.255.255 -j RETURN
-A POSTROUTING -o br0 -p udp -m udp --dport 53 -j MARK --set-xmark 0x55/0xffffffff
-A POSTROUTING -o br0 -p udp -m udp --dport 53 -j RETURN
-A POSTROUTING -o eth2.2 -p tcp -m tcp --sport 1024:65535 --dport 6881:6889 -m iprange --src-range 192.168.1.50-192.168.1.50 -j MARK --set-xmark 0x4c/0xffffffff
-A POSTROUTING -o eth2.2 -p tcp -m tcp --sport 1024:65535 --dport 6881:6889 -m iprange --src-range 192.168.1.50-192.168.1.50 -j RETURN
-A POSTROUTING -o br0 -p tcp -m tcp --dport 443 -m iprange --dst-range 203.0.113.34-203.0.113.34 -j MARK --set-xmark 0x57/0xffffffff
-A POSTROUTING -o br0 -p tcp -m tcp --dport 443 -m iprange --dst-range 203.0.113.34-203.0.113.34 -j RETURN"

check "WAN tree (handle 1, 2048 kbit/s)" "$(tc qdisc show dev eth2.2 | awk '$2 == "htb" {print $2, $3, $4}')" "htb 1: root"
check "WAN classes" "$(htb_classes eth2.2)" \
'1:1 root - 2048 2048
1:2 1:1 1 10 2048
1:4 1:1 4 10 2048
1:70 1:1 4 500 2048
1:72 1:1 6 10 2048
1:74 1:1 2 10 10
1:76 1:1 2 10 51200'
check "LAN tree (handle 3, 8192 kbit/s)" "$(tc qdisc show dev br0 | awk '$2 == "htb" {print $2, $3, $4}')" "htb 3: root"
check "LAN classes" "$(htb_classes br0)" \
'3:1 root - 8192 8192
3:2 3:1 1 10 8192
3:4 3:1 4 10 8192
3:81 3:1 6 10 4000
3:83 3:1 2 2000 8192
3:85 3:1 2 10 8192
3:87 3:1 2 10 8192'
for dev in ppp0 eth2 ra0 apcli0; do
  tc qdisc show dev "$dev" | grep -q htb && fail "a tree on $dev"
done
echo "ok: no tree on ppp0, eth2, ra0, apcli0"

sfq() { tc qdisc show dev "$1" | awk '$2 == "sfq" {for (i = 1; i < NF; i++) if ($i == "perturb") p = $(i+1); print $3, $5, p}' | sort; }
check "WAN queues" "$(sfq eth2.2)" '12: 1:2 5sec
14: 1:4 10sec
170: 1:70 10sec
172: 1:72 10sec
174: 1:74 10sec
176: 1:76 10sec'
check "LAN queues" "$(sfq br0)" '12: 3:2 5sec
14: 3:4 10sec
181: 3:81 10sec
183: 3:83 10sec
185: 3:85 10sec
187: 3:87 10sec'
# "pref P fw ... handle 0xM classid h:m" -> "h:m P 0xM"
fw() {
  tc filter show dev "$1" | awk '/ fw / && /classid/ {
    for (i = 1; i < NF; i++) { if ($i == "pref") p = $(i+1); if ($i == "handle") h = $(i+1); if ($i == "classid") c = $(i+1) }
    print c, p, h }' | sort -t: -k2,2n
}
check "WAN filters" "$(fw eth2.2)" '1:2 1 0x2
1:4 4 0x4
1:70 4 0x46
1:72 6 0x48
1:74 2 0x4a
1:76 2 0x4c'
check "LAN filters" "$(fw br0)" '3:2 1 0x2
3:4 4 0x4
3:81 6 0x51
3:83 2 0x53
3:85 2 0x55
3:87 2 0x57'
