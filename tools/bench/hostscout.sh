#!/usr/bin/env bash
# Benchmark of hostscout in the sandbox: a run that fifteen storage devices
# answer (fifteen addresses of a device in a second network namespace, each
# answer naming one, so each is pinged and looked up in the ARP table), and a
# run that no device answers (it waits the three seconds for a first answer).
# Then the stripped size of the router build.
# usage: tools/bench/hostscout.sh   (builds build/release and build/mips first)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${SBX_OUT:-}" ]; then
  cd "$root"
  . tools/bench/lib.bash
  bench_build build/release
  bench_sandboxed build/release/bin tools/bench/hostscout.sh
  bench_mips_size hostscout 24576
  exit 0
fi

. "$SBX_PROJ/tests/system/hostscout/lan.bash"
measure() { python3 "$SBX_PROJ/tools/bench/measure.py" "$@"; }
lan_up
nas_addresses 15
for i in $(seq 15); do
  in_nas ping -c 1 -W 1 192.168.1.1 -I "192.168.1.$((20 + i))" >/dev/null 2>&1 || true
done

measure "baseline (/bin/true)" /bin/true
for run in 1 2 3; do
  : | answers
  measure "no device answers #$run" hostscout
done
for i in $(seq 15); do storage_answer "http://192.168.1.$((20 + i)):80/desc.xml"; done | answers
for run in 1 2 3; do
  rm -f /var/lltd_*
  measure "fifteen devices answer #$run" hostscout
done
echo "records written by the last run: $(cat /var/lltd_num_lan)"
echo "with a MAC: $(grep -l '^01=0200' /var/lltd_inf_lan* | wc -l)"
