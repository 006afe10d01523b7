#!/usr/bin/env bash
# The main job: build the programs and run them in the sandbox against the
# sample router configuration, with the real kernel's tc and iptables in a
# private network namespace. The parts that send marked traffic through the
# shaping trees run in the sandbox inside the lab box (tools/labbox), whose
# kernel has the sfq queues and fw filters the build asks for.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
echo "== checking the Debian packages the demo needs"
tools/deps.sh host
tools/deps.sh lab
echo "== configuring the release build (build/release)"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DROUTER_TESTS=OFF >/dev/null
echo "== building vx_qos, wanwatch, hostscout, linkstamp, qosstat and the store library"
cmake --build build/release -j"$(nproc 2>/dev/null || echo 2)" >/dev/null
echo "== running each part in its own sandbox (real tc and iptables, private network)"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
lab_parts=" tools/demo/15-qosstat.sh tools/demo/50-ipv6-voip.sh "
tools/labbox/build.sh
for part in tools/demo/[0-9]*.sh; do
  [ -e "$part" ] || continue
  if [[ "$lab_parts" == *" $part "* ]]; then
    echo "== $part (in the lab box)"
    printf 'cd %q && tools/sandbox --kernel --out "$LABBOX_DIR" --bin build/release/bin -- bash %q\n' \
      "$root" "/mnt/sbx/proj/$part" > "$out/lab.sh"
    tools/labbox/run.sh "$out/lab.sh" 300
  else
    echo "== $part"
    tools/sandbox --kernel --out "$out" --bin build/release/bin -- bash "/mnt/sbx/proj/$part"
  fi
done
