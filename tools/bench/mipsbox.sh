#!/usr/bin/env bash
# Benchmark on the MIPS box (tools/mipsbox: Debian's mipsel kernel on the
# emulated Malta board, so every figure is an emulated one): the boot (the
# kernel's uptime when /init starts a script, and the whole run of an empty
# script on this machine); a full build of the full configuration one
# command at a time and in batch mode (median of 3 each); PPPoE with the
# link watcher's 50 ms test tick: cable plugged to ppp0 up with its address,
# and cable pulled to no pppd left (median of 3 each).
# usage: tools/bench/mipsbox.sh   (builds the box first)
if [ -z "${BOX_BENCH:-}" ]; then
  set -euo pipefail
  root=$(cd "$(dirname "$0")/../.." && pwd)
  cd "$root"
  tools/mipsbox/build.sh
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  echo 'true' > "$tmp/empty.sh"
  for run in 1 2 3; do
    start=$(date +%s%N)
    MIPSBOX_CONSOLE=$tmp/console.log tools/mipsbox/run.sh "$tmp/empty.sh"
    end=$(date +%s%N)
    up=$(sed -n 's/^box: up in \([0-9.]*\) s.*/\1/p' "$tmp/console.log")
    echo "boot #$run: /init ran the script at $up s of uptime; the whole run took $(( (end - start) / 1000000 )) ms"
  done
  for part in qos pppoe; do
    tools/mipsbox/run.sh --timeout 300 --env BOX_BENCH=$part --file tools/bench/full.conf \
      --file docs/examples=/box/examples tools/bench/mipsbox.sh
  done
  exit 0
fi

# In the box (busybox sh).
. /usr/lib/box/rig.sh
# centiseconds of uptime
now() { read -r up _ < /proc/uptime; echo "${up%.*}${up#*.}"; }
# median: the middle one of three numbers on standard input
median() { sort -n | sed -n 2p; }
cs() { printf '%d.%02d s' $(($1 / 100)) $(($1 % 100)); }

if [ "$BOX_BENCH" = qos ]; then
  router_devices
  full_port_files
  : > /tmp/single.times
  : > /tmp/batch.times
  for mode in single batch single batch single batch; do
    { sed '/^VX_QoSBatch=/d' /box/full.conf; [ $mode = batch ] && echo VX_QoSBatch=1; } | store
    start=$(now)
    vx_qos 1 > /dev/null 2>&1
    echo $(( $(now) - start )) >> /tmp/$mode.times
  done
  single=$(median < /tmp/single.times)
  batch=$(median < /tmp/batch.times)
  echo "full build, one command at a time: $(cs "$single") (median of $(tr '\n' ' ' < /tmp/single.times | sed 's/ $//') cs)"
  echo "full build, batch mode:            $(cs "$batch") (median of $(tr '\n' ' ' < /tmp/batch.times | sed 's/ $//') cs)"
  [ "$batch" -gt 0 ] && echo "batch mode is $((single / batch)) times faster"
  exit 0
fi

pppoe_rig
: > /tmp/up.times
: > /tmp/down.times
for run in 1 2 3; do
  sleep 1
  start=$(now)
  cable_plugged 1
  wait_until 60 "plug #$run" ppp0_addressed
  echo $(( $(now) - start )) >> /tmp/up.times
  start=$(now)
  cable_plugged 0
  wait_until 60 "pull #$run" no_router_pppd
  echo $(( $(now) - start )) >> /tmp/down.times
done
echo "PPPoE, cable plugged to ppp0 up: $(cs "$(median < /tmp/up.times)") (median of $(tr '\n' ' ' < /tmp/up.times | sed 's/ $//') cs)"
echo "PPPoE, cable pulled to no pppd:  $(cs "$(median < /tmp/down.times)") (median of $(tr '\n' ' ' < /tmp/down.times | sed 's/ $//') cs)"
