#!/usr/bin/env bash
# vx_qos and port-mapping files that are not plain short files: a FIFO
# without a writer, a symlink to /dev/zero and a directory count as missing
# files (the run never hangs), and a long file gives only its first 256 lines.
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/qos.bash"

store <<EOF_CONF
$(gateway_conf 1)
QoSAppRules7=0,1,1,1,100,1,1,100
QoSAppRules8=0,1,1,1,100,1,1,100
QoSAppRules9=0,1,1,1,100,1,1,100
EOF_CONF
cd /tmp

service_output() { grep -E 'mapping port|notify|Seem|doChangeServiceChain|NO .* file|lines are used' || true; }

# --- Special files in place of three port-mapping files.
mkfifo /var/bittorrent
ln -s /dev/zero /var/ftp
mkdir /var/emule
reset_log
out=$(timeout 20 vx_qos) || fail "build with special files: exit $? (124: it hung)"
check "special files: read as missing" "$(service_output <<< "$out" | grep -E 'ftp|emule|bittorrent')" \
"vx_qos: (ftp NO to LAN mapping port.)
vx_qos: (ftp NO to WAN mapping port.)
vx_qos: (emule NO to LAN mapping port.)
vx_qos: (emule NO to WAN mapping port.)
vx_qos: (bittorrent NO to LAN mapping port.)
vx_qos: (bittorrent NO to WAN mapping port.)"
check_contains "special files: build ends" "$out" "VX : === End of setting QoS === "
for req in mod_bt:bittorrent mod_ftp:ftp mod_emule:emule; do
  out=$(timeout 20 vx_qos "${req%%:*}") || fail "${req%%:*} with a special file: exit $?"
  check_contains "${req%%:*} with a special file: no file" "$out" "vx_qos:  NO ${req#*:} file"
done
rm -f /var/bittorrent /var/ftp
rmdir /var/emule

# --- 3,000 lines: the build takes the first 256 in each direction, says so
# once, and the end-of-build check, which reads the same 256, re-applies nothing.
seq 10000 12999 | sed 's/^/tcp,192.168.1.10,/' > /var/bittorrent
reset_log
out=$(vx_qos)
bt=$(service_output <<< "$out" | grep bittorrent)
check "long file: one message" "$(grep -c 'lines are used' <<< "$bt")" 1
check_contains "long file: the message" "$bt" "vx_qos: /var/bittorrent: only the first 256 lines are used"
check "long file: 256 lines each way" "$(grep -c 'notify bittorrent tcp To LAN' <<< "$bt") $(grep -c 'notify bittorrent tcp To WAN' <<< "$bt")" "256 256"
check "long file: not re-applied" "$(grep -c -E 'Seem|doChangeServiceChain' <<< "$out")" 0
marks=$(logged iptables | grep '\[qos_bt_chain\].*\[MARK\]')
check "long file: commands of 256 lines each way" "$(wc -l <<< "$marks")" 512
check "long file: the last line taken" "$(tail -n 1 <<< "$marks" | grep -o '\[--sport\] \[[0-9]*\]')" "[--sport] [10255]"
