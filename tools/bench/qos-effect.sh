#!/usr/bin/env bash
# What the QoS set-up does for real traffic: the round-trip time and loss of
# voice, game and video probes while a load saturates the line, with QoS off
# and in each mode, over IPv4 and IPv6, at two rate pairs. Not a test: it
# prints figures.
#
# Where: in the lab box (tools/labbox/run.sh), a full Debian kernel with the
# real leaf queues and fw filters, by default; with --host, in the sandbox on
# this machine's kernel (where a kernel has no fw classifier, classic-BPF
# filters on the packet mark stand in, and the tables say so; where it has no
# netem, the modem is a token bucket that hides a frame's wire time).
#
# Topology (tools/qos_lab.bash):
#   LAN host 192.168.1.25, 2001:db8:1::25 (the calls; the floods and the EF
#   upload come from its second address .26, ::26, the greedy host; a second
#   household host uploads or downloads from .27, ::27)
#     -- router: br0 (192.168.1.1, 2001:db8:1::1), eth2.2 (10.9.0.1, 2001:db8:9::1),
#        routing without address translation
#     -- modem: a bridge namespace serialising at 105 % of the configured
#        rates, like a wire, with an 800 ms buffer (tools/bench/effect_lab.bash);
#        with EFFECT_MODEM=dsl, like a DSL line's ATM cells
#     -- ISP host 10.9.0.2, 2001:db8:9::2 (irtt and iperf3 servers)
# Configuration: tools/bench/full.conf at its own rates (2M: 2048 kbit/s up,
# 8192 down) and ten times them (20M), batch mode, the IPv6 mode on;
# /var/voip maps UDP 5062 of the LAN host, /var/bittorrent TCP 51413 to 51420,
# /var/emule TCP 4662 and UDP 4672.
# Probes and loads: the tables in tools/bench/effect_lab.bash. The plan (rate
# pairs, modes, loads, download shares): tools/bench/effect_run.sh, from
# EFFECT_* variables in the environment. Before each rate pair's runs, the
# idle round-trip time: the voice probe for 20 s after 2 s of warm-up.
#
# usage: [EFFECT_...=...] tools/bench/qos-effect.sh [--host] [SECONDS [PATTERN]]
#   SECONDS  probe time of each run (default 15; a run takes about SECONDS + 20 s
#            in the box, whose default plan has 132 runs)
#   PATTERN  an extended regular expression: only the runs whose RATES/NAME
#            match it, such as '2M/up-ipv4-plain', and no chart
#            (with EFFECT_MODEM=dsl, RATES is 2M-dsl or 20M-dsl)
# EFFECT_BOX_SECONDS is the box's time limit (default 7200).
# Builds build/release, prints the tables, writes docs/qos-effect.svg (without
# PATTERN, when the runs hold a panel of the chart) and leaves the raw runs in
# build/qos-effect/ (build/qos-effect-dsl/ with EFFECT_MODEM=dsl), or
# $EFFECT_OUT, emptied first.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
cd "$root"
where=box
if [ "${1:-}" = --host ]; then where=host; shift; fi
seconds=${1:-15} pattern=${2:-}
. tools/bench/lib.bash
bench_build build/release
modem=${EFFECT_MODEM:-plain}
[ "$modem" = plain ] && out=$root/build/qos-effect || out=$root/build/qos-effect-$modem
out=${EFFECT_OUT:-$out}
rm -rf "$out"
mkdir -p "$out"
plan=(EFFECT_SECONDS="$seconds" EFFECT_ONLY="$pattern")
for v in EFFECT_RATES EFFECT_FAMILIES EFFECT_MODES EFFECT_LOADS EFFECT_DOWN_MODES EFFECT_DOWN_LOADS EFFECT_SHARES \
         EFFECT_MODEM; do
  [ -z "${!v+set}" ] || plan+=("$v=${!v}")
done
status=0
sandboxed=(tools/sandbox --kernel --out "$out" --bin "$root/build/release/bin" -- env "${plan[@]}"
           bash /mnt/sbx/proj/tools/bench/effect_run.sh)
# The machine's load beside the figures: the box's emulated CPU shares the
# machine's cores.
uptime > "$out/load-before"
if [ $where = host ]; then
  "${sandboxed[@]}" || status=$?
else
  tools/labbox/build.sh
  # The same sandbox, inside the box; the output directory is the box's
  # writable run directory, at the same path.
  { printf 'cd %q\n' "$root"; printf '%q ' "${sandboxed[@]}"; printf '\n'; } > "$out/box.sh"
  tools/labbox/run.sh --dir "$out" "$out/box.sh" "${EFFECT_BOX_SECONDS:-7200}" || status=$?
fi
uptime > "$out/load-after"
python3 tools/bench/qos_effect.py table "$out/runs"
if [ -z "$pattern" ] && [ "$modem" = plain ]; then
  python3 tools/bench/qos_effect.py chart docs/qos-effect.svg "$out/runs"
fi
# The runs that finished are in the tables even when a later one failed.
exit "$status"
