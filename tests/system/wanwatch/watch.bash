# Helpers of the link watcher's system tests (sourced after ../lib.sh).
# The watcher runs in the background with its output in $SBX_OUT/watcher.out;
# the tests follow its ticks in the stub log, where every probe of the WAN
# port logs one mii_mgr line and every wireless probe one iwconfig line.

# The WAN cable: plugged gives the PHY a link partner, pulled reads "0000".
cable() {
  case "$1" in
    plugged) echo "Get: phy[4].reg[5] = 45e1" > "$SBX_OUT/mii_mgr.tmp" ;;
    pulled) echo "Get: phy[4].reg[5] = 0000" > "$SBX_OUT/mii_mgr.tmp" ;;
  esac
  mv "$SBX_OUT/mii_mgr.tmp" "$SBX_OUT/mii_mgr.out"
}

start_watcher() {
  wanwatch > "$SBX_OUT/watcher.out" 2>&1 &
  WATCHER=$!
}

stop_watcher() {
  kill "$WATCHER" 2>/dev/null
  wait "$WATCHER" 2>/dev/null
  return 0
}

# calls TOOL: how many times the tool ran since the log was last reset.
calls() { awk -v tool="$1" '$1 == tool' "$STUB_LOG" 2>/dev/null | wc -l; }

# wait_for N TOOL: until TOOL has run N times (at most about two minutes,
# enough for a build with the router's five-second tick).
wait_for() {
  local until=$((SECONDS + 120))
  while [ "$(calls "$2")" -lt "$1" ]; do
    [ "$SECONDS" -lt "$until" ] || { stop_watcher; fail "waited in vain for $1 calls of $2"; }
    sleep 0.05
  done
}

# actions: the log without the probes' own lines.
actions() { grep -v -e '^mii_mgr ' -e '^iwconfig ' "$STUB_LOG" || true; }

# status_hook TOOL FIELD: each run of the stub TOOL leaves the FIELD line of
# its /proc/self/status (SigBlk, SigIgn, ...) in $SBX_OUT/TOOL.FIELD. Builtins
# only: a tool started from the hook could read the hook's mask while the
# shell holds every signal blocked to start that tool.
status_hook() {
  cat > "$SBX_OUT/on_$1" <<HOOK
#!/bin/sh
while read -r line; do
  case \$line in $2*) echo "\$line" ;; esac
done < /proc/self/status > "\$SBX_OUT/$1.$2"
HOOK
  chmod +x "$SBX_OUT/on_$1"
}
