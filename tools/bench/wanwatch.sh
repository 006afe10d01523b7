#!/usr/bin/env bash
# Benchmark of the link watcher with the stub tools: 1,000 ticks of a build
# with a 20 ms tick, gateway mode, PPPoE without a PPP session, the cable
# pulled for 20 of every 200 probes: each 200 ticks hold an up edge
# (connect), a redial (the 141st steady-up tick) and a down edge (teardown).
# Prints the daemon's own CPU time, that of the commands it ran, and its
# memory after 100, 200 and all ticks.
# usage: tools/bench/wanwatch.sh   (builds build/bench and build/mips first)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
ticks=${TICKS:-1000}
if [ -z "${SBX_OUT:-}" ]; then
  cd "$root"
  . tools/bench/lib.bash
  bench_build build/bench -DWANWATCH_TICK_MS=20
  bench_sandboxed build/bench/bin tools/bench/wanwatch.sh TICKS="$ticks"
  bench_mips_size wanwatch 24576
  exit 0
fi

cat > /etc/nvram.conf <<'CONF'
OP_Mode=0
wanConnectionMode=PPPOE
wan_pppoe_user=bench
wan_pppoe_pass=secret
wan_pppoe_opmode=KeepAlive
wan_pppoe_optime=60
CONF
cat > "$SBX_OUT/on_mii_mgr" <<'HOOK'
#!/bin/sh
n=$(( $(cat "$SBX_OUT/probe.count" 2>/dev/null || echo 0) + 1 ))
echo "$n" > "$SBX_OUT/probe.count"
if [ $((n % 200)) -lt 20 ]; then echo "Get: phy[4].reg[5] = 0000"; else echo "Get: phy[4].reg[5] = 45e1"; fi
HOOK
chmod +x "$SBX_OUT/on_mii_mgr"
rm -f /etc/link
: > "$SBX_OUT/stub.log"

probes() { grep -c '^mii_mgr ' "$SBX_OUT/stub.log" || true; }
# memory N: waits for N ticks (plus the start-up probe), then prints the
# daemon's resident and peak memory.
memory() {
  while [ "$(probes)" -le "$1" ]; do sleep 0.1; done
  awk '/^(VmRSS|VmHWM|VmSize):/ { printf "%s %s kB  ", $1, $2 } END { print "" }' "/proc/$pid/status"
}

python3 "$SBX_PROJ/tools/bench/measure.py" "wanwatch, $ticks ticks" wanwatch > "$SBX_OUT/measure.txt" &
measure=$!
while [ ! -s /var/run/wanwatch.pid ]; do sleep 0.05; done
pid=$(cat /var/run/wanwatch.pid)
start=$(date +%s%N)
echo "after 100 ticks:  $(memory 100)"
echo "after 200 ticks:  $(memory 200)"
echo "after $ticks ticks: $(memory "$ticks")"
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
kill "$pid"
wait "$measure" || true
cat "$SBX_OUT/measure.txt"
echo "ticks counted: $(( $(probes) - 1 )) in $elapsed ms; connects: $(grep -c '^pppoe.sh ' "$SBX_OUT/stub.log" || true)," \
  "teardowns: $(grep -c '^ifconfig \[ppp0\]' "$SBX_OUT/stub.log" || true)"
echo "commands run: $(wc -l < "$SBX_OUT/stub.log") stub calls"
