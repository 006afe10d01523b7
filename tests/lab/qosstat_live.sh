#!/usr/bin/env bash
# qosstat on the real kernel: a clear refusal without a tree, then after a
# full build of the sample router (batch mode) the traffic that user rule 0 marks (UDP to
# port 3074 towards the WAN, mark 70) in the counters of class 1:70, JSON that
# parses, and no change to the kernel's set-up by reading it.
SANDBOX_KERNEL=1
. "$(dirname "$0")/../system/lib.sh"
. "$SBX_PROJ/tools/wan_peer.bash"

# refused NAME ARGS...: exit status 1 and exactly one line on standard error.
refused() {
  local name=$1 rc
  shift
  qosstat "$@" > "$SBX_OUT/out.txt" 2> "$SBX_OUT/err.txt"
  rc=$?
  check "$name: status" "$rc" 1
  check "$name: one line" "$(wc -l < "$SBX_OUT/err.txt")" 1
  check "$name: nothing on standard output" "$(cat "$SBX_OUT/out.txt")" ""
  cat "$SBX_OUT/err.txt"
}
refused "no tree anywhere" 
refused "device without a tree" eth2
refused "no such device" nosuchdev

{ cat "$SBX_PROJ/tools/demo/router.conf"; echo VX_QoSBatch=1; } | store
vx_qos > "$SBX_OUT/build.txt" 2>&1
check_contains "QoS built" "$(cat "$SBX_OUT/build.txt")" "VX : === End of setting QoS === "
wan_peer_up

# packets CLASS: the packet counter of a class of the WAN tree, from --json.
packets() {
  qosstat --json eth2.2 | python3 -c '
import json, sys
doc = json.load(sys.stdin)
print([c["packets"] for d in doc["devices"] for c in d["classes"] if c["id"] == sys.argv[1]][0])' "$1"
}

before=$(packets 1:70)
send_udp 3074 5
sleep 0.5
check "user rule 0's class counted the five datagrams" "$(packets 1:70)" "$((before + 5))"

text=$(qosstat)
check_contains "the WAN tree" "$text" "eth2.2: WAN HTB tree 1:"
check_contains "the LAN tree" "$text" "br0: LAN HTB tree 3:"
check_contains "the user rule's class under the root" "$text" "    1:70      user rule 0 to WAN  "
check_contains "a LAN user rule on br0 alone" "$(qosstat br0)" "    3:81      user rule 1 to LAN  "

qosstat --json > "$SBX_OUT/all.json"
python3 -m json.tool "$SBX_OUT/all.json" > /dev/null || fail "qosstat --json does not parse"
echo "ok: JSON parses"
check "both trees in the JSON" \
  "$(python3 -c 'import json,sys; print(" ".join(d["device"] + "=" + d["handle"] for d in json.load(open(sys.argv[1]))["devices"]))' "$SBX_OUT/all.json" | tr ' ' '\n' | sort | tr '\n' ' ')" \
  "br0=3: eth2.2=1: "

# Without its counters: other traffic (neighbour discovery) may pass meanwhile.
state() { tc qdisc show | sed 's/ direct_packets_stat [0-9]*//'; tc class show dev eth2.2; tc class show dev br0; tc filter show dev eth2.2; iptables-save -t mangle | grep -v '^#'; }
state > "$SBX_OUT/before.txt"
qosstat > /dev/null
qosstat --json > /dev/null
state > "$SBX_OUT/after.txt"
check "reading changes nothing" "$(diff "$SBX_OUT/before.txt" "$SBX_OUT/after.txt")" ""
