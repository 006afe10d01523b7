#!/usr/bin/env bash
# Benchmark of vx_qos with the stub tools: a disabled run and a full build of
# the full configuration (tools/bench/full.conf: every application and user
# rule enabled, a port-mapping file for each of the five services), then the
# peak memory of vx_qos itself and its stripped size for the router.
# usage: tools/bench/qos.sh   (builds build/release and build/mips first)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${SBX_OUT:-}" ]; then
  cd "$root"
  . tools/bench/lib.bash
  bench_build build/release
  bench_sandboxed build/release/bin tools/bench/qos.sh
  bench_mips_size vx_qos 49152
  exit 0
fi

conf=$SBX_PROJ/tools/bench/full.conf
sed 's/^VX_QoSEnable=.*/VX_QoSEnable=0/' "$conf" > /etc/nvram-off.conf
# Port mappings as the UPnP and ALG components would have left them.
for i in 1 2 3 4 5 6; do echo "tcp,192.168.1.1$i,688$i"; echo "udp,192.168.1.1$i,688$i"; done > /var/bittorrent
printf 'tcp,192.168.1.21,4662\nudp,192.168.1.21,4672\n' > /var/emule
printf 'tcp,192.168.1.22,6891\n' > /var/im
printf 'tcp,192.168.1.23,2121\ntcp,192.168.1.24,990:999\n' > /var/ftp
printf 'udp,192.168.1.25,5062\nudp,192.168.1.25,10000:10100\n' > /var/voip

python3 "$SBX_PROJ/tools/bench/measure.py" "baseline (/bin/true)" /bin/true
for run in 1 2 3; do
  NVRAM_FILE=/etc/nvram-off.conf python3 "$SBX_PROJ/tools/bench/measure.py" "disabled run #$run" vx_qos
done
for run in 1 2 3; do
  : > "$SBX_OUT/stub.log"
  NVRAM_FILE=$conf python3 "$SBX_PROJ/tools/bench/measure.py" "full build #$run" vx_qos
done
echo "commands run by the full build: $(wc -l < "$SBX_OUT/stub.log") ($(grep -c '^tc ' "$SBX_OUT/stub.log") tc, $(grep -c '^iptables ' "$SBX_OUT/stub.log") iptables)"

# Peak memory of vx_qos itself: every stub call reads the high-water mark of
# its vx_qos ancestor; the mark only grows, so the last reading is the peak.
cat > "$SBX_OUT/on_tc" <<'HOOK'
#!/bin/sh
p=$PPID
for step in 1 2 3; do
  [ "$(cat /proc/$p/comm 2>/dev/null)" = vx_qos ] && break
  p=$(cut -d' ' -f4 /proc/$p/stat 2>/dev/null) || exit 0
done
grep -E '^(VmHWM|VmRSS)' /proc/$p/status > "$SBX_OUT/vx_qos.mem" 2>/dev/null
exit 0
HOOK
chmod +x "$SBX_OUT/on_tc"
ln -sf on_tc "$SBX_OUT/on_iptables"
NVRAM_FILE=$conf vx_qos > /dev/null
rm -f "$SBX_OUT/on_tc" "$SBX_OUT/on_iptables"
echo "vx_qos memory at its last command: $(tr -s ' \t\n' ' ' < "$SBX_OUT/vx_qos.mem")"
