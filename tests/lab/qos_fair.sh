#!/usr/bin/env bash
# Fair mode, lab box, IPv6 mode: the mode's own rules, meters and leaves are in
# the kernel, and a LAN host's DSCP-marked datagrams land in their classes;
# both apply modes leave one state; key off: a plain build's.
# box: fair
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
    tc class show dev "$dev"
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
  for meter in 'connbytes-mode avgpkt' 'hashlimit-name vx_host' 'hashlimit-name vx_fair' 'connmark --mark 0x10000/0x10000'; do
    check "$tool: $meter" "$(grep -c -- "-A POSTROUTING .*$meter" <<< "$rules")" 1
  done
done
for dev in eth2.2 br0; do
  check "$dev: a class for every leaf, the lowest one among them" "$(tc class show dev "$dev" | grep -c '^class htb [0-9]*:6 ')" 1
  check "$dev: fq_codel on every leaf" "$(tc qdisc show dev "$dev" | grep -c '^qdisc fq_codel ')" \
    "$(tc class show dev "$dev" | grep -c ' parent [0-9]*:1 ')"
  check "$dev: no sfq" "$(tc qdisc show dev "$dev" | grep -c '^qdisc sfq ')" 0
done

# A LAN host behind br0 sends UDP marked EF and CS1 to the WAN peer: each
# counted by its DSCP rule, EF landing in 1:2 and CS1 in 1:6 of the WAN tree
# (1:2 also carries the router's own small packets: at least five there).
wan_peer_up
ip addr add 192.168.1.1/24 dev br0
echo 1 > /proc/sys/net/ipv4/ip_forward
unshare --net sleep 120 &
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
kill "$lan" # its namespace goes, and the veth pair with it
ip addr del 192.168.1.1/24 dev br0
check "accounting on, the marker says it was off" "$(printf '%s\n' "$fair" | tail -n 2)" "$(printf '1\n/var/vx_qos.fair')"
build VX_QoSFair=1 VX_QoSBatch=1
check "batched as run now" "$(state)" "$fair"
build VX_QoSBatch=1
check "key off: a plain build" "$(state)" "$plain"
