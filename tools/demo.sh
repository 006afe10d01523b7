#!/usr/bin/env bash
# The main job: build the programs and run them in the sandbox against the
# sample router configuration, with the real kernel's tc and iptables in a
# private network namespace.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
tools/deps.sh host
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DROUTER_TESTS=OFF >/dev/null
cmake --build build/release -j"$(nproc 2>/dev/null || echo 2)" >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for part in tools/demo/[0-9]*.sh; do
  [ -e "$part" ] || continue
  tools/sandbox --kernel --out "$out" --bin build/release/bin -- bash "/mnt/sbx/proj/$part"
done
