#!/usr/bin/env bash
# Builds the wanwatch the tunnel cases of the lab box run: the release build
# with the router's own 5 s tick, its ticks traced to /tmp/events
# (tools/tunnel/rig.bash). The box emulates its processor: pppd, the PPTP
# client and xl2tpd take some ten to fifteen seconds there to bring a session
# up, and PPTP's redial check dials again after four ticks without one (20 s;
# a 2.5 s tick cut many a session that was still coming up).
# usage: tools/tunnel/build.sh [BUILD_DIR]   (default: build/lab-tick)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir=${1:-$root/build/lab-tick}
cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=MinSizeRel -DROUTER_TESTS=OFF -DWANWATCH_TICK_MS=0 -DWANWATCH_TRACE=/tmp/events > /dev/null
cmake --build "$dir" -j2 --target wanwatch nvram > /dev/null
