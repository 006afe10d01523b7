#!/usr/bin/env bash
# The trees, the default rules and eight user rules built with the real tc and
# iptables in the sandbox's own network namespace; the kernel's view is read
# back. Three disabled application entries set the levels the user rules
# borrow (game 1, voip 2, media 7: the lowest priority). iptables prints its
# rules in normal form (a port range 80:80 as "--dport 80", marks as
# --set-xmark, protocol 47 as gre).
SANDBOX_KERNEL=1
. "$(dirname "$0")/../lib.sh"

store <<'CONF'
OP_Mode=0
OperationMode=1
wanConnectionMode=DHCP
lan_ipaddr=192.168.1.1
lan_netmask=255.255.255.0
VX_QoSEnable=1
VX_QoSAutoClassify=0
VX_QoSUploadBw=2M
VX_QoSDownloadBw=8192
QoSAppRules3=1,0
QoSAppRules4=2,0
QoSAppRules5=7,0
QoSUserRules0=1,1,Gaming,0,1,500,a,b,c,d,e,f,0,0,0.0.0.0,0.0.0.0,80,80,0.0.0.0,0.0.0.0,0,0
QoSUserRules1=1,0,Voice,1,0,4000,,,,,,,1,0,0.0.0.0,0.0.0.0,0,0,0.0.0.0,0.0.0.0,5000,5100
QoSUserRules2=1,2,Ping,2,0,60000,,,,,,,2,1,203.0.113.7,203.0.113.7,0,0,0.0.0.0,0.0.0.0,0,0
QoSUserRules3=1,0,Media,3,1,2000,,,,,,,0,0,0.0.0.0,0.0.0.0,0,0,192.168.1.100,192.168.1.120,0,0
QoSUserRules4=1,1,Tunnel,4,0,5,,,,,,,2,47,10.1.0.0,10.1.255.255,0,0,0.0.0.0,0.0.0.0,0,0
QoSUserRules5=1,0,DNS,5,1,,,,,,,,1,,0.0.0.0,0.0.0.0,53,53,0.0.0.0,0.0.0.0,0,0
QoSUserRules6=1,1,P2P,4,0,51200,,,,,,,0,0,0.0.0.0,0.0.0.0,6881,6889,192.168.1.50,192.168.1.50,1024,65535
QoSUserRules7=1,0,Web,3,0,51201,,,,,,,0,0,203.0.113.34,203.0.113.34,443,443,0.0.0.0,0.0.0.0,0,0
CONF

# Something for the reset to remove: the run must start from a clean table.
iptables -t mangle -A PREROUTING -j MARK --set-mark 99
iptables -t mangle -N leftover

vx_qos > "$SBX_OUT/run.out" 2>&1
check_contains "build finished" "$(cat "$SBX_OUT/run.out")" "VX : === End of setting QoS === "

check "mangle table: default rules, then the user rules in order" "$(iptables -t mangle -S)" \
'-P PREROUTING ACCEPT
-P INPUT ACCEPT
-P FORWARD ACCEPT
-P OUTPUT ACCEPT
-P POSTROUTING ACCEPT
-A PREROUTING -s 192.168.1.0/24 -d 192.168.1.0/24 -j RETURN
-A PREROUTING -s 192.168.1.1/32 -d 239.255.255.250/32 -p udp -m udp --dport 1900 -j RETURN
-A PREROUTING -j MARK --set-xmark 0x4/0xffffffff
-A FORWARD -p tcp -m length --length 0:128 -m tcp --tcp-flags SYN,RST,ACK ACK -j MARK --set-xmark 0x2/0xffffffff
-A FORWARD -p tcp -m length --length 0:128 -m tcp --tcp-flags SYN,RST,ACK ACK -j RETURN
-A FORWARD -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j MARK --set-xmark 0x2/0xffffffff
-A FORWARD -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j RETURN
-A FORWARD -p icmp -m length --length 0:128 -j MARK --set-xmark 0x2/0xffffffff
-A FORWARD -p icmp -m length --length 0:128 -j RETURN
-A POSTROUTING -s 192.168.1.0/24 -d 192.168.1.0/24 -j RETURN
-A POSTROUTING -s 192.168.1.1/32 -d 239.255.255.250/32 -p udp -m udp --dport 1900 -j RETURN
-A POSTROUTING -p tcp -m length --length 0:128 -m tcp --tcp-flags SYN,RST,ACK ACK -j MARK --set-xmark 0x2/0xffffffff
-A POSTROUTING -p tcp -m length --length 0:128 -m tcp --tcp-flags SYN,RST,ACK ACK -j RETURN
-A POSTROUTING -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j MARK --set-xmark 0x2/0xffffffff
-A POSTROUTING -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j RETURN
-A POSTROUTING -p icmp -m length --length 0:128 -j MARK --set-xmark 0x2/0xffffffff
-A POSTROUTING -p icmp -m length --length 0:128 -j RETURN
-A POSTROUTING -p udp -m udp --dport 53 -j MARK --set-xmark 0x2/0xffffffff
-A POSTROUTING -p udp -m udp --dport 53 -j RETURN
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
-A POSTROUTING -o br0 -p tcp -m tcp --dport 443 -m iprange --dst-range 203.0.113.34-203.0.113.34 -j RETURN'

# kbit: turns tc's rates (10Kbit, 4Mbit, 2048Kbit, 1500bit) into kbit/s.
kbit() {
  awk -v r="$1" 'BEGIN {
    n = r + 0; u = substr(r, length(n "") + 1)
    if (u == "bit") n /= 1000; else if (u == "Mbit") n *= 1000; else if (u == "Gbit") n *= 1000000
    printf "%d", n }'
}

# One line per HTB class: classid parent prio rate ceil (kbit/s), by classid.
classes() {
  tc class show dev "$1" | while read -r _ kind id rest; do
    [ "$kind" = htb ] || continue
    set -- $rest
    parent=root prio=- rate=? ceil=?
    while [ $# -gt 0 ]; do
      case "$1" in
        parent) parent=$2; shift ;;
        prio) prio=$2; shift ;;
        rate) rate=$(kbit "$2"); shift ;;
        ceil) ceil=$(kbit "$2"); shift ;;
      esac
      shift
    done
    echo "$id $parent $prio $rate $ceil"
  done | sort -t: -k1,1n -k2,2n
}

check "WAN tree (handle 1, 2048 kbit/s)" "$(tc qdisc show dev eth2.2 | awk '$2 == "htb" {print $2, $3, $4}')" "htb 1: root"
check "WAN classes" "$(classes eth2.2)" \
'1:1 root - 2048 2048
1:2 1:1 1 10 2048
1:4 1:1 4 10 2048
1:70 1:1 4 500 2048
1:72 1:1 6 10 2048
1:74 1:1 2 10 10
1:76 1:1 2 10 51200'
check "LAN tree (handle 3, 8192 kbit/s)" "$(tc qdisc show dev br0 | awk '$2 == "htb" {print $2, $3, $4}')" "htb 3: root"
check "LAN classes" "$(classes br0)" \
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

# Queues and filters, where this kernel has them: probe on a device the
# build leaves alone.
if tc qdisc add dev ra0 root handle 9: sfq 2>/dev/null; then
  tc qdisc del dev ra0 root
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
else
  echo "skipped: sfq queue checks (this kernel has no sfq qdisc)"
fi
tc qdisc add dev ra0 root handle 9: htb
if tc filter add dev ra0 parent 9:0 protocol ip prio 1 handle 2 fw classid 9:2 2>/dev/null; then
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
else
  echo "skipped: fw filter checks (this kernel has no fw classifier)"
fi
tc qdisc del dev ra0 root
