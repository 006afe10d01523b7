#!/usr/bin/env bash
# Soak of the link watcher with the stub tools: a build with a 10 ms tick runs
# RUNS (default 20,000) handler runs in gateway mode while the cable is pulled
# for 20 of every 100 runs and the connection type in the store turns from
# DHCP to PPPoE to PPTP to L2TP every 300 runs (a new file renamed over the
# old one, as the web pages write it).
#
# Handler runs, not timer expiries, are counted: each run probes the WAN port
# once (one mii_mgr call; the start-up probe is not a run), while late
# expiries merge into one.
#
# Prints after the first 100 runs and at the end: resident memory, open
# descriptors, child processes and zombies whose parent is the watcher, and
# its own CPU time and that of the commands it waited for, per run. Fails
# unless memory and descriptors stay flat after the first 100 runs and no
# zombie of the watcher is left.
# usage: tools/bench/wanwatch-soak.sh   (builds build/soak first; RUNS=N to change)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
runs=${RUNS:-20000}
if [ -z "${SBX_OUT:-}" ]; then
  cd "$root"
  . tools/bench/lib.bash
  bench_build build/soak -DWANWATCH_TICK_MS=10
  bench_sandboxed build/soak/bin tools/bench/wanwatch-soak.sh RUNS="$runs"
  exit
fi

types=(DHCP PPPOE PPTP L2TP)
# store TYPE: the whole store with the given connection type, renamed into place.
store() {
  cat > /etc/nvram.conf.new <<CONF
OP_Mode=0
wanConnectionMode=$1
SystemName=soak
wan_pppoe_user=soak
wan_pppoe_pass=secret
wan_pppoe_opmode=KeepAlive
wan_pppoe_optime=60
wan_pptp_user=soak
wan_pptp_pass=secret
wan_pptp_server=10.9.0.1
wan_pptp_opmode=KeepAlive
wan_pptp_optime=60
wan_pptp_wanip_mode=1
wan_pptp_mode=0
wan_l2tp_user=soak
wan_l2tp_pass=secret
wan_l2tp_server=10.9.0.2
wan_l2tp_opmode=KeepAlive
wan_l2tp_optime=60
wan_l2tp_wanip_mode=0
wan_l2tp_ip=10.9.1.2
wan_l2tp_netmask=255.255.255.0
wan_l2tp_gateway=10.9.1.1
wan_l2tp_mode=0
CONF
  mv /etc/nvram.conf.new /etc/nvram.conf
}

# Every probe counts itself (shell builtins only, so that a probe costs little
# more than on the router); the cable is out for 20 of every 100 runs.
cat > "$SBX_OUT/on_mii_mgr" <<'HOOK'
#!/bin/sh
read -r n < "$SBX_OUT/probe.count"
n=$((n + 1))
echo "$n" > "$SBX_OUT/probe.count"
if [ $((n % 100)) -lt 20 ]; then echo "Get: phy[4].reg[5] = 0000"; else echo "Get: phy[4].reg[5] = 45e1"; fi
HOOK
chmod +x "$SBX_OUT/on_mii_mgr"
echo 0 > "$SBX_OUT/probe.count"
# The stub log would grow by a line per command: only the hooks' count is read.
ln -sf /dev/null "$SBX_OUT/stub.log"
rm -f /etc/link
store "${types[0]}"

# handler runs so far (the start-up probe is not one)
# (a read that meets the hook's rewrite half-way is tried again).
done_runs() {
  local n=""
  while [ -z "$n" ]; do read -r n < "$SBX_OUT/probe.count" || true; done
  echo $((n > 0 ? n - 1 : 0))
}

clk=$(getconf CLK_TCK)
# zombie_pids: the watcher's children that have exited and are not yet reaped.
zombie_pids() {
  local s line
  for s in /proc/[0-9]*/stat; do
    line=$(cat "$s" 2>/dev/null) || continue
    line=${line##*) }
    case $line in "Z $pid "*) s=${s#/proc/}; echo "${s%/stat}" ;; esac
  done
}
# figures RUNS: one line of the watcher's figures; sets rss, fds and zombies.
# A zombie counts when it is still there half a second later: a child that
# has just ended is one until the watcher's wait returns.
figures() {
  local n=$1 stat own waited children z
  rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status")
  fds=$(find "/proc/$pid/fd" -mindepth 1 -maxdepth 1 | wc -l)
  children=$( (grep -l "^PPid:[[:space:]]*$pid\$" /proc/[0-9]*/status 2>/dev/null || true) | wc -l)
  z=$(zombie_pids)
  zombies=0
  if [ -n "$z" ]; then
    sleep 0.5
    zombies=$(comm -12 <(sort <<< "$z") <(zombie_pids | sort) | wc -l)
  fi
  # own: time on the CPU (ns, scheduler statistics); commands: that of the
  # children it waited for (clock ticks).
  read -r own _ < "/proc/$pid/schedstat"
  stat=$(cat "/proc/$pid/stat")
  read -r -a stat <<< "${stat##*) }"
  waited=$((stat[13] + stat[14]))
  printf 'after %5d runs: RSS %s kB, descriptors %s, child processes %s, zombies %s, CPU per run: own %s ms, commands %s ms\n' \
    "$n" "$rss" "$fds" "$children" "$zombies" \
    "$(awk -v t="$own" -v n="$n" 'BEGIN { printf "%.3f", t / 1e6 / n }')" \
    "$(awk -v t="$waited" -v n="$n" -v c="$clk" 'BEGIN { printf "%.2f", t * 1000 / c / n }')"
}

wanwatch > "$SBX_OUT/watcher.out" 2>&1 &
pid=$!
start=$SECONDS
type=0
first_rss="" first_fds=""
until [ "$(done_runs)" -ge "$runs" ]; do
  kill -0 "$pid" 2>/dev/null || { echo "soak: the watcher died after $(done_runs) runs" >&2; exit 1; }
  n=$(done_runs)
  if [ -z "$first_rss" ] && [ "$n" -ge 100 ]; then
    figures "$n"
    first_rss=$rss first_fds=$fds
  fi
  if [ $((n / 300 % ${#types[@]})) != "$type" ]; then
    type=$((n / 300 % ${#types[@]}))
    store "${types[$type]}"
  fi
  sleep 0.1
done
n=$(done_runs)
figures "$n"
kill "$pid"
wait "$pid" 2>/dev/null || true
echo "$n handler runs in $((SECONDS - start)) s"

if [ "$rss" = "$first_rss" ] && [ "$fds" = "$first_fds" ] && [ "$zombies" = 0 ]; then
  echo "flat: RSS and descriptors as after the first 100 runs, no zombie of the watcher"
else
  echo "NOT FLAT: RSS $first_rss -> $rss kB, descriptors $first_fds -> $fds, zombies $zombies"
  exit 1
fi
