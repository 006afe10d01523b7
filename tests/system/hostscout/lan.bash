# A LAN for hostscout in the sandbox: a storage device in a second network
# namespace with an SSDP responder. Sourced by the system tests, the demo and
# the benchmark; each process it starts ends with the sandbox.

LAN_HELPERS=$SBX_PROJ/tests/system/hostscout
type fail >/dev/null 2>&1 || fail() { echo "FAIL: $*"; exit 1; }

# lan_up [BRIDGE]: the router's LAN (lan0, or BRIDGE holding lan0; 192.168.1.1)
# joined by a veth pair to a storage device in a network namespace of its own (nas0, 192.168.1.20, MAC
# 02:00:00:00:00:20) whose SSDP responder answers with /tmp/nas/answers.
# The namespace is held by a sleeping process (NAS_PID) rather than named with
# `ip netns`, whose names live in /run, outside the sandbox's private mounts.
in_nas() { nsenter -t "$NAS_PID" -n "$@"; }
lan_up() {
  local bridge=${1:-}
  mkdir -p /tmp/nas
  unshare -n sleep 100000 &
  NAS_PID=$!
  for _ in $(seq 50); do
    [ "$(readlink /proc/$NAS_PID/ns/net)" != "$(readlink /proc/self/ns/net)" ] && break
    sleep 0.1
  done
  ip link add lan0 type veth peer name nas0
  ip link set nas0 netns "$NAS_PID" || fail "cannot move nas0"
  local lan=lan0
  if [ -n "$bridge" ]; then
    ip link set lan0 master "$bridge"
    lan=$bridge
  fi
  ip addr add 192.168.1.1/24 dev "$lan"
  ip link set lan0 up
  ip link set "$lan" up
  # The search goes out on the LAN only.
  ip route add 224.0.0.0/4 dev "$lan"
  in_nas ip link set lo up
  in_nas ip link set nas0 address 02:00:00:00:00:20
  in_nas ip addr add 192.168.1.20/24 dev nas0
  in_nas ip link set nas0 up
  : > /tmp/nas/answers
  in_nas python3 "$LAN_HELPERS/ssdp_responder.py" 192.168.1.20 /tmp/nas/answers /tmp/nas &
  for _ in $(seq 50); do
    [ -e /tmp/nas/ready ] && return 0
    sleep 0.1
  done
  fail "the SSDP responder did not start"
}

# nas_addresses N: N more addresses on the device, 192.168.1.21 onwards.
nas_addresses() {
  for i in $(seq "$1"); do in_nas ip addr add "192.168.1.$((20 + i))/24" dev nas0; done
}

# answers: the device's answers from stdin, each ended by a line "----".
answers() { cat > /tmp/nas/answers; }

# storage_answer URL: a storage device's answer with the URL as LOCATION.
storage_answer() {
  printf 'HTTP/1.1 200 OK\nCACHE-CONTROL: max-age=1800\nLOCATION: %s\nSERVER: Linux/2.6 UPnP/1.0 MediabolicUPnP/1.0\nST: upnp:rootdevice\nUSN: uuid:4d696e69-444c-164e-9d41-001a2bc3d4ff::upnp:rootdevice\n\n----\n' "$1"
}
other_answer() {
  printf 'HTTP/1.1 200 OK\nLOCATION: http://192.168.1.30:5000/rootDesc.xml\nSERVER: Linux UPnP/1.1 HomeMedia/2.0\nST: upnp:rootdevice\n\n----\n'
}
