# Sourced inside the sandbox (--kernel): a dual-stack home network around the
# router's own network namespace, for measuring what the QoS set-up does to
# real traffic.
#
#   LAN host (lan ns)          router (sandbox ns)           modem (modem ns)            ISP host (isp ns)
#   host0 192.168.1.25 ---- lan0 in br0 192.168.1.1      eth2.2-p + isp-m in mbr0      isp0 10.9.0.2
#         2001:db8:1::25          2001:db8:1::1          tbf up on isp-m,     ---      2001:db8:9::2
#                                 eth2.2 10.9.0.1 -----  tbf down on eth2.2-p
#                                 2001:db8:9::1
#
# The router routes between br0 and eth2.2 without address translation (the
# ISP host routes the LAN prefixes back through it). The modem bridges and
# shapes with a token bucket whose buffer holds 800 ms, as a bufferbloated
# cable or DSL modem does. The end hosts send no segment larger than one MTU
# (no segmentation offload), as a real Ethernet port carries them. Each
# namespace is held by a sleeping process and ends with the sandbox.

. "$(dirname "${BASH_SOURCE[0]}")/mark_filter.bash"

LAN_HOST=192.168.1.25
LAN_HOST6=2001:db8:1::25
ISP_HOST=10.9.0.2
ISP_HOST6=2001:db8:9::2
declare -A LAB_NS

# in_ns NAME COMMAND...: runs COMMAND in the namespace NAME (lan, modem, isp).
in_ns() {
  local name=$1
  shift
  nsenter -t "${LAB_NS[$name]}" -n "$@"
}

lab_ns() {
  unshare -n sleep 1000000 &
  LAB_NS[$1]=$!
  for _ in $(seq 50); do
    [ "$(readlink "/proc/${LAB_NS[$1]}/ns/net")" != "$(readlink /proc/self/ns/net)" ] && break
    sleep 0.1
  done
  in_ns "$1" ip link set lo up
  in_ns "$1" sysctl -qw net.ipv6.conf.all.accept_dad=0 net.ipv6.conf.default.accept_dad=0
}

# lab_link DEV NS DEV_IN_NS: a veth pair, the second end moved into NS.
lab_link() {
  ip link add "$1" type veth peer name "$3"
  ip link set "$3" netns "${LAB_NS[$2]}"
}

# lab_up UP_KBIT DOWN_KBIT: the whole network; the modem's rates as given.
lab_up() {
  local ns
  for ns in lan modem isp; do lab_ns "$ns"; done
  sysctl -qw net.ipv4.ip_forward=1 net.ipv6.conf.all.forwarding=1 \
    net.ipv6.conf.all.accept_dad=0 net.ipv6.conf.default.accept_dad=0 net.ipv6.conf.br0.accept_dad=0

  lab_link lan0 lan host0
  ip link set lan0 master br0
  ip link set lan0 up
  ip addr add 192.168.1.1/24 dev br0
  ip addr add 2001:db8:1::1/64 dev br0 nodad
  in_ns lan ip addr add "$LAN_HOST/24" dev host0
  in_ns lan ip addr add "$LAN_HOST6/64" dev host0 nodad
  in_ns lan ip link set host0 up gso_max_segs 1 gso_max_size 1500
  in_ns lan ip route add default via 192.168.1.1
  in_ns lan ip -6 route add default via 2001:db8:1::1

  ip link set eth2.2-p netns "${LAB_NS[modem]}"
  lab_link isp-m isp isp0
  ip link set isp-m netns "${LAB_NS[modem]}"
  ip addr add 10.9.0.1/24 dev eth2.2
  ip addr add 2001:db8:9::1/64 dev eth2.2 nodad
  in_ns modem ip link add mbr0 type bridge
  in_ns modem ip link set eth2.2-p master mbr0
  in_ns modem ip link set isp-m master mbr0
  for ns in mbr0 eth2.2-p isp-m; do in_ns modem ip link set "$ns" up; done
  lab_modem "$1" "$2"

  in_ns isp ip addr add "$ISP_HOST/24" dev isp0
  in_ns isp ip addr add "$ISP_HOST6/64" dev isp0 nodad
  in_ns isp ip link set isp0 up gso_max_segs 1 gso_max_size 1500
  in_ns isp ip route add 192.168.1.0/24 via 10.9.0.1
  in_ns isp ip -6 route add 2001:db8:1::/64 via 2001:db8:9::1
  ping -c 1 -W 2 "$ISP_HOST" > /dev/null && ping -6 -c 1 -W 2 "$ISP_HOST6" > /dev/null &&
    in_ns lan ping -c 1 -W 2 "$ISP_HOST" > /dev/null && in_ns lan ping -6 -c 1 -W 2 "$ISP_HOST6" > /dev/null
}

# lab_modem UP_KBIT DOWN_KBIT: the modem's token buckets, each buffering 800 ms.
lab_modem() {
  in_ns modem tc qdisc replace dev isp-m root tbf rate "$1kbit" burst 3200 latency 800ms
  in_ns modem tc qdisc replace dev eth2.2-p root tbf rate "$2kbit" burst 3200 latency 800ms
}

# lab_qos: a build of the store's configuration (vx_qos 1, its echo in
# $SBX_OUT/build.txt); on a kernel without the fw classifier, with the
# stand-ins for the fw filters it issued.
lab_qos() {
  vx_qos 1 > "$SBX_OUT/build.txt" 2> "$SBX_OUT/build-errors.txt"
  mark_filters_stand_in < "$SBX_OUT/build.txt"
}

# lab_servers: on the ISP host, the irtt server (UDP 2112 for voice, 3074 for
# games) and four iperf3 servers (TCP 5201 to 5204).
lab_servers() {
  local port
  in_ns isp irtt server -b :2112,:3074 > /dev/null 2>&1 &
  for port in 5201 5202 5203 5204; do in_ns isp iperf3 -s -p "$port" > /dev/null 2>&1 & done
  lab_listening 2112 3074 5201 5202 5203 5204
}

# lab_listening PORT...: waits (up to 20 s) until the ISP host listens on
# each PORT (UDP or TCP); a slow machine starts the servers late.
lab_listening() {
  local port shown missing
  for _ in $(seq 100); do
    shown=$(in_ns isp ss -Hlnut) missing=0
    for port in "$@"; do
      grep -q ":$port " <<< "$shown" || missing=1
    done
    [ $missing = 0 ] && return 0
    sleep 0.2
  done
  return 1
}

# lab_bulk 4|6 up|down FIRST_PORT SECONDS OUT: four iperf3 TCP streams between
# the LAN host's ports FIRST_PORT.. and the ISP host, each one's report in
# OUT-N.json; their pids are added to LAB_PIDS. The servers are given 2 s to
# end their previous test.
lab_bulk() {
  local server=$ISP_HOST reverse=() i
  sleep 2
  [ "$1" = 6 ] && server=$ISP_HOST6
  [ "$2" = down ] && reverse=(-R)
  for i in 0 1 2 3; do
    in_ns lan iperf3 "-$1" -c "$server" -p "$((5201 + i))" --cport "$(($3 + i))" "${reverse[@]}" \
      -t "$4" -O 2 -J > "$5-$((i + 1)).json" 2> /dev/null &
    LAB_PIDS+=($!)
  done
}

# lab_probe 4|6 voip|game|other SECONDS OUT: an irtt probe every 20 ms from
# the LAN host: a voice call's (172 bytes from the mapped UDP 5062 to 2112), a
# game's (100 bytes to UDP 3074) or an unclassified voice call's (172 bytes
# from a port no rule names to 2112); its report in OUT. Its pid is added to
# LAB_PIDS.
lab_probe() {
  local server="$ISP_HOST" local="$LAN_HOST" how
  [ "$1" = 6 ] && server="[$ISP_HOST6]" local="[$LAN_HOST6]"
  case $2 in
    voip) how=(-l 172 --local="$local:5062" "$server:2112") ;;
    game) how=(-l 100 "$server:3074") ;;
    other) how=(-l 172 --local="$local:45062" "$server:2112") ;;
  esac
  # The open request is sent again only after 4 s: behind a long queue a
  # second one's answer would end the test (irtt stops on an open reply
  # once connected).
  in_ns lan irtt client -Q -i 20ms -d "$3s" --wait=3s --timeouts=4s,4s,4s,4s -o "$4" "${how[@]}" &
  LAB_PIDS+=($!)
}
LAB_PIDS=()
