#!/usr/bin/env bash
# The IPv6 mode on real traffic (tools/qos_lab.bash: a LAN host, the router, a
# modem and an ISP host): with the full configuration and VX_QoSIPv6=1, an
# upload over IPv6 from the LAN host lands in its classes of the WAN tree.
# The voice datagrams from the mapped VoIP port (UDP 5062) are counted by the
# VoIP class 1:36, the bulk from the mapped BitTorrent port (UDP 6881) by the
# BitTorrent class 1:56, each at least once per datagram sent. Counters, not
# timing; what goes unclassified (direct) is not counted here. Built in batch
# mode; the kernel state of a build one command at a time is the same
# (qos_kernel_full).
SANDBOX_KERNEL=1
. "$(dirname "$0")/../system/lib.sh"
. "$(dirname "$0")/../system/qos/qos.bash"
. "$SBX_PROJ/tools/qos_lab.bash"

{ cat "$SBX_PROJ/tools/bench/full.conf"; echo VX_QoSIPv6=1; echo VX_QoSBatch=1; } | store
full_port_files
lab_up 2150 8602 || fail "the network did not come up"
lab_qos
check_contains "QoS built" "$(cat "$SBX_OUT/build.txt")" "VX : === End of setting QoS === "

in_ns isp irtt server -b ":2112" > /dev/null 2>&1 &
in_ns isp iperf3 -s -p 5201 > /dev/null 2>&1 &
lab_listening 2112 5201 || fail "the servers did not start"

# sent CLASS: the packets the WAN tree's class CLASS has sent.
sent() { tc -s class show dev eth2.2 | awk -v c="$1" '$2 == "htb" && $3 == c { getline; print $4 }'; }
voip_before=$(sent 1:36)
bulk_before=$(sent 1:56)

in_ns lan iperf3 -6 -u -b 400k -l 1000 -c "$ISP_HOST6" --cport 6881 -t 3 -J > "$SBX_OUT/bulk.json" &
bulk=$!
in_ns lan irtt client -6 -Q -i 20ms -l 172 -d 3s --local="[$LAN_HOST6]:5062" -o "$SBX_OUT/voip.json" "[$ISP_HOST6]:2112" ||
  fail "the VoIP probe did not run"
wait "$bulk" || fail "the bulk upload did not run"
voip_datagrams=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["stats"]["packets_sent"])' "$SBX_OUT/voip.json")
bulk_datagrams=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["end"]["sum"]["packets"])' "$SBX_OUT/bulk.json")
echo "sent: $voip_datagrams VoIP datagrams, $bulk_datagrams bulk datagrams"
# (Each asks for 150 in 3 s; a box busy beside two others sends fewer: 78 once.)
[ "$voip_datagrams" -ge 20 ] && [ "$bulk_datagrams" -ge 20 ] || fail "too little traffic to tell"

# The bulk class drains at its ceiling: wait for its queue to empty.
for _ in $(seq 50); do
  tc -s class show dev eth2.2 classid 1:56 | grep -q "backlog 0b 0p" && break
  sleep 0.2
done
voip=$(($(sent 1:36) - voip_before))
bulk=$(($(sent 1:56) - bulk_before))
[ "$voip" -ge "$voip_datagrams" ] || fail "the VoIP class sent $voip packets for $voip_datagrams datagrams"
echo "ok: the VoIP class sent $voip packets"
[ "$bulk" -ge "$bulk_datagrams" ] || fail "the BitTorrent class sent $bulk packets for $bulk_datagrams datagrams"
echo "ok: the BitTorrent class sent $bulk packets"
