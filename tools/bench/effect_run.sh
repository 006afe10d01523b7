#!/usr/bin/env bash
# Inside the sandbox (--kernel), started by tools/bench/qos-effect.sh: every
# run of the effect benchmark's plan, each in $SBX_OUT/runs/RATES/NAME/ (the
# probes' irtt reports, the load's iperf3 reports, the loaded direction's
# configured rate), with the idle round-trip time and what the kernel gave in
# $SBX_OUT/runs/RATES/facts/. RATES is the rate pair, with the modem's name
# after it for a modem other than the plain one (2M-dsl).
#
# The plan, from the environment (the defaults in brackets, for a variable
# that is not set; set empty, a list is empty):
#   EFFECT_SECONDS   probe time of each run [15]
#   EFFECT_RATES     rate pairs, of 2M (2048/8192 kbit/s, tools/bench/full.conf)
#                    and 20M (20480/81920) [2M 20M]
#   EFFECT_FAMILIES  [4 6]
#   EFFECT_MODES     modes of the uploads [off on fair]: off (VX_QoSEnable=0),
#                    on (batch mode, VX_QoSIPv6=1), fair (on with
#                    VX_QoSFair=1), fair-no-ITEM (fair with one item switched
#                    off through VX_QOS_FAIR_OFF=ITEM), fair-today (fair
#                    with VX_QOS_FAIR_OFF=hosts,replies,bursts: the mode
#                    without its host, reply and burst parts; a build that has no such parts
#                    ignores the names, and the mode is fair), fair-dsl (fair
#                    with VX_QoSOverhead=40 and VX_QoSLinkLayer=atm;
#                    fair-dsl-no-ITEM without one item), fair-late
#                    (QoS off until 2 s into the probes, then fair:
#                    connections tracked before the mode's accounting),
#                    cake-be, cake-host, cake-atm (QoS off, a cake queue at
#                    each root: tools/bench/effect_lab.bash; skipped where
#                    the kernel has no cake)
#   EFFECT_LOADS     upload loads, of tools/bench/effect_lab.bash's table
#                    [plain p2p bt6881 emule udp443 flood1 flood64 ef churn]
#   EFFECT_DOWN_MODES modes of the downloads, each at every share [on fair]
#   EFFECT_DOWN_LOADS download loads [down], of the same table (down,
#                    hosts-down)
#   EFFECT_SHARES    VX_QoSDownloadBw as a share of the modem's download rate,
#                    in per cent [80 85 90 95]; the downloads also run with
#                    QoS off
#   EFFECT_MODEM     the modem [plain]: plain, or dsl (ATM cells:
#                    tools/bench/effect_lab.bash's effect_modem)
#   EFFECT_ONLY      an extended regular expression: only the runs whose
#                    RATES/NAME match it, such as '2M/down-ipv6-down.on@80'
set -euo pipefail
. "$SBX_PROJ/tools/qos_lab.bash"
. "$SBX_PROJ/tools/bench/effect_lab.bash"
# The real tools, not the stubs that log each call.
PATH=$(printf '%s' "$PATH" | sed "s#$SBX_PROJ/tools/stubs:##g")
export NVRAM_FILE=/etc/nvram.conf XTABLES_LOCKFILE=/tmp/xtables.lock
probe=${EFFECT_SECONDS:-15}
read -ra rates <<< "${EFFECT_RATES-2M 20M}"
read -ra families <<< "${EFFECT_FAMILIES-4 6}"
read -ra modes <<< "${EFFECT_MODES-off on fair}"
read -ra loads <<< "${EFFECT_LOADS-plain p2p bt6881 emule udp443 flood1 flood64 ef churn}"
read -ra down_modes <<< "${EFFECT_DOWN_MODES-on fair}"
read -ra down_loads <<< "${EFFECT_DOWN_LOADS-down}"
read -ra shares <<< "${EFFECT_SHARES-80 85 90 95}"
only=${EFFECT_ONLY:-}
modem=${EFFECT_MODEM:-plain}
case $modem in
  plain) suffix= ;;
  dsl) suffix=-dsl ;;
  *) echo "effect: no modem $modem" >&2; exit 1 ;;
esac

# effect_store MODE UP_KBIT DOWN_KBIT: the store of a mode.
effect_store() {
  local conf=$SBX_PROJ/tools/bench/full.conf
  sed -e "s/^VX_QoSUploadBw=.*/VX_QoSUploadBw=$2/" -e "s/^VX_QoSDownloadBw=.*/VX_QoSDownloadBw=$3/" "$conf" > "$NVRAM_FILE"
  case $1 in
    off) sed -i 's/^VX_QoSEnable=.*/VX_QoSEnable=0/' "$NVRAM_FILE" ;;
    cake-*) sed -i 's/^VX_QoSEnable=.*/VX_QoSEnable=0/' "$NVRAM_FILE" ;;
    on) printf 'VX_QoSBatch=1\nVX_QoSIPv6=1\n' >> "$NVRAM_FILE" ;;
    fair|fair-no-*|fair-late|fair-today) printf 'VX_QoSBatch=1\nVX_QoSIPv6=1\nVX_QoSFair=1\n' >> "$NVRAM_FILE" ;;
    fair-dsl|fair-dsl-no-*) printf 'VX_QoSBatch=1\nVX_QoSIPv6=1\nVX_QoSFair=1\nVX_QoSOverhead=40\nVX_QoSLinkLayer=atm\n' >> "$NVRAM_FILE" ;;
    *) echo "effect: no mode $1" >&2; return 1 ;;
  esac
}

# build MODE UP_KBIT DOWN_KBIT: the mode's store and a build of it (its echo
# in $SBX_OUT/build.txt, kept as $EFFECT_FACTS/build-MODE.txt; a cake mode's
# queues after it), with what the kernel gave.
build() {
  local off=
  case $1 in
    fair-no-*|fair-dsl-no-*) off=${1#*-no-} ;;
    fair-today) off=hosts,replies,bursts ;;
  esac
  effect_store "$@"
  effect_uncake
  if [ -n "$off" ]; then
    VX_QOS_FAIR_OFF=$off vx_qos 1 > "$SBX_OUT/build.txt" 2> "$SBX_OUT/build-errors.txt"
  else
    vx_qos 1 > "$SBX_OUT/build.txt" 2> "$SBX_OUT/build-errors.txt"
  fi
  case $1 in cake-*) effect_cake "$@" ;; esac
  effect_facts "$1"
  cp "$SBX_OUT/build.txt" "$EFFECT_FACTS/build-$1.txt"
}

# usable MODE: whether this kernel can give the mode (a cake mode needs
# cake); says so once where it cannot.
usable() {
  case $1 in cake-*) ;; *) return 0 ;; esac
  effect_have_cake && return 0
  if [ ! -e "$SBX_OUT/cake-said" ]; then
    echo "effect: this kernel has no cake queue (sch_cake): the cake modes are skipped ($(head -n 1 "$SBX_OUT/cake-check.txt"))" | tee "$SBX_OUT/cake-said" >&2
  fi
  cp "$SBX_OUT/cake-said" "$EFFECT_FACTS/$1"
  return 1
}

# wanted RATES NAME: whether the plan's pattern takes the run.
wanted() { [ -z "$only" ] || grep -Eq -- "$only" <<< "$1/$2"; }

# configured up|down STORE_KBIT: the rate the build shapes the direction to
# (vx_qos caps a rate at 51200 kbit/s), or with QoS off the store's.
configured() {
  local said
  said=$(sed -n "s/^vx_qos: ${1^^}LINK_SPEED=\([0-9]*\)$/\1/p" "$SBX_OUT/build.txt")
  echo "${said:-$2}"
}

# run RATES NAME FAMILY LOAD RATE_KBIT UP_KBIT: one run with the build in
# place: the load, and after 4 s every probe; the box's CPU counters, all
# and per processor, at the load's start and end (cpu-before, cpu-after). The reply flood's run also
# counts what of the flood passed br0's high class (flood-filters) and keeps
# br0's classes (classes-br0-before, -after).
run() {
  wanted "$1" "$2" || return 0
  local dir=$SBX_OUT/runs/$1/$2 p dev=eth2.2
  mkdir -p "$dir"
  configured "${2%%-*}" "$5" > "$dir/rate"
  [ "${2%%-*}" = down ] && dev=br0
  effect_classes "$dev" "$dir/classes-before"
  if [ "$4" = replies ]; then
    effect_classes br0 "$dir/classes-br0-before"
    effect_flood_count "$3"
  fi
  grep '^cpu' /proc/stat > "$dir/cpu-before"
  LAB_PIDS=()
  effect_load "$4" "$3" "$((probe + 6))" "$6" "$dir"
  sleep 4
  for p in "${EFFECT_PROBES[@]}"; do effect_probe "$3" "$p" "$probe" "$6" "$dir/$p.json"; done
  # fair-late: the mode is applied 2 s into the probes, whose connections
  # were tracked before accounting was on.
  if [ "${2##*.}" = fair-late ]; then
    sleep 2
    build fair-late "$6" "$down"
    date +%s.%N > "$dir/applied"
  fi
  wait "${LAB_PIDS[@]}" || true
  grep '^cpu' /proc/stat > "$dir/cpu-after"
  effect_classes "$dev" "$dir/classes-after"
  if [ "$4" = replies ]; then
    effect_flood_counted "$dir/flood-filters"
    effect_classes br0 "$dir/classes-br0-after"
  fi
  echo "  $1/$2: done"
}

# any RATES PATTERN: whether the plan's pattern takes some run like PATTERN.
any() {
  local name
  for name in "${@:2}"; do wanted "$1" "$name" && return 0; done
  return 1
}

first=1
for pair in "${rates[@]}"; do
  case $pair in
    2M) up=2048 down=8192 ;;
    20M) up=20480 down=81920 ;;
    *) echo "effect: no rate pair $pair" >&2; exit 1 ;;
  esac
  tag=$pair$suffix
  modem_up=$((up * 105 / 100)) modem_down=$((down * 105 / 100))
  export EFFECT_FACTS=$SBX_OUT/runs/$tag/facts
  mkdir -p "$EFFECT_FACTS"
  if [ $first = 1 ]; then
    lab_up "$modem_up" "$modem_down" || { echo "the network did not come up"; exit 1; }
    # The P2P ports lie outside 6113-9119: a LAN source port there is taken for
    # game traffic (bnet) towards the WAN before the P2P rules are reached.
    printf 'udp,%s,5062\n' "$LAN_HOST" > /var/voip
    for port in $(seq 51413 51420); do printf 'tcp,%s,%s\n' "$LAN_HOST" "$port"; done > /var/bittorrent
    printf 'tcp,%s,4662\nudp,%s,4672\n' "$LAN_HOST" "$LAN_HOST" > /var/emule
    effect_servers
    first=0
  else
    lab_modem "$modem_up" "$modem_down"
  fi
  build off "$up" "$down"
  effect_idle "$EFFECT_FACTS/idle.json"
  echo "$tag: idle round-trip time measured"

  for mode in "${modes[@]}"; do
    names=()
    for fam in "${families[@]}"; do for load in "${loads[@]}"; do names+=("up-ipv$fam-$load.$mode"); done; done
    any "$tag" "${names[@]}" || continue
    usable "$mode" || continue
    build "$mode" "$up" "$down"
    for fam in "${families[@]}"; do
      for load in "${loads[@]}"; do
        [ "$mode" = fair-late ] && build off "$up" "$down"
        run "$tag" "up-ipv$fam-$load.$mode" "$fam" "$load" "$up" "$up"
      done
    done
  done
  names=()
  for fam in "${families[@]}"; do for load in "${down_loads[@]}"; do names+=("down-ipv$fam-$load.off"); done; done
  if any "$tag" "${names[@]}"; then
    build off "$up" "$down"
    for fam in "${families[@]}"; do
      for load in "${down_loads[@]}"; do run "$tag" "down-ipv$fam-$load.off" "$fam" "$load" "$down" "$up"; done
    done
  fi
  for mode in "${down_modes[@]}"; do
    for share in "${shares[@]}"; do
      names=()
      for fam in "${families[@]}"; do for load in "${down_loads[@]}"; do names+=("down-ipv$fam-$load.$mode@$share"); done; done
      any "$tag" "${names[@]}" || continue
      usable "$mode" || continue
      rate=$((modem_down * share / 100))
      build "$mode" "$up" "$rate"
      for fam in "${families[@]}"; do
        for load in "${down_loads[@]}"; do run "$tag" "down-ipv$fam-$load.$mode@$share" "$fam" "$load" "$rate" "$up"; done
      done
    done
  done
done
