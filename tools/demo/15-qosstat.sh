#!/usr/bin/env bash
# Inside the sandbox: the sample router's QoS set-up, then qosstat before and
# after some traffic leaves through the WAN device, so the counters move.
set -u
export NVRAM_FILE=$SBX_PROJ/tools/demo/router.conf
. "$SBX_PROJ/tools/wan_peer.bash"
vx_qos > /dev/null 2>&1
wan_peer_up
echo "### qosstat: the live shaping trees of the sample router (tools/demo/router.conf)"
qosstat
echo
echo "### 300 UDP datagrams from the router to port 3074 on the WAN side:"
echo "### user rule 0 (game traffic towards the WAN) marks them 70, class 1:70 counts them"
send_udp 3074 300
sleep 1
qosstat eth2.2
echo
echo "### qosstat --json eth2.2 (for the router's web page), first lines"
qosstat --json eth2.2 | head -n 4
echo
