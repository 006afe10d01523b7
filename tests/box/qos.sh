# The full configuration on a real MIPS kernel, in both apply modes: no line
# refused, an SFQ queue under every leaf class, an fw filter for every leaf
# class, the same state from either mode; and packets carrying a mark leave
# through the class that mark's filter names, classified by the kernel.
. /box/tests/lib.sh

# No IPv6 chatter on the router's devices: every packet sent out is one of ours.
sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1
ip link add br0 type bridge
ip link set br0 up
veth_to wan eth2.2 wan0
veth_to lan lan0 host0
ip link set lan0 master br0
for dev in eth2 ppp0 ra0 apcli0; do ip link add "$dev" type veth peer name "$dev-p"; done
ip addr add 10.8.0.1/24 dev eth2.2
ip addr add 192.168.1.1/24 dev br0

printf 'tcp,192.168.1.10,6881\nudp,192.168.1.10,6881\n' > /var/bittorrent
printf 'udp,192.168.1.21,4672\n' > /var/emule
printf 'tcp,192.168.1.22,6891\n' > /var/im
printf 'tcp,192.168.1.23,990:999\n' > /var/ftp
printf 'udp,192.168.1.25,5062\n' > /var/voip

# leaves DEV: the HTB classes of DEV that are no class's parent.
leaves() {
  tc class show dev "$1" | awk '$2 == "htb" { print $3 }' | sort > /tmp/classes
  tc class show dev "$1" | awk '$2 == "htb" && $4 == "parent" { print $5 }' | sort -u > /tmp/parents
  grep -vxF -f /tmp/parents /tmp/classes
}

# state: what the kernel holds, without counters.
state() {
  for dev in eth2.2 br0; do
    tc qdisc show dev $dev
    tc class show dev $dev
    tc filter show dev $dev
  done
  iptables -t mangle -S
}

for mode in single batch; do
  { sed '/^VX_QoSBatch=/d' /box/full.conf; [ $mode = batch ] && echo VX_QoSBatch=1; } | store
  vx_qos 1 > /tmp/$mode.out 2> /tmp/$mode.err
  grep -q '^VX : === End of setting QoS ===' /tmp/$mode.out || fail "$mode: the build did not end"
  # HTB's note on a small quantum is a warning; any other line is a refusal.
  check "$mode: no line refused" "$(grep -v '^Warning: sch_htb: quantum of class [0-9]* is small\. Consider r2q change\.$' /tmp/$mode.err)" ""
  state > /tmp/$mode.state
  for dev in eth2.2 br0; do
    leaves=$(leaves $dev)
    [ -n "$leaves" ] || fail "$mode: no leaf class on $dev"
    sfq=$(tc qdisc show dev $dev | awk '$2 == "sfq" { print $5 }' | sort)
    check "$mode: an sfq queue under every leaf class of $dev" "$sfq" "$leaves"
    fw=$(tc filter show dev $dev | awk '/ fw / { for (i = 1; i < NF; i++) if ($i == "classid") print $(i+1) }' | sort -u)
    check "$mode: an fw filter for every leaf class of $dev" "$fw" "$leaves"
  done
done
check "both modes leave the same state" "$(cat /tmp/batch.state)" "$(cat /tmp/single.state)"

# Each fw filter's mark, set on packets to an address of its own (mark M to
# x.x.0.M) by a rule in OUTPUT, ahead of the router's POSTROUTING rules,
# which leave pings alone when longer than 128 bytes (a short one is marked 2). The next hops are fixed neighbours: no ARP.
ip route add 10.9.0.0/24 via 10.8.0.2 dev eth2.2
ip neigh replace 10.8.0.2 lladdr 02:00:00:00:00:02 dev eth2.2 nud permanent
ip route add 10.10.0.0/24 via 192.168.1.2 dev br0
ip neigh replace 192.168.1.2 lladdr 02:00:00:00:00:03 dev br0 nud permanent
# marks DEV: "mark class" for each fw filter of DEV.
marks() {
  tc filter show dev "$1" | awk '/ fw .* classid / { for (i = 1; i < NF; i++) { if ($i == "handle") h = $(i+1); if ($i == "classid") c = $(i+1) } print h, c }' |
    while read -r handle class; do echo "$((handle)) $class"; done
}
{
  echo '*mangle'
  marks eth2.2 | while read -r mark class; do echo "-A OUTPUT -d 10.9.0.$mark -j MARK --set-mark $mark"; done
  marks br0 | while read -r mark class; do echo "-A OUTPUT -d 10.10.0.$mark -j MARK --set-mark $mark"; done
  echo COMMIT
} | iptables-restore --noflush || fail "marking rules refused"
# sent DEV: "class packets" for each leaf class of DEV.
sent() {
  leaves "$1" > /tmp/leaves
  tc -s class show dev "$1" | awk '$1 == "class" { c = $3 } $1 == "Sent" { print c, $4 }' | grep -F -w -f /tmp/leaves | sort
}
for dev in eth2.2 br0; do
  net=10.9.0
  [ $dev = br0 ] && net=10.10.0
  before=$(sent $dev)
  marks $dev | while read -r mark class; do ping -c 1 -W 1 -s 200 -q $net.$mark > /dev/null & done
  wait
  expected=$(marks $dev | awk '{ n[$2]++ } END { for (c in n) print c, n[c] }' | sort)
  counted=$(sent $dev | awk -v before="$before" 'BEGIN { n = split(before, b, "\n"); for (i = 1; i <= n; i++) { split(b[i], f, " "); was[f[1]] = f[2] } }
    $2 > was[$1] { print $1, $2 - was[$1] }' | sort)
  check "$dev: each mark's packet counted in its filter's class" "$counted" "$expected"
done
