#!/usr/bin/env bash
# Benchmark of the four tunnel set-ups in the lab box (tools/labbox, an
# emulated PC, so every figure is an emulated one) with the tunnel cases' rig
# (tools/tunnel, wanwatch's lab build with the router's 5 s tick): cable plugged to the session up
# with its address and the default route through it, and cable pulled to no
# pppd, pptp, l2tpd, xl2tpd or udhcpc of the router left; median and maximum
# over 5 flaps each, in milliseconds.
# usage: tools/bench/tunnels.sh [FLAPS]   (builds the box and the tick build first)
if [ -z "${TUNNEL_BENCH:-}" ]; then
  set -euo pipefail
  root=$(cd "$(dirname "$0")/../.." && pwd)
  cd "$root"
  tools/labbox/build.sh > /dev/null
  tools/tunnel/build.sh
  exec tools/labbox/run.sh --env TUNNEL_BENCH="$root" --env FLAPS="${1:-5}" tools/bench/tunnels.sh 1200
fi

# In the box the script runs as a copy: TUNNEL_BENCH is the checkout.
cd "$TUNNEL_BENCH" || exit 1
# In the box: each set-up on a fresh rig, in a subshell of its own.
now() { date +%s%3N; }
stats() { sort -n | awk '{ v[NR] = $1 } END { printf "median %d, max %d", v[int((NR + 1) / 2)], v[NR] }'; }
bench() {
  local name=$1 type=$2 wan=$3 op=$4
  shift 4
  (
    . tools/tunnel/rig.bash
    isp_up "$type" "$wan"
    router_up "$op" "$@"
    : > /tmp/up.ms
    : > /tmp/down.ms
    for _ in $(seq "$FLAPS"); do
      local t
      t=$(now)
      cable_plugged 1
      wait_until 60 "session up" session_up
      echo $(($(now) - t)) >> /tmp/up.ms
      t=$(now)
      cable_plugged 0
      wait_until 60 "no daemon" no_router_daemons
      echo $(($(now) - t)) >> /tmp/down.ms
    done
    printf '%-24s plug to session up: %s; pull to no daemon: %s (ms, %s flaps)\n' "$name" \
      "$(stats < /tmp/up.ms)" "$(stats < /tmp/down.ms)" "$FLAPS"
  )
}
bench "PPTP gateway, DHCP" pptp eth2.2 0 PPTP wan_pptp_mode=1
bench "PPTP gateway, static" pptp eth2.2 0 PPTP wan_pptp_mode=0
bench "L2TP gateway, DHCP" l2tp eth2.2 0 L2TP wan_l2tp_mode=1
bench "PPTP WISP, DHCP" pptp ra0 6 PPTP wan_pptp_mode=1
