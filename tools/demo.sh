#!/usr/bin/env bash
# The main job: build the programs and run them in the sandbox against the
# sample router configuration, with the real kernel's tc and iptables in a
# private network namespace.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
echo "== checking the Debian packages the demo needs"
tools/deps.sh host
echo "== configuring the release build (build/release)"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DROUTER_TESTS=OFF >/dev/null
echo "== building vx_qos, wanwatch, hostscout, linkstamp, qosstat and the store library"
cmake --build build/release -j"$(nproc 2>/dev/null || echo 2)" >/dev/null
echo "== running each part in its own sandbox (real tc and iptables, private network)"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for part in tools/demo/[0-9]*.sh; do
  [ -e "$part" ] || continue
  echo "== $part"
  tools/sandbox --kernel --out "$out" --bin build/release/bin -- bash "/mnt/sbx/proj/$part"
done
