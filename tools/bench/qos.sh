#!/usr/bin/env bash
# Benchmark of vx_qos with the stub tools: a disabled run and a full build of
# the sample configuration (tools/bench/full.conf when present, else the demo's).
# usage: tools/bench/qos.sh   (builds build/release first)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${SBX_OUT:-}" ]; then
  cd "$root"
  cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DROUTER_TESTS=OFF >/dev/null
  cmake --build build/release -j2 >/dev/null
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
  exec tools/sandbox --out "$out" --bin build/release/bin -- bash /mnt/sbx/proj/tools/bench/qos.sh
fi
conf=$SBX_PROJ/tools/bench/full.conf
[ -f "$conf" ] || conf=$SBX_PROJ/tools/demo/router.conf
sed 's/^VX_QoSEnable=.*/VX_QoSEnable=0/' "$conf" > /etc/nvram-off.conf
python3 "$SBX_PROJ/tools/bench/measure.py" "baseline (/bin/true)" /bin/true
for run in 1 2 3; do
  NVRAM_FILE=/etc/nvram-off.conf python3 "$SBX_PROJ/tools/bench/measure.py" "disabled run #$run" vx_qos
done
for run in 1 2 3; do
  : > "$SBX_OUT/stub.log"
  NVRAM_FILE=$conf python3 "$SBX_PROJ/tools/bench/measure.py" "full build #$run" vx_qos
done
echo "commands run by the full build: $(wc -l < "$SBX_OUT/stub.log")"
