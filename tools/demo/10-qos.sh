#!/usr/bin/env bash
# Inside the sandbox: build the QoS set-up of the sample router and show what
# the kernel holds afterwards.
set -u
export NVRAM_FILE=$SBX_PROJ/tools/demo/router.conf
echo "### vx_qos 1 (every command echoed as it runs; where this kernel lacks the sfq"
echo "### queue or the fw classifier, tc says so after those lines and the build goes on)"
vx_qos 1
echo
echo "### shaping trees: one HTB tree per device, leaves selected by packet mark"
for dev in eth2.2 br0; do
  echo "--- $dev"
  tc qdisc show dev "$dev"
  tc class show dev "$dev"
  tc filter show dev "$dev"
done
echo
echo "### mangle table: the default rules, then one marking pair per user rule"
iptables -t mangle -S
