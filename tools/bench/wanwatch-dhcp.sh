#!/usr/bin/env bash
# Benchmark of the link watcher on a real DHCP uplink (tools/isp/rig.bash), the
# release build with the router's five-second tick: after one first lease, 20
# flaps of the cable, each plug and each pull at a random point of the tick.
# Prints each time and the minimum, median and maximum of plug-to-route (the
# address and the default route there) and pull-to-teardown (no address, no
# DHCP client left).
# usage: tools/bench/wanwatch-dhcp.sh   (builds build/release first; about 4 minutes)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
flaps=${FLAPS:-20}
if [ -z "${SBX_OUT:-}" ]; then
  cd "$root"
  . tools/bench/lib.bash
  bench_build build/release
  bench_sandboxed --kernel build/release/bin tools/bench/wanwatch-dhcp.sh FLAPS="$flaps"
  exit 0
fi

. "$SBX_PROJ/tools/isp/rig.bash"
trap isp_down EXIT
export NVRAM_FILE=/tmp/bench.conf
printf '%s\n' OP_Mode=0 wanConnectionMode=DHCP SystemName=bench > "$NVRAM_FILE"
isp_up
log=$SBX_OUT/stub.log
: > "$log"
probes() { grep -c '^mii_mgr ' "$log" || true; }
wanwatch > "$SBX_OUT/wanwatch.out" 2>&1 &
watcher=$!

# at_random_point: returns at a random point of the tick, uniformly: a random
# delay after the next probe.
tick=5000
at_random_point() {
  local before
  before=$(probes)
  while [ "$(probes)" -le "$before" ]; do sleep 0.01; done
  sleep_ms $((RANDOM % tick))
}
# summary NAME MS...: minimum, median and maximum.
summary() {
  local name=$1
  shift
  local sorted=($(printf '%s\n' "$@" | sort -n))
  local n=${#sorted[@]}
  local median=$(((sorted[(n - 1) / 2] + sorted[n / 2]) / 2))
  printf '%-17s min %5d ms   median %5d ms   max %5d ms   (%d flaps)\n' "$name" "${sorted[0]}" "$median" "${sorted[n - 1]}" "$n"
}

at_random_point
cable plugged
waited 30000 linked || { echo "no first lease"; exit 1; }
echo "first lease: $WAITED ms"
plug=() pull=()
for ((i = 1; i <= flaps; i++)); do
  at_random_point
  cable pulled
  waited 30000 unlinked || { echo "flap $i: no teardown"; exit 1; }
  pull+=("$WAITED")
  at_random_point
  cable plugged
  waited 30000 linked || { echo "flap $i: no lease"; exit 1; }
  plug+=("$WAITED")
  echo "flap $i: pull-to-teardown ${pull[-1]} ms, plug-to-route ${plug[-1]} ms"
done
kill "$watcher"
wait "$watcher" 2>/dev/null || true
summary plug-to-route "${plug[@]}"
summary pull-to-teardown "${pull[@]}"
echo "zombies left: $(zombies | wc -l)"
