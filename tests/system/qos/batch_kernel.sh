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
ipv4_table=$(iptables -t mangle -S)

# The IPv6 mode: the same in both modes, in at most five processes; the IPv6
# table mirrors the IPv4 one but for the rules that name IPv4 addresses and
# the user's ICMP, and has three LAN exemptions of its own. Without the key,
# the next run clears it, and the one after starts no ip6tables.
ipv6="$full
VX_QoSIPv6=1"
both_modes "IPv6 mode" "$ipv6"
check "IPv6 mode: the IPv4 table as without the mode" "$(iptables -t mangle -S)" "$ipv4_table"
check "IPv6 mode: the IPv6 table" "$(ip6tables -t mangle -S | grep -vE -- '-m addrtype|-i br0 -o br0')" \
  "$(grep -vE -- '-[sd] [0-9]|-range|POSTROUTING -o [^ ]+ -p icmp' <<< "$ipv4_table" | sed 's/-p icmp/-p ipv6-icmp/')"
check "IPv6 mode: its LAN exemptions" "$(ip6tables -t mangle -S | grep -E -- '-m addrtype|-i br0 -o br0')" \
  "-A PREROUTING -i br0 -m addrtype --dst-type LOCAL -j RETURN
-A FORWARD -i br0 -o br0 -j RETURN
-A POSTROUTING -o br0 -m addrtype --src-type LOCAL -j RETURN"
echo 0 > "$SBX_OUT/calls"
run_in batch "$ipv6"
check "IPv6 mode: processes of a batch build" "$(cat "$SBX_OUT/calls")" 5
rm "$SBX_OUT/calls"
run_in batch "$full"
check "IPv6 mode off: its table cleared" "$(ip6tables -t mangle -S | grep -c '^-[AN]')" 0
: > "$SBX_OUT/stub.log"
run_in batch "$full"
check "IPv6 mode off: no ip6tables once cleared" "$(grep -c ip6tables "$SBX_OUT/stub.log")" 0
both_modes "QoS off" "$(sed 's/^VX_QoSEnable=.*/VX_QoSEnable=0/' <<< "$full")"
both_modes "one application" "$(gateway_conf 1; echo 'QoSAppRules6=1,1,1,1,500,1,0,300')"
both_modes "user rules only" "$(gateway_conf 1; echo "$EIGHT_USER_RULES")"
# Values with blanks and quotes never reach a command line in either mode.
both_modes "hostile values" "$(gateway_conf 1 | sed "s/^lan_netmask=.*/lan_netmask=255.255.255.0' -j DROP #/"
  echo 'QoSUserRules0=1,1,x,0,1,500,,,,,,,0,0,0.0.0.0,0.0.0.0,80 \"81,80,0.0.0.0,0.0.0.0,0,0'
  echo 'QoSUserRules1=1,1,y,0,1,500,,,,,,,0,0,0.0.0.0,0.0.0.0,443,443,0.0.0.0,0.0.0.0,0,0')"
check_contains "hostile values: the rule beside them is built" "$(iptables -t mangle -S)" "--dport 443"

# A line iptables-restore refuses costs that line alone: a port-mapping line
# whose protocol has no port match gives two (MARK and RETURN), left out of the
# commit and then run alone. The same state and errors as one command at a
# time, one more line of output, and 4 + 2 x 2 tool runs (IPv6 mode: 5 + 2 x 4).
rm -f /var/bittorrent /var/emule /var/im /var/ftp
printf 'udp,192.168.1.25,5062\ngre,192.168.1.25,5062\n' > /var/voip
conf="$(gateway_conf 1; echo "$EIGHT_USER_RULES"; echo 'QoSAppRules4=1,1,0,1,100,1,1,100')"
for v6 in 0 1; do
  tag=$([ $v6 = 1 ] && echo "IPv6 mode, ")
  conf6="$conf
VX_QoSIPv6=$v6"
  run_in single "$conf6"
  single=$(kernel_state)
  echo 0 > "$SBX_OUT/calls"
  run_in batch "$conf6"
  check "${tag}tool runs" "$(cat "$SBX_OUT/calls")" $((v6 == 1 ? 13 : 8))
  rm "$SBX_OUT/calls"
  check "${tag}same kernel state" "$(kernel_state)" "$single"
  check "${tag}one line per family" "$(grep -c 'tables-restore refused 2 of its' "$SBX_OUT/batch.out")" $((v6 + 1))
  check "${tag}otherwise the same output" "$(without_fallback "$SBX_OUT/batch.out")" "$(cat "$SBX_OUT/single.out")"
  check "${tag}the same errors" "$(sort "$SBX_OUT/batch.err")" "$(sort "$SBX_OUT/single.err")"
  check_contains "${tag}the refused line's error" "$(cat "$SBX_OUT/batch.err")" 'unknown option "--sport"'
done
