#!/usr/bin/env bash
# Batch mode against the real tc and iptables for the five modify arguments
# (each after a full build in the same mode, its service's file changed in
# between), without and with the IPv6 mode: the kernel holds the same in both
# modes, and the run prints the same.
SANDBOX_KERNEL=1
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/qos.bash"
. "$(dirname "$0")/batch.bash"

# Each modify argument after a full build in the same mode, with the
# service's file changed in between.
services="QoSAppRules4=1,1,1,1,100,1,1,100
QoSAppRules5=1,1,1,0,600,1,0,300
QoSAppRules7=2,1,1,0,4000,1,0,1000
QoSAppRules8=2,1,1,0,2000,1,0,500
QoSAppRules9=2,1,1,0,2000,1,0,500"
modifies="mod_bt:bittorrent mod_emule:emule mod_im:im mod_ftp:ftp mod_voip:voip"
# modify_both TAG CONF: the five modify arguments in both modes.
modify_both() {
  local mode arg a
  for mode in single batch; do
    full_port_files
    run_in "$mode" "$2"
    for arg in $modifies; do
      echo "tcp,192.168.1.99,7010" >> "/var/${arg#*:}"
      run_in "$mode" "$2" "${arg%%:*}"
      kernel_state > "$SBX_OUT/${arg%%:*}.$mode.state"
      mv "$SBX_OUT/$mode.out" "$SBX_OUT/${arg%%:*}.$mode.out"
    done
  done
  for arg in $modifies; do
    a=${arg%%:*}
    check "$1$a: same kernel state" "$(cat "$SBX_OUT/$a.batch.state")" "$(cat "$SBX_OUT/$a.single.state")"
    check "$1$a: the new line applied" "$(grep -c "qos_${a#mod_}_chain .*--dport 7010 " "$SBX_OUT/$a.batch.state")" "$3"
    check "$1$a: same output" "$(cat "$SBX_OUT/$a.batch.out")" "$(cat "$SBX_OUT/$a.single.out")"
  done
}
conf=$(gateway_conf 1; echo "$services")
modify_both "" "$conf" 2
# In the IPv6 mode both families' chains follow.
modify_both "IPv6 mode, " "$conf
VX_QoSIPv6=1" 4
