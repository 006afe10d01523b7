# Shared part of hostscout's system tests (sourced inside the sandbox after
# lib.sh): the association table's test double, lease files, and a LAN with a
# storage device in a network namespace of its own.

HS_DIR=$SBX_PROJ/tests/system/hostscout
HS_PRELOAD=$SBX_BIN/testtools/libassoc_shim.so
[ -f "$HS_PRELOAD" ] || fail "the association table test double is not built: $HS_PRELOAD"
export ASSOC_TABLE=/tmp/assoc ASSOC_LOG=/tmp/assoc.log
# The sanitizer build wants its runtime first in the library list; the test
# double is preloaded ahead of it and only forwards ioctl.
export ASAN_OPTIONS=verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}

AT='ssdp: @@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@'
HASH='ssdp: ##########################################'

# hs: one hostscout run; sets out (its output) and rc (its exit status).
hs() {
  out=$(LD_PRELOAD=$HS_PRELOAD hostscout)
  rc=$?
}

# assoc COUNT [MAC...]: the table the driver hands out; no arguments: none
# (the request then fails as on a router without the wireless driver).
assoc() {
  if [ $# -eq 0 ]; then rm -f "$ASSOC_TABLE"; else printf '%s\n' "$@" > "$ASSOC_TABLE"; fi
  : > "$ASSOC_LOG"
}
table_requests() { wc -l < "$ASSOC_LOG"; }

# leases RECORD... [--tail N]: see leases.py.
leases() { python3 "$HS_DIR/leases.py" /var/udhcpd.leases "$@"; }

# file_is NAME PATH EXPECTED: the file's exact bytes (a missing file fails).
file_is() {
  [ -f "$2" ] || fail "$1: $2 is missing"
  check "$1" "$(cat "$2"; echo .)" "$3
."
}

# lan_up: the router's LAN (lan0, 192.168.1.1) joined by a veth pair to a
# storage device in a network namespace of its own (nas0, 192.168.1.20, MAC
# 02:00:00:00:00:20) whose SSDP responder answers with /tmp/nas/answers.
# The namespace is held by a sleeping process (NAS_PID) rather than named with
# `ip netns`, whose names live in /run, outside the sandbox's private mounts.
in_nas() { nsenter -t "$NAS_PID" -n "$@"; }
lan_up() {
  mkdir -p /tmp/nas
  unshare -n sleep 100000 &
  NAS_PID=$!
  for _ in $(seq 50); do
    [ "$(readlink /proc/$NAS_PID/ns/net)" != "$(readlink /proc/self/ns/net)" ] && break
    sleep 0.1
  done
  ip link add lan0 type veth peer name nas0
  ip link set nas0 netns "$NAS_PID" || fail "cannot move nas0"
  ip addr add 192.168.1.1/24 dev lan0
  ip link set lan0 up
  # The search goes out on the LAN only.
  ip route add 224.0.0.0/4 dev lan0
  in_nas ip link set lo up
  in_nas ip link set nas0 address 02:00:00:00:00:20
  in_nas ip addr add 192.168.1.20/24 dev nas0
  in_nas ip link set nas0 up
  : > /tmp/nas/answers
  in_nas python3 "$HS_DIR/ssdp_responder.py" 192.168.1.20 /tmp/nas/answers /tmp/nas &
  for _ in $(seq 50); do
    [ -e /tmp/nas/ready ] && return 0
    sleep 0.1
  done
  fail "the SSDP responder did not start"
}

# answers: the device's answers from stdin, each ended by a line "----".
answers() { cat > /tmp/nas/answers; }

# storage_answer URL: a storage device's answer with the URL as LOCATION.
storage_answer() {
  printf 'HTTP/1.1 200 OK\nCACHE-CONTROL: max-age=1800\nLOCATION: %s\nSERVER: Linux/2.6 UPnP/1.0 MediabolicUPnP/1.0\nST: upnp:rootdevice\nUSN: uuid:4d696e69-444c-164e-9d41-001a2bc3d4ff::upnp:rootdevice\n\n----\n' "$1"
}
other_answer() {
  printf 'HTTP/1.1 200 OK\nLOCATION: http://192.168.1.30:5000/rootDesc.xml\nSERVER: Linux UPnP/1.1 MiniUPnPd/2.0\nST: upnp:rootdevice\n\n----\n'
}
