# Sourced inside the sandbox (--kernel) after a QoS build, for a kernel without
# the fw classifier (this machine's; the lab box has it). The QoS build sends
# each packet to its class with an fw filter on the packet mark; on such a
# kernel tc refuses those filters. A classic-BPF filter that
# reads the mark stands in for them: it loads the packet mark (the ancillary
# offset SKF_AD_OFF + SKF_AD_MARK, 4294963220), and on mark MARK returns -1,
# which sends the packet to the filter's class HANDLE:MARK; any other mark
# returns 0 (no match). (A u32 filter with `match mark` is no stand-in: on a
# kernel built without mark support in u32 it matches every packet.)
#
# The kernel keeps one protocol per filter priority: the IPv4 stand-ins sit at
# priority 9, the IPv6 ones at 19; the QoS build's own filters use 1 to 16.

MARK_FILTER_PRIO_IP=9
MARK_FILTER_PRIO_IPV6=19

# mark_filter DEV HANDLE MARK [ip|ipv6]: one stand-in (IPv4 by default), said
# on standard error with a line "STAND-IN: ..." (a lab-box case that shows one
# fails).
mark_filter() {
  echo "STAND-IN: a BPF filter on $1 sends ${4:-ip} mark $3 to $2:$3 (this kernel has no fw classifier)" >&2
  mark_filter_quiet "$@"
}

# mark_filter_quiet DEV HANDLE MARK [ip|ipv6]: the same, unsaid.
mark_filter_quiet() {
  local family=${4:-ip} prio=$MARK_FILTER_PRIO_IP
  [ "$family" = ipv6 ] && prio=$MARK_FILTER_PRIO_IPV6
  tc filter add dev "$1" parent "$2:0" protocol "$family" prio "$prio" \
    bpf bytecode "4,32 0 0 4294963220,21 0 1 $3,6 0 0 4294967295,6 0 0 0" flowid "$2:$3"
}

# mark_filter_stand_in DEV HANDLE MARK [ip|ipv6]: the stand-in for one class,
# where the device holds no fw filter of that family.
mark_filter_stand_in() {
  local family=${4:-ip} shown
  # Read whole first: under pipefail, grep -q ending the pipe early would fail
  # it, and a stand-in would join a real fw filter.
  shown=$(tc filter show dev "$1")
  if ! grep -q "filter parent $2: protocol $family pref [0-9]* fw" <<< "$shown"; then
    mark_filter "$@"
  fi
}

# mark_filters_stand_in: reads a build's echo (vx_qos 1) and adds the
# stand-in for each fw filter it issued, `tc filter add dev D parent H:0
# protocol ip|ipv6 prio P handle M fw classid H:M`, that the device does not
# hold, said in one line "STAND-IN: ...". Each device's filters are read once.
mark_filters_stand_in() {
  local dev handle family mark added=0
  local -A shown=()
  while read -r dev handle family mark; do
    [ -n "${shown[$dev]+set}" ] || shown[$dev]=$(tc filter show dev "$dev")
    grep -q "filter parent $handle: protocol $family pref [0-9]* fw" <<< "${shown[$dev]}" && continue
    mark_filter_quiet "$dev" "$handle" "$mark" "$family"
    added=$((added + 1))
  done < <(sed -nE 's/^tc +filter +add +dev +([^ ]+) +parent +([0-9]+):0 +protocol +(ip|ipv6) +prio +[0-9]+ +handle +([0-9]+) +fw +classid .*/\1 \2 \3 \4/p')
  [ $added = 0 ] || echo "STAND-IN: $added BPF filters on the packet mark for the build's fw filters (this kernel has no fw classifier)" >&2
}
