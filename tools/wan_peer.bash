# Sourced inside the sandbox (--kernel) after a QoS build: a host on the far
# side of the WAN device, so that traffic leaves through the WAN shaping tree.
# The WAN device eth2.2 gets 10.9.0.1/24; its veth peer eth2.2-p is brought up
# and answers, as far as the neighbour table is concerned, for 10.9.0.2.

WAN_PEER=10.9.0.2

wan_peer_up() {
  ip link set eth2.2-p up
  ip addr add 10.9.0.1/24 dev eth2.2
  local mac
  mac=$(ip -o link show eth2.2-p | sed -n 's/.*link\/ether \([0-9a-f:]*\).*/\1/p')
  ip neigh replace "$WAN_PEER" lladdr "$mac" dev eth2.2 nud permanent
}

# send_udp PORT COUNT: COUNT small datagrams from the router to the WAN peer.
send_udp() {
  local i
  for ((i = 0; i < $2; i++)); do
    echo "qosstat probe $i" > "/dev/udp/$WAN_PEER/$1"
  done
}
