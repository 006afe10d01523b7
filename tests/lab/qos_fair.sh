#!/usr/bin/env bash
# Fair mode, lab box, IPv6 mode: both apply modes leave one state; key off: a plain build's.
SANDBOX_KERNEL=1
. "$(dirname "$0")/../system/lib.sh"
. "$SBX_PROJ/tests/system/qos/qos.bash"

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
check "accounting on, the marker says it was off" "$(printf '%s\n' "$fair" | tail -n 2)" "$(printf '1\n/var/vx_qos.fair')"
build VX_QoSFair=1 VX_QoSBatch=1
check "batched as run now" "$(state)" "$fair"
build VX_QoSBatch=1
check "key off: a plain build" "$(state)" "$plain"
