#!/usr/bin/env bash
# Batch mode against the real tc and iptables: for the full configuration and
# a handful of varied ones, the kernel holds the same rules, qdiscs, classes
# and filters after a full build in either mode, and the build prints the same.
SANDBOX_KERNEL=1
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/qos.bash"
. "$(dirname "$0")/batch.bash"

full_port_files
full=$(cat "$SBX_PROJ/tools/bench/full.conf")
both_modes "full configuration" "$full"
check_contains "full configuration: built" "$(cat "$SBX_OUT/batch.out")" "VX : === End of setting QoS === "
check "full configuration: no fall-back" "$(fallbacks "$SBX_OUT/batch.out")" 0
both_modes "QoS off" "$(sed 's/^VX_QoSEnable=.*/VX_QoSEnable=0/' <<< "$full")"
both_modes "one application" "$(gateway_conf 1; echo 'QoSAppRules6=1,1,1,1,500,1,0,300')"
both_modes "user rules only" "$(gateway_conf 1; echo "$EIGHT_USER_RULES")"
# Values with blanks and quotes never reach a command line in either mode.
both_modes "hostile values" "$(gateway_conf 1 | sed "s/^lan_netmask=.*/lan_netmask=255.255.255.0' -j DROP #/"
  echo 'QoSUserRules0=1,1,x,0,1,500,,,,,,,0,0,0.0.0.0,0.0.0.0,80 \"81,80,0.0.0.0,0.0.0.0,0,0'
  echo 'QoSUserRules1=1,1,y,0,1,500,,,,,,,0,0,0.0.0.0,0.0.0.0,443,443,0.0.0.0,0.0.0.0,0,0')"
check_contains "hostile values: the rule beside them is built" "$(iptables -t mangle -S)" "--dport 443"

