# Shared part of the batch-mode comparisons (sourced after lib.sh and
# qos.bash, with SANDBOX_KERNEL=1): the kernel's state and one run in either
# mode.

DEVICES="eth2.2 eth2 br0 ppp0 ra0 apcli0"
FALLBACK_LINE='vx_qos: iptables-restore refused the batch: its '
# without_fallback FILE: the output without the lines that say a commit was
# refused (one may follow a message that ends in a blank after its newline).
without_fallback() { perl -0pe 's/vx_qos: ip6?tables-restore refused [^\n]*\n//g' "$1"; }
fallbacks() { grep -c "$FALLBACK_LINE" "$1"; }

# kernel_state: what the kernel holds, packet counters left out (both
# families' mangle tables; tc shows both families' filters).
kernel_state() {
  iptables -t mangle -S
  echo "== IPv6"
  ip6tables -t mangle -S
  for dev in $DEVICES; do
    echo "== $dev"
    tc qdisc show dev "$dev"
    tc class show dev "$dev"
    tc filter show dev "$dev"
  done | sed 's/ direct_packets_stat [0-9]*//'
}

# run_in MODE CONF [ARG]: one run with the store CONF, batch mode on for MODE
# "batch"; its standard output in $SBX_OUT/MODE.out, its errors in MODE.err.
run_in() {
  if [ "$1" = batch ]; then printf '%s\nVX_QoSBatch=1\n' "$2" | store; else printf '%s\n' "$2" | store; fi
  vx_qos ${3:+"$3"} > "$SBX_OUT/$1.out" 2> "$SBX_OUT/$1.err"
}

# both_modes NAME CONF: a full build in each mode; same kernel state, same
# output. (The end-of-build check can refill the chain of a service whose
# application is off, which does not exist: its lines fail in either mode, and
# the batch says it fell back.)
both_modes() {
  run_in single "$2"
  local single
  single=$(kernel_state)
  run_in batch "$2"
  check "$1: same kernel state" "$(kernel_state)" "$single"
  check "$1: same output" "$(without_fallback "$SBX_OUT/batch.out")" "$(cat "$SBX_OUT/single.out")"
}

