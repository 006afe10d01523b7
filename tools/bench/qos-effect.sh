#!/usr/bin/env bash
# What the QoS set-up does for real traffic: voice and game round-trip times
# while bulk transfers saturate the line, with QoS off and on, over IPv4 and
# IPv6, on the real kernel in the sandbox. Not a test: it prints figures.
#
# Topology (tools/qos_lab.bash):
#   LAN host 192.168.1.25, 2001:db8:1::25
#     -- router: br0 (192.168.1.1, 2001:db8:1::1), eth2.2 (10.9.0.1, 2001:db8:9::1),
#        routing without address translation
#     -- modem: a bridge namespace shaping with tbf at 105 % of the full
#        configuration's rates (2150 kbit/s up, 8602 kbit/s down), 800 ms buffer
#     -- ISP host 10.9.0.2, 2001:db8:9::2 (irtt and iperf3 servers)
# Configuration: tools/bench/full.conf (2048 kbit/s up, 8192 down), batch
# mode, the IPv6 mode on; /var/voip maps UDP 5062 of the LAN host, and
# /var/bittorrent TCP 51413 to 51420. Where the kernel has no fw classifier,
# classic-BPF filters on the packet mark stand in (tools/mark_filter.bash).
#
# Probes (from the LAN host to the ISP host, all three during the load):
#   voip   irtt every 20 ms, 172-byte datagrams, from UDP 5062
#   game   irtt every 20 ms, 100-byte datagrams, to UDP 3074
#   other  as voip, but from UDP 45062, which no rule names (unclassified)
# Load: four iperf3 TCP streams, from the P2P ports 51413-51420 (p2p) or from
# ports 41001-41008, which no rule names (plain), over IPv4 or IPv6, upload or download (-R).
# Modes: QoS off (VX_QoSEnable=0) and QoS on; downloads with VX_QoSDownloadBw
# at 80, 85 and 95 % of the modem's download rate.
#
# usage: tools/bench/qos-effect.sh [SECONDS [PATTERN]]   (probe time per run,
#   default 15; 24 runs of about SECONDS + 12 s). Builds build/release, prints
#   the tables, writes docs/qos-effect.svg and leaves the raw runs in
#   build/qos-effect/. With PATTERN (an extended regular expression) only the
#   runs whose names match it, such as 'down-ipv6-plain.on-80', and no chart.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
if [ -z "${SBX_OUT:-}" ]; then
  cd "$root"
  . tools/bench/lib.bash
  bench_build build/release
  rm -rf build/qos-effect
  mkdir -p build/qos-effect
  tools/sandbox --kernel --out build/qos-effect --bin build/release/bin -- \
    env QOS_EFFECT_SECONDS="${1:-15}" QOS_EFFECT_ONLY="${2:-}" bash /mnt/sbx/proj/tools/bench/qos-effect.sh
  python3 tools/bench/qos_effect.py table build/qos-effect/runs
  if [ -z "${2:-}" ]; then
    python3 tools/bench/qos_effect.py chart build/qos-effect/runs docs/qos-effect.svg
    echo "chart: docs/qos-effect.svg"
  fi
  exit 0
fi

. "$SBX_PROJ/tools/qos_lab.bash"
# The real tools, not the stubs that log each call.
PATH=$(printf '%s' "$PATH" | sed "s#$SBX_PROJ/tools/stubs:##g")
export NVRAM_FILE=/etc/nvram.conf
probe=$QOS_EFFECT_SECONDS
up=2048 down=8192                                    # tools/bench/full.conf
modem_up=$((up * 105 / 100)) modem_down=$((down * 105 / 100))
lab_up "$modem_up" "$modem_down" || { echo "the network did not come up"; exit 1; }
# The P2P ports lie outside 6113-9119: a LAN source port there is taken for
# game traffic (bnet) towards the WAN before the P2P rules are reached.
printf 'udp,%s,5062\n' "$LAN_HOST" > /var/voip
for port in $(seq 51413 51420); do printf 'tcp,%s,%s\n' "$LAN_HOST" "$port"; done > /var/bittorrent
lab_servers

# qos off|on [DOWNLOAD_KBIT]: the store and a build of it.
qos() {
  if [ "$1" = off ]; then
    sed 's/^VX_QoSEnable=.*/VX_QoSEnable=0/' "$SBX_PROJ/tools/bench/full.conf" > /etc/nvram.conf
  else
    { sed "s/^VX_QoSDownloadBw=.*/VX_QoSDownloadBw=${2:-$down}/" "$SBX_PROJ/tools/bench/full.conf"
      echo VX_QoSBatch=1; echo VX_QoSIPv6=1; } > /etc/nvram.conf
  fi
  lab_qos
}

# run NAME FAMILY(4|6) DIRECTION(up|down) LOAD(p2p|plain) RATE: one run with
# the QoS set-up in place: the load, and after 4 s the three probes.
run() {
  if [ -n "$QOS_EFFECT_ONLY" ] && ! grep -Eq -- "$QOS_EFFECT_ONLY" <<< "$1"; then return 0; fi
  local dir=$SBX_OUT/runs/$1 first=41001
  mkdir -p "$dir"
  echo "$5" > "$dir/rate"
  [ "$4" = p2p ] && first=51413
  # A port is bound again only once its last connection's 60 s of TIME_WAIT
  # are over: each family has ports of its own.
  [ "$2" = 6 ] && first=$((first + 4))
  LAB_PIDS=()
  lab_bulk "$2" "$3" "$first" "$((probe + 6))" "$dir/bulk"
  sleep 4
  lab_probe "$2" voip "$probe" "$dir/voip.json"
  lab_probe "$2" game "$probe" "$dir/game.json"
  lab_probe "$2" other "$probe" "$dir/other.json"
  wait "${LAB_PIDS[@]}" || true
  echo "  $1: done"
}

for mode in off on; do
  qos "$mode"
  for family in 4 6; do
    for load in p2p plain; do run "up-ipv$family-$load.$mode" "$family" up "$load" "$up"; done
  done
done
qos off
for family in 4 6; do
  for load in p2p plain; do run "down-ipv$family-$load.off" "$family" down "$load" "$down"; done
done
for share in 80 85 95; do
  rate=$((modem_down * share / 100))
  qos on "$rate"
  for family in 4 6; do
    for load in p2p plain; do run "down-ipv$family-$load.on-$share%" "$family" down "$load" "$rate"; done
  done
done
