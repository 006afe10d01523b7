# The full configuration on a real MIPS kernel, in both apply modes, IPv4
# alone and then with VX_QoSIPv6=1: no line refused, an SFQ queue under every
# leaf class, an fw filter for every leaf class (and its protocol ipv6 twin),
# the same state from either mode; and packets carrying a mark leave the WAN
# device through the class that mark's filter names, classified by the kernel.
. /box/tests/lib.sh

router_devices
full_port_files

# Marked packets go to addresses of their own (mark M to 10.9.0.M,
# 2001:db8:9::M) behind a fixed neighbour: no ARP, no neighbour discovery.
ip route add 10.9.0.0/24 via 10.8.0.2 dev eth2.2
ip neigh replace 10.8.0.2 lladdr 02:00:00:00:00:02 dev eth2.2 nud permanent
ip -6 route add 2001:db8:9::/64 via 2001:db8:8::2 dev eth2.2
ip -6 neigh replace 2001:db8:8::2 lladdr 02:00:00:00:00:02 dev eth2.2 nud permanent

# leaves DEV: the HTB classes of DEV that are no class's parent.
leaves() {
  tc class show dev "$1" | awk '$2 == "htb" { print $3 }' | sort > /tmp/classes
  tc class show dev "$1" | awk '$2 == "htb" && $4 == "parent" { print $5 }' | sort -u > /tmp/parents
  grep -vxF -f /tmp/parents /tmp/classes
}

# marks DEV PROTOCOL: "mark class" for each fw filter of DEV for PROTOCOL.
marks() {
  tc filter show dev "$1" | awk -v proto="$2" '$5 == proto && / fw .* classid / {
      for (i = 1; i < NF; i++) { if ($i == "handle") h = $(i+1); if ($i == "classid") c = $(i+1) }
      print h, c }' |
    while read -r handle class; do echo "$((handle)) $class"; done
}

# state: what the kernel holds, without counters.
state() {
  for dev in eth2.2 br0; do
    tc qdisc show dev $dev
    tc class show dev $dev
    tc filter show dev $dev
  done
  iptables -t mangle -S
  ip6tables -t mangle -S
}

# sent DEV: "class packets" for each leaf class of DEV.
sent() {
  leaves "$1" > /tmp/leaves
  tc -s class show dev "$1" | awk '$1 == "class" { c = $3 } $1 == "Sent" { print c, $4 }' | grep -F -w -f /tmp/leaves | sort
}

# count_marks PROTOCOL: one ping longer than 128 bytes (the router's own
# rules mark short ones 2) for each of the WAN device's fw filters for
# PROTOCOL, marked with the filter's mark by a rule in OUTPUT, ahead of the
# router's POSTROUTING rules; each must be counted in that filter's class.
count_marks() {
  set -- eth2.2 "$1"
  dst=10.9.0. tables=iptables-restore ping=ping
  [ "$2" = ipv6 ] && dst=2001:db8:9:: tables=ip6tables-restore ping=ping6
  marks "$1" "$2" > /tmp/marks
  [ -s /tmp/marks ] || fail "$label: no fw filter for protocol $2 on $1"
  {
    echo '*mangle'
    while read -r mark class; do echo "-A OUTPUT -d $dst$mark -j MARK --set-mark $mark"; done < /tmp/marks
    echo COMMIT
  } | $tables --noflush || fail "$label: marking rules refused"
  before=$(sent "$1")
  while read -r mark class; do $ping -c 1 -W 1 -s 200 -q "$dst$mark" > /dev/null & done < /tmp/marks
  wait
  expected=$(awk '{ n[$2]++ } END { for (c in n) print c, n[c] }' /tmp/marks | sort)
  counted=$(sent "$1" | awk -v before="$before" 'BEGIN { n = split(before, b, "\n"); for (i = 1; i <= n; i++) { split(b[i], f, " "); was[f[1]] = f[2] } }
    $2 > was[$1] { print $1, $2 - was[$1] }' | sort)
  check "$label: $1: each mark's $2 packet counted in its filter's class" "$counted" "$expected"
}

for ipv6 in 0 1; do
  for mode in single batch; do
    label=$mode
    [ $ipv6 = 1 ] && label="$mode, IPv6"
    { sed '/^VX_QoSBatch=/d; /^VX_QoSIPv6=/d' /box/full.conf
      [ $mode = batch ] && echo VX_QoSBatch=1
      [ $ipv6 = 1 ] && echo VX_QoSIPv6=1; } | store
    vx_qos 1 > /tmp/$mode.out 2> /tmp/$mode.err
    grep -q '^VX : === End of setting QoS ===' /tmp/$mode.out || fail "$label: the build did not end"
    # HTB's note on a small quantum is a warning; any other line is a refusal.
    check "$label: no line refused" "$(grep -v '^Warning: sch_htb: quantum of class [0-9]* is small\. Consider r2q change\.$' /tmp/$mode.err)" ""
    state > /tmp/$mode.state
    for dev in eth2.2 br0; do
      leaves=$(leaves $dev)
      [ -n "$leaves" ] || fail "$label: no leaf class on $dev"
      sfq=$(tc qdisc show dev $dev | awk '$2 == "sfq" { print $5 }' | sort)
      check "$label: an sfq queue under every leaf class of $dev" "$sfq" "$leaves"
      protocols=ip
      [ $ipv6 = 1 ] && protocols="ip ipv6"
      for proto in $protocols; do
        check "$label: an fw filter for protocol $proto for every leaf class of $dev" \
          "$(marks $dev $proto | awk '{ print $2 }' | sort -u)" "$leaves"
      done
    done
  done
  label="IPv4"
  [ $ipv6 = 1 ] && label="IPv6 mode"
  check "$label: both apply modes leave the same state" "$(cat /tmp/batch.state)" "$(cat /tmp/single.state)"
  for proto in $protocols; do count_marks $proto; done
done
