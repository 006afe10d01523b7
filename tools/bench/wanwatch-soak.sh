#!/usr/bin/env bash
# Soak of the link watcher with the stub tools: a build with a 10 ms tick runs
# RUNS (default 20,000) handler runs in gateway mode while the cable flaps and
# the connection type in the store turns from DHCP to PPPoE to PPTP to L2TP (a
# new file renamed over the old one, as the web pages write it). In the first
# 100 runs each type connects and tears down once (the cable out for 5 of
# every 25 runs, a new type every 25 runs), so that every sequence has run
# before the first figures; then the cable is out for 20 of every 200 runs
# (long enough up for the PPPoE redial) and the type changes every 300 runs.
#
# Handler runs, not timer expiries, are counted: each run probes the WAN port
# once (one mii_mgr call; the start-up probe is not a run), while late
# expiries merge into one.
#
# Prints after the first 100 runs and at the end: resident memory, open
# descriptors, child processes and zombies whose parent is the watcher, and
# its own CPU time and that of the commands it waited for, per run. Fails
# unless memory and descriptors stay flat after the first 100 runs (its RSS no
# higher: file-backed pages of the libraries may leave the page cache, which
# is no leak; its anonymous part is printed beside it) and no
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

# $SBX_OUT/store TYPE: the whole store with the given connection type,
# renamed into place. The probe's hook calls it at fixed runs.
cat > "$SBX_OUT/store" <<'STORE'
#!/bin/sh
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
wan_pptp_wanip_mode=0
wan_pptp_ip=10.9.1.3
wan_pptp_netmask=255.255.255.0
wan_pptp_gateway=10.9.1.1
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
STORE
chmod +x "$SBX_OUT/store"

# Every probe counts itself and sets the cable; at a type change it renames
# the new store into place, read from the next run on. Shell builtins on the
# other runs, so that a probe costs little more than on the router. (The
# count includes the start-up probe.)
cat > "$SBX_OUT/on_mii_mgr" <<'HOOK'
#!/bin/sh
read -r n < "$SBX_OUT/probe.count"
n=$((n + 1))
echo "$n" > "$SBX_OUT/probe.count"
if [ "$n" -le 101 ]; then cycle=25 out=5 every=25; else cycle=200 out=20 every=300; fi
if [ $((n % every)) = 0 ]; then
  set -- DHCP PPPOE PPTP L2TP
  shift $((n / every % 4))
  "$SBX_OUT/store" "$1"
fi
if [ $((n % cycle)) -lt "$out" ]; then echo "Get: phy[4].reg[5] = 0000"; else echo "Get: phy[4].reg[5] = 45e1"; fi
HOOK
chmod +x "$SBX_OUT/on_mii_mgr"
echo 0 > "$SBX_OUT/probe.count"
# The stub log tells which connect sequences ran (a line per command).
: > "$SBX_OUT/stub.log"
rm -f /etc/link
"$SBX_OUT/store" DHCP

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
  anon=$(awk '/^RssAnon:/ { print $2 }' "/proc/$pid/status")
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
  printf 'after %5d runs: RSS %s kB (anonymous %s kB), descriptors %s, child processes %s, zombies %s, CPU per run: own %s ms, commands %s ms\n' \
    "$n" "$rss" "$anon" "$fds" "$children" "$zombies" \
    "$(awk -v t="$own" -v n="$n" 'BEGIN { printf "%.3f", t / 1e6 / n }')" \
    "$(awk -v t="$waited" -v n="$n" -v c="$clk" 'BEGIN { printf "%.2f", t * 1000 / c / n }')"
}

wanwatch > "$SBX_OUT/watcher.out" 2>&1 &
pid=$!
start=$SECONDS
first_rss="" first_anon="" first_fds=""
until [ "$(done_runs)" -ge "$runs" ]; do
  kill -0 "$pid" 2>/dev/null || { echo "soak: the watcher died after $(done_runs) runs" >&2; exit 1; }
  n=$(done_runs)
  if [ -z "$first_rss" ] && [ "$n" -ge 100 ]; then
    figures "$n"
    first_rss=$rss first_anon=$anon first_fds=$fds
  fi
  sleep 0.1
done
n=$(done_runs)
figures "$n"
kill "$pid"
wait "$pid" 2>/dev/null || true
echo "$n handler runs in $((SECONDS - start)) s; connects: DHCP $(grep -c '^udhcpc ' "$SBX_OUT/stub.log")," \
  "PPPoE $(grep -c '^pppoe.sh ' "$SBX_OUT/stub.log"), PPTP $(grep -c -e '^pptp.sh ' -e '^accel-pptp.sh ' "$SBX_OUT/stub.log")," \
  "L2TP $(grep -c '^l2tp.sh ' "$SBX_OUT/stub.log")"

if [ "$rss" -le "$first_rss" ] && [ "$fds" = "$first_fds" ] && [ "$zombies" = 0 ]; then
  echo "flat: RSS no higher and descriptors as after the first 100 runs (anonymous $first_anon -> $anon kB), no zombie of the watcher"
else
  echo "NOT FLAT: RSS $first_rss -> $rss kB, anonymous $first_anon -> $anon kB, descriptors $first_fds -> $fds, zombies $zombies"
  exit 1
fi
