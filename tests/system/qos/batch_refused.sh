#!/usr/bin/env bash
# A line iptables-restore refuses costs batch mode that line alone. A
# port-mapping line whose protocol has no port match gives two (its MARK and
# RETURN rules, one direction on): they are left out, the rest goes in as one
# commit, then each runs alone as one command at a time runs it. The kernel
# holds the same as one command at a time, the run prints the same but for one
# line, and the tools run 4 + 2 x 2 times (IPv6 mode: 5 + 2 x 4, both families
# alike).
SANDBOX_KERNEL=1
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/qos.bash"
. "$(dirname "$0")/batch.bash"

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
