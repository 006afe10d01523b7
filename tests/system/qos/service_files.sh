#!/usr/bin/env bash
# vx_qos and the port-mapping files: service port chains built from present
# and absent files, a file that changes while the build runs, the five modify
# requests with QoS on and off, and lines that must never reach the shell.
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/qos.bash"

conf="$(gateway_conf 1)
QoSAppRules4=1,1,1,1,100,1,1,100
QoSAppRules5=2,1,1,0,300,0,1,100
QoSAppRules7=0,1,1,1,100,1,1,100
QoSAppRules8=0,1,1,1,100,1,1,100
QoSAppRules9=0,1,1,1,100,1,1,100"
store <<< "$conf"
cd /tmp

# The service lines of the output and the service chains' commands.
service_output() { grep -E 'enabled!! $|mapping port|notify|Seem|doChangeServiceChain|disabled|NO .* file' || true; }
chain_log() { logged iptables | grep 'qos_' || true; }

# --- Full build: bittorrent and ftp have files, voip, im and emule none.
printf 'tcp,192.168.1.10,6881\nudp,192.168.1.10,6881\n' > /var/bittorrent
printf 'tcp,192.168.1.20,2121\n' > /var/ftp
reset_log
out=$(vx_qos)
check "build: service messages" "$(service_output <<< "$out")" "vx_qos: voip enabled!! 
vx_qos: (voip NO to LAN mapping port.)
vx_qos: (voip NO to WAN mapping port.)
vx_qos: im enabled!! 
vx_qos: (im NO to LAN mapping port.)
vx_qos: ftp enabled!! 
vx_qos: ---ALG notify ftp tcp To LAN port=2121 ---
vx_qos: ---ALG notify ftp tcp To WAN port=2121 ---
vx_qos: emule enabled!! 
vx_qos: (emule NO to LAN mapping port.)
vx_qos: (emule NO to WAN mapping port.)
vx_qos: bittorrent enabled!! 
vx_qos: ---UPnP notify bittorrent tcp To LAN port=6881 ---
vx_qos: ---UPnP notify bittorrent udp To LAN port=6881 ---
vx_qos: ---UPnP notify bittorrent tcp To WAN port=6881 ---
vx_qos: ---UPnP notify bittorrent udp To WAN port=6881 ---"
check_contains "build: ends" "$out" "VX : === End of setting QoS === "
voip_chain='iptables [-t] [mangle] [-N] [qos_voip_chain]
iptables [-t] [mangle] [-A] [FORWARD] [-j] [qos_voip_chain]
iptables [-t] [mangle] [-A] [qos_voip_chain] [-o] [br0] [-p] [tcp] [--sport] [5060] [-j] [MARK] [--set-mark] [36]
iptables [-t] [mangle] [-A] [qos_voip_chain] [-o] [br0] [-p] [tcp] [--sport] [5060] [-j] [RETURN]
iptables [-t] [mangle] [-A] [qos_voip_chain] [-o] [br0] [-p] [udp] [--sport] [5060] [-j] [MARK] [--set-mark] [36]
iptables [-t] [mangle] [-A] [qos_voip_chain] [-o] [br0] [-p] [udp] [--sport] [5060] [-j] [RETURN]
iptables [-t] [mangle] [-A] [qos_voip_chain] [-o] [eth2.2] [-p] [tcp] [--dport] [5060] [-j] [MARK] [--set-mark] [36]
iptables [-t] [mangle] [-A] [qos_voip_chain] [-o] [eth2.2] [-p] [tcp] [--dport] [5060] [-j] [RETURN]
iptables [-t] [mangle] [-A] [qos_voip_chain] [-o] [eth2.2] [-p] [udp] [--dport] [5060] [-j] [MARK] [--set-mark] [36]
iptables [-t] [mangle] [-A] [qos_voip_chain] [-o] [eth2.2] [-p] [udp] [--dport] [5060] [-j] [RETURN]'
im_lan='iptables [-t] [mangle] [-A] [qos_im_chain] [-o] [br0] [-p] [tcp] [--sport] [1863] [-j] [MARK] [--set-mark] [40]
iptables [-t] [mangle] [-A] [qos_im_chain] [-o] [br0] [-p] [tcp] [--sport] [1863] [-j] [RETURN]
iptables [-t] [mangle] [-A] [qos_im_chain] [-o] [br0] [-p] [tcp] [--sport] [5050] [-j] [MARK] [--set-mark] [40]
iptables [-t] [mangle] [-A] [qos_im_chain] [-o] [br0] [-p] [tcp] [--sport] [5050] [-j] [RETURN]'
ftp_rules='iptables [-t] [mangle] [-A] [qos_ftp_chain] [-o] [br0] [-p] [tcp] [--dport] [2121] [-j] [MARK] [--set-mark] [48]
iptables [-t] [mangle] [-A] [qos_ftp_chain] [-o] [br0] [-p] [tcp] [--dport] [2121] [-j] [RETURN]
iptables [-t] [mangle] [-A] [qos_ftp_chain] [-o] [eth2.2] [-p] [tcp] [--sport] [2121] [-j] [MARK] [--set-mark] [48]
iptables [-t] [mangle] [-A] [qos_ftp_chain] [-o] [eth2.2] [-p] [tcp] [--sport] [2121] [-j] [RETURN]'
bt_rules='iptables [-t] [mangle] [-A] [qos_bt_chain] [-o] [br0] [-p] [tcp] [--dport] [6881] [-j] [MARK] [--set-mark] [56]
iptables [-t] [mangle] [-A] [qos_bt_chain] [-o] [br0] [-p] [tcp] [--dport] [6881] [-j] [RETURN]
iptables [-t] [mangle] [-A] [qos_bt_chain] [-o] [br0] [-p] [udp] [--dport] [6881] [-j] [MARK] [--set-mark] [56]
iptables [-t] [mangle] [-A] [qos_bt_chain] [-o] [br0] [-p] [udp] [--dport] [6881] [-j] [RETURN]
iptables [-t] [mangle] [-A] [qos_bt_chain] [-o] [eth2.2] [-p] [tcp] [--sport] [6881] [-j] [MARK] [--set-mark] [56]
iptables [-t] [mangle] [-A] [qos_bt_chain] [-o] [eth2.2] [-p] [tcp] [--sport] [6881] [-j] [RETURN]
iptables [-t] [mangle] [-A] [qos_bt_chain] [-o] [eth2.2] [-p] [udp] [--sport] [6881] [-j] [MARK] [--set-mark] [56]
iptables [-t] [mangle] [-A] [qos_bt_chain] [-o] [eth2.2] [-p] [udp] [--sport] [6881] [-j] [RETURN]'
check "build: service chains" "$(chain_log)" "$voip_chain
iptables [-t] [mangle] [-N] [qos_im_chain]
iptables [-t] [mangle] [-A] [FORWARD] [-j] [qos_im_chain]
$im_lan
iptables [-t] [mangle] [-N] [qos_ftp_chain]
iptables [-t] [mangle] [-A] [FORWARD] [-j] [qos_ftp_chain]
$ftp_rules
iptables [-t] [mangle] [-N] [qos_emule_chain]
iptables [-t] [mangle] [-A] [FORWARD] [-j] [qos_emule_chain]
iptables [-t] [mangle] [-N] [qos_bt_chain]
iptables [-t] [mangle] [-A] [FORWARD] [-j] [qos_bt_chain]
$bt_rules"

# --- A file that changes while the build runs: the ftp file gains a line
# once the bittorrent chain is created, after ftp's chain was built. The check
# at the end re-applies ftp, and only ftp.
cat > "$SBX_OUT/on_iptables" <<'HOOK'
#!/bin/sh
case " $* " in *" -N qos_bt_chain "*) echo 'udp,192.168.1.20,2122' >> /var/ftp ;; esac
exit 0
HOOK
chmod +x "$SBX_OUT/on_iptables"
printf 'tcp,192.168.1.20,2121\n' > /var/ftp
reset_log
out=$(vx_qos)
rm -f "$SBX_OUT/on_iptables"
check "changed file: re-applied at the end" "$(sed -n '/###Setting APPLICATION end/,$p' <<< "$out" | service_output)" \
"vx_qos: Seem ftp have update
vx_qos: doChangeServiceChain start...
vx_qos: ---ALG notify ftp tcp To LAN port=2121 ---
vx_qos: ---ALG notify ftp udp To LAN port=2122 ---
vx_qos: ---ALG notify ftp tcp To WAN port=2121 ---
vx_qos: ---ALG notify ftp udp To WAN port=2122 ---"
ftp_rules2='iptables [-t] [mangle] [-A] [qos_ftp_chain] [-o] [br0] [-p] [tcp] [--dport] [2121] [-j] [MARK] [--set-mark] [48]
iptables [-t] [mangle] [-A] [qos_ftp_chain] [-o] [br0] [-p] [tcp] [--dport] [2121] [-j] [RETURN]
iptables [-t] [mangle] [-A] [qos_ftp_chain] [-o] [br0] [-p] [udp] [--dport] [2122] [-j] [MARK] [--set-mark] [48]
iptables [-t] [mangle] [-A] [qos_ftp_chain] [-o] [br0] [-p] [udp] [--dport] [2122] [-j] [RETURN]
iptables [-t] [mangle] [-A] [qos_ftp_chain] [-o] [eth2.2] [-p] [tcp] [--sport] [2121] [-j] [MARK] [--set-mark] [48]
iptables [-t] [mangle] [-A] [qos_ftp_chain] [-o] [eth2.2] [-p] [tcp] [--sport] [2121] [-j] [RETURN]
iptables [-t] [mangle] [-A] [qos_ftp_chain] [-o] [eth2.2] [-p] [udp] [--sport] [2122] [-j] [MARK] [--set-mark] [48]
iptables [-t] [mangle] [-A] [qos_ftp_chain] [-o] [eth2.2] [-p] [udp] [--sport] [2122] [-j] [RETURN]'
check "changed file: chain flushed and refilled last" "$(chain_log | sed -n '/-F\] \[qos_ftp_chain/,$p')" \
"iptables [-t] [mangle] [-F] [qos_ftp_chain]
$ftp_rules2"
check "changed file: nothing else flushed" "$(chain_log | grep -c -- '-F')" 1

# --- The five modify requests with QoS on: one chain flushed and refilled
# from its file, nothing else touched. Only bittorrent and ftp have files.
modify_head='vx_qos: qosAutoEnable=0
vx_qos: To Modify'
for req in mod_bt:bittorrent:bt mod_emule:emule:emule mod_im:im:im mod_ftp:ftp:ftp mod_voip:voip:voip; do
  IFS=: read -r arg service chain <<< "$req"
  reset_log
  out=$(vx_qos "$arg")
  check_contains "$arg: request" "$out" "$modify_head $service
vx_qos: doChangeServiceChain start..."
  check_contains "$arg: first command flushes its chain" "$(head -n 1 "$STUB_LOG")" "iptables [-t] [mangle] [-F] [qos_${chain}_chain]"
  check "$arg: only its chain" "$(grep -vc "qos_${chain}_chain" "$STUB_LOG")" 0
  check "$arg: no tree touched" "$(logged tc)" ""
  [ ! -e /var/vx_qos.pid ] || fail "$arg: pid file left behind"
done
reset_log
vx_qos mod_bt > /dev/null
check "mod_bt: rebuilt from the file" "$(cat "$STUB_LOG")" "iptables [-t] [mangle] [-F] [qos_bt_chain]
$bt_rules"
reset_log
out=$(vx_qos mod_im)
check "mod_im without a file: LAN side only" "$(cat "$STUB_LOG")" "iptables [-t] [mangle] [-F] [qos_im_chain]
$im_lan"
check_contains "mod_im without a file: message" "$out" "vx_qos:  NO im file"

# --- A modify request for a service whose application is off changes nothing.
store <<< "$(sed 's/^QoSAppRules8=.*/QoSAppRules8=0,0,1,1,100,1,1,100/' <<< "$conf")"
printf 'udp,192.168.1.30,4672\n' > /var/emule
reset_log
out=$(vx_qos mod_emule)
check_contains "application off: message" "$out" "vx_qos: doChangeServiceChain start...
vx_qos: Service emule disabled !!"
check "application off: no command" "$(cat "$STUB_LOG")" ""

# The full build then reports emule's file as changed (no snapshot was taken
# for it) and says again that it is off.
reset_log
out=$(vx_qos)
check "application off: build check" "$(sed -n '/###Setting APPLICATION end/,$p' <<< "$out" | service_output)" \
"vx_qos: Seem emule have update
vx_qos: doChangeServiceChain start...
vx_qos: Service emule disabled !!"
# The disabled line ends in a newline and a blank: the next line starts with it.
check_contains "application off: the blank after the disabled line" "$out" "vx_qos: Service emule disabled !!
 VX : === End of setting QoS === "
check "application off: no emule chain" "$(chain_log | grep -c emule)" 0

# --- With QoS off every modify request only clears and reports.
store <<< "$(sed 's/^VX_QoSEnable=.*/VX_QoSEnable=0/' <<< "$conf")"
for arg in mod_bt mod_emule mod_im mod_ftp mod_voip; do
  reset_log
  out=$(vx_qos "$arg")
  check_contains "$arg with QoS off: disabled" "$out" "=====QoS DISABLED!!...======"
  check "$arg with QoS off: no chain touched" "$(chain_log)" ""
done

# --- Lines written for a LAN host that are not a plain protocol and port
# never reach the shell; the rest of the file is handled.
store <<< "$conf"
printf 'tcp,h,1;:>pw\ntcp;:>pw,h,80\nudp,h,$(:>pw)\ntcp,192.168.1.20,21\n' > /var/ftp
reset_log
out=$(vx_qos mod_ftp)
[ ! -e /tmp/pw ] || fail "a port-mapping line reached the shell"
check "bad lines: skipped, once per direction" "$(grep -c 'skipped a line' <<< "$out")" 6
check "bad lines: the good one handled" "$(cat "$STUB_LOG")" "iptables [-t] [mangle] [-F] [qos_ftp_chain]
iptables [-t] [mangle] [-A] [qos_ftp_chain] [-o] [br0] [-p] [tcp] [--dport] [21] [-j] [MARK] [--set-mark] [48]
iptables [-t] [mangle] [-A] [qos_ftp_chain] [-o] [br0] [-p] [tcp] [--dport] [21] [-j] [RETURN]
iptables [-t] [mangle] [-A] [qos_ftp_chain] [-o] [eth2.2] [-p] [tcp] [--sport] [21] [-j] [MARK] [--set-mark] [48]
iptables [-t] [mangle] [-A] [qos_ftp_chain] [-o] [eth2.2] [-p] [tcp] [--sport] [21] [-j] [RETURN]"
