#!/usr/bin/env bash
# Fair mode, lab box, IPv6 mode: the mode's own rules, meters, leaves and
# host queues are in the kernel; a LAN host's DSCP-marked datagrams land in
# their classes, two hosts behind address translation in their own host
# queues both ways, and a peer's flood of replies stays out of the high
# class; the line's overhead counts; both apply modes leave one state; key
# off: a plain build's, once the mode's connection-mark bits are cleared.
# box: fair
# seconds: 450
SANDBOX_KERNEL=1
. "$(dirname "$0")/../system/lib.sh"
. "$SBX_PROJ/tests/system/qos/qos.bash"
. "$SBX_PROJ/tools/wan_peer.bash"

{ tc qdisc add dev eth2 root fq_codel && tc qdisc del dev eth2 root; } 2> /dev/null || { echo "SKIP: no fq_codel"; exit 77; }
# Connection tracking loaded (a router's NAT has it), its accounting off.
iptables -t mangle -A OUTPUT -m conntrack --ctstate NEW && iptables -t mangle -F OUTPUT
echo 0 > /proc/sys/net/netfilter/nf_conntrack_acct

state() {
  for dev in eth2.2 br0; do
    tc qdisc show dev "$dev" | sed "s/ direct_packets_stat [0-9]*//"
    tc class show dev "$dev" | grep -v '^class fq_codel ' # a queue's busy flows
    tc filter show dev "$dev"
  done
  iptables -t mangle -S
  ip6tables -t mangle -S
  cat /proc/sys/net/netfilter/nf_conntrack_acct
  ls /var/vx_qos.fair 2> /dev/null
}
# An application leaf each way (bnet) and a user rule's, beside the defaults.
build() {
  { gateway_conf 1; printf '%s\n' QoSAppRules3=0,1,1,1,300,1,1,100 VX_QoSIPv6=1 "$@" \
      QoSUserRules0=1,1,Gaming,0,1,500,,,,,,,1,0,0.0.0.0,0.0.0.0,3074,3074,0.0.0.0,0.0.0.0,0,0; } | store
  vx_qos > "$SBX_OUT/out.txt" 2> "$SBX_OUT/errors.txt"
  check "no refusal ($*)" "$(grep -v 'quantum of class' "$SBX_OUT/errors.txt")" ""
}

build VX_QoSBatch=1
plain=$(state)
build VX_QoSFair=1
fair=$(state)

# What the mode itself adds: its DSCP rules in FORWARD (seven classes to h:2,
# CS1 to h:6) and its meters at the end of POSTROUTING, for both families; an
# fq_codel queue on every leaf, no sfq left.
for tool in iptables ip6tables; do
  rules=$($tool -t mangle -S)
  check "$tool: DSCP rules from the LAN" "$(grep -c -- '-A FORWARD -i br0 .*-m dscp --dscp ' <<< "$rules")" 8
  check "$tool: CS1 to the lowest class" "$(grep -c -- '-m dscp --dscp 0x08 -j MARK --set-xmark 0x6/' <<< "$rules")" 1
  for meter in 'connbytes-mode avgpkt:1' 'ctdir ORIGINAL -m hashlimit .*-name vx_host :1' 'ctdir REPLY -m hashlimit .*-name vx_hostin :1' \
    'hashlimit-name vx_fair :2' 'connmark --mark 0x30000/0x30000:1'; do
    check "$tool: ${meter%:*}" "$(grep -c -- "-A POSTROUTING .*${meter%:*}" <<< "$rules")" "${meter##*:}"
  done
done
for dev in eth2.2 br0; do
  check "$dev: a class for every leaf, the lowest one among them" "$(tc class show dev "$dev" | grep -c '^class htb [0-9]*:6 ')" 1
  check "$dev: the low leaf's drr queue and its eight host classes" \
    "$(tc qdisc show dev "$dev" | grep -c '^qdisc drr e4: parent [0-9]:4 ') $(tc class show dev "$dev" | grep -c '^class drr e4:')" "1 8"
  check "$dev: fq_codel on every other leaf and every host queue" "$(tc qdisc show dev "$dev" | grep -c '^qdisc fq_codel ')" \
    "$(($(tc class show dev "$dev" | grep -c ' parent [0-9]*:1 ') - 1 + 8))"
  check "$dev: no sfq" "$(tc qdisc show dev "$dev" | grep -c '^qdisc sfq ')" 0
done

# A LAN host behind br0 sends UDP marked EF and CS1 to the WAN peer: each
# counted by its DSCP rule, EF landing in 1:2 and CS1 in 1:6 of the WAN tree
# (1:2 also carries the router's own small packets: at least five there).
wan_peer_up
ip addr add 192.168.1.1/24 dev br0
echo 1 > /proc/sys/net/ipv4/ip_forward
unshare --net sleep 900 &
lan=$!
sleep 0.5
in_lan() { nsenter -t "$lan" -n "$@"; }
ip link add lan0 type veth peer name lan0-p
ip link set lan0-p master br0 up
ip link set lan0 netns "$lan"
in_lan ip addr add 192.168.1.50/24 dev lan0
in_lan ip link set lan0 up
in_lan ip route add default via 192.168.1.1
sleep 1
sent() { tc -s class show dev eth2.2 | awk -v c="class htb $1 " 'index($0, c) == 1 { getline; print $4 }'; }
rule() { iptables -t mangle -vxnL FORWARD | awk -v m="DSCP match $1" 'index($0, m) { print $1 }'; }
for case in 1:2:0xb8:0x2e 1:6:0x20:0x08; do
  IFS=: read -r tree leaf tos dscp <<< "$case"
  class=$tree:$leaf
  before=$(sent "$class")
  in_lan python3 -c '
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.IPPROTO_IP, socket.IP_TOS, int(sys.argv[1], 16))
for i in range(5):
    s.sendto(b"fair probe", ("10.9.0.2", 40000 + i))' "$tos"
  sleep 0.5
  check "DSCP $dscp: its rule counted the five datagrams" "$(rule "$dscp")" 5
  check "DSCP $dscp: class $class carried them" "$(($(sent "$class") - before >= 5))" 1
done

# Two hosts behind address translation (.50 and .51: host queues e4:3 and
# e4:4): each one's pings of 1000 bytes (the low class) in its own host
# queue, upstream by the address before translation, downstream by the
# destination. The peer is a namespace of its own now.
in_lan ip addr add 192.168.1.51/24 dev lan0
unshare --net sleep 900 &
wan=$!
sleep 0.5
in_wan() { nsenter -t "$wan" -n "$@"; }
ip link set eth2.2-p netns "$wan"
in_wan ip addr add 10.9.0.2/24 dev eth2.2-p
in_wan ip link set eth2.2-p up
iptables -t nat -A POSTROUTING -o eth2.2 -j MASQUERADE
queued() { tc -s class show dev "$1" | awk -v c="class drr e4:$2 " 'index($0, c) == 1 { getline; print $4 }'; }
before="$(queued eth2.2 3) $(queued eth2.2 4) $(queued br0 3) $(queued br0 4)"
for host in 50 51; do in_lan ping -q -c 5 -i 0.2 -s 1000 -I 192.168.1.$host 10.9.0.2 > /dev/null; done
read -r u3 u4 d3 d4 <<< "$before"
check "each host's pings in its host queue both ways" \
  "$(($(queued eth2.2 3) - u3 >= 5)) $(($(queued eth2.2 4) - u4 >= 5)) $(($(queued br0 3) - d3 >= 5)) $(($(queued br0 4) - d4 >= 5))" "1 1 1 1"

# A peer answers each of a LAN host's 30 small datagrams (10 a second) with
# 100 of 478 bytes: no more than a budget a second of it in the LAN tree's
# high class (the meter of the original direction alone promoted nearly all
# of its 1.4 MB), the rest in the lowest.
flood=$SBX_PROJ/tools/bench/reply_flood.py
in_wan python3 "$flood" server 40100 &
server=$!
sleep 0.5
bytes() { tc -s class show dev br0 | awk -v c="class htb 3:$1 " 'index($0, c) == 1 { getline; print $2 }'; }
high=$(bytes 2) low=$(bytes 6)
in_lan python3 "$flood" client 4 192.168.1.50 :: 10.9.0.2 :: 40101 40100 3 > /dev/null
kill "$server"
check "the reply flood: at most a budget a second in 3:2, the bulk in 3:6" \
  "$(($(bytes 2) - high <= 3 * 33000)) $(($(bytes 6) - low >= 1000000))" "1 1"

# The line's own bytes: a DSL line's 40 bytes and ATM cells. Each 100-byte
# IP packet is counted at its three cells (159 bytes) in the class that
# carries it.
build VX_QoSFair=1 VX_QoSBatch=1 VX_QoSOverhead=40 VX_QoSLinkLayer=atm
check "the WAN tree's size table" "$(tc -d qdisc show dev eth2.2 | grep -c '^ linklayer atm overhead 26 ')" 1
counted() { tc -s class show dev eth2.2 | awk 'index($0, "class htb 1:4 ") == 1 { getline; print $2, $4 }'; }
read -r b0 p0 <<< "$(counted)"
in_lan bash -c 'for i in {1..10}; do printf "%72s" "" > /dev/udp/10.9.0.2/40102; done'
sleep 0.5
read -r b1 p1 <<< "$(counted)"
check "a 100-byte packet counted as its cells" "$(((b1 - b0) / (p1 > p0 ? p1 - p0 : 1))) $((p1 - p0))" "159 10"
in_wan ip link set eth2.2-p netns $$ # back: the WAN device goes with its peer
ip link set eth2.2-p up
kill "$lan" "$wan" # their namespaces go, and the LAN's veth pair with it
iptables -t nat -F POSTROUTING
ip addr del 192.168.1.1/24 dev br0
check "accounting on, the marker says it was off" "$(printf '%s\n' "$fair" | tail -n 2)" "$(printf '1\n/var/vx_qos.fair')"
build VX_QoSFair=1 VX_QoSBatch=1
check "batched as run now" "$(state)" "$fair"
# A modify request without the key keeps the build it finds, accounting on.
{ gateway_conf 1; echo VX_QoSBatch=1; } | store
vx_qos mod_bt > /dev/null
check "key off, a modify request: accounting and marker stay" "$(state | tail -n 2)" "$(printf '1\n/var/vx_qos.fair')"
build VX_QoSBatch=1
off=$(state)
check "key off: the mode's bits cleared for both families" "$(grep -c -- '^-A PREROUTING -p udp -j CONNMARK ' <<< "$off")" 2
check "key off: otherwise a plain build, accounting off, no marker" \
  "$(grep -v -- '^-A PREROUTING -p udp -j CONNMARK ' <<< "$off")" "$plain"
build VX_QoSBatch=1
check "key off again: a plain build" "$(state)" "$plain"
