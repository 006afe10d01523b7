#!/usr/bin/env bash
# Inside the sandbox: build the QoS set-up of the sample router and show what
# the kernel holds afterwards.
set -u
export NVRAM_FILE=$SBX_PROJ/tools/demo/router.conf
echo "### vx_qos 1 (every command echoed as it runs)"
vx_qos 1
echo
echo "### shaping trees"
for dev in eth2.2 br0; do
  echo "--- $dev"
  tc qdisc show dev "$dev"
  tc class show dev "$dev"
done
echo
echo "### mangle table"
iptables -t mangle -S
