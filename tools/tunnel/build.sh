#!/usr/bin/env bash
# Builds the wanwatch the tunnel cases of the lab box run: the release build
# with a tick of 2.5 s. The box emulates its processor: pppd, the PPTP client
# and xl2tpd take some ten seconds there to bring a session up, and PPTP's
# redial check would cut every attempt short at four ticks of the 0.5 s test
# build. Its ticks are traced to /tmp/events (tools/tunnel/rig.bash). usage: tools/tunnel/build.sh [BUILD_DIR]   (default: build/lab-tick)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=${1:-$root/build/lab-tick}
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=MinSizeRel -DROUTER_TESTS=OFF -DWANWATCH_TICK_MS=2500 -DWANWATCH_TRACE=/tmp/events > /dev/null
cmake --build "$dir" -j2 --target wanwatch nvram > /dev/null
