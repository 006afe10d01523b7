#!/usr/bin/env bash
# Benchmark of vx_qos on the real kernel in the sandbox (real tc, iptables and
# iptables-restore first on PATH, no stub in between): a full build of the
# full configuration (tools/bench/full.conf: every application and user rule
# enabled, a port-mapping file for each of the five services) one command at a
# time and in batch mode (VX_QoSBatch=1), side by side with the ratio, also
# with two lines iptables-restore refuses and in the IPv6 mode; then,
# with the stub tools, the peak memory of vx_qos itself, and its stripped size
# for the router.
# usage: tools/bench/qos.sh   (builds build/release and build/mips first)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${SBX_OUT:-}" ]; then
  cd "$root"
  . tools/bench/lib.bash
  bench_build build/release
  out=$(mktemp -d)
  tools/sandbox --kernel --out "$out" --bin build/release/bin -- env QOS_BENCH=kernel bash /mnt/sbx/proj/tools/bench/qos.sh
  rm -rf "$out"
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

if [ "${QOS_BENCH:-}" = kernel ]; then
  # The real tools, not the stubs that log each call.
  PATH=$(printf '%s' "$PATH" | sed "s#$SBX_PROJ/tools/stubs:##g")
  command -v iptables-restore >/dev/null || { echo "no iptables-restore"; exit 1; }
  # Four configurations, each one command at a time and in batch mode: the
  # full one; with two lines iptables-restore refuses (a port-mapping line
  # whose protocol has no port match, voip towards the WAN only: its MARK and
  # RETURN); and both again in the IPv6 mode.
  sed 's/^QoSAppRules4=.*/QoSAppRules4=0,1,0,1,100,1,1,100/' "$conf" > /etc/nvram-refused.conf
  cp "$conf" /etc/nvram-clean.conf
  for c in clean refused; do
    { cat "/etc/nvram-$c.conf"; echo VX_QoSIPv6=1; } > "/etc/nvram-$c-ipv6.conf"
  done
  printf 'udp,192.168.1.25,5062\nudp,192.168.1.25,10000:10100\n' > /var/voip.clean
  printf 'udp,192.168.1.25,5062\ngre,192.168.1.25,10000\n' > /var/voip.refused
  for c in clean refused clean-ipv6 refused-ipv6; do
    cp "/var/voip.${c%-ipv6}" /var/voip
    echo "full build, $c, on the real kernel:"
    for mode in single batch single batch; do
      { cat "/etc/nvram-$c.conf"; [ $mode = single ] || echo VX_QoSBatch=1; } > /etc/nvram-run.conf
      NVRAM_FILE=/etc/nvram-run.conf python3 "$SBX_PROJ/tools/bench/measure.py" "$mode" vx_qos 2>/dev/null
    done > "$SBX_OUT/runs.txt"
    awk '{ for (i = 1; i <= NF; i++) { if ($i == "wall") w = $(i+1); if ($i == "started") p = $(i+1) }
           m = $1; sub(":", "", m); wall[m] += w; procs[m] = p; n[m]++ }
         END { s = wall["single"] / n["single"]; b = wall["batch"] / n["batch"]
               printf "  %-24s %12s %12s\n", "", "one at a time", "batch"
               printf "  %-24s %12.1f %12.1f\n", "wall time (ms, mean)", s, b
               printf "  %-24s %12d %12d\n", "processes started", procs["single"], procs["batch"]
               printf "  batch mode is %.1f times faster\n", s / b }' "$SBX_OUT/runs.txt"
  done
  exit 0
fi

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
