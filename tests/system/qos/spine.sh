#!/usr/bin/env bash
# vx_qos run as the router's scripts run it: pid guard, echo, modes, QoS off.
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/qos.bash"

gateway_conf 0 1 | store
head=$(run_head 0 1)
speeds=$GATEWAY_SPEEDS
reset=$(as_logged <<< "$RESET_ECHO")

# QoS off: reset, report, pid file gone.
reset_log
out=$(vx_qos); rc=$?
check "disabled run" "$out" "$head
$speeds
=====QoS DISABLED!!...======"
check "disabled run exit status" "$rc" 0
check "disabled run resets everything" "$(cat "$STUB_LOG")" "$reset"
[ ! -e /var/vx_qos.pid ] || fail "pid file left behind"

# The five modify arguments with QoS off only clear and report.
for arg in mod_bt:bittorrent mod_emule:emule mod_im:im mod_ftp:ftp mod_voip:voip; do
  reset_log
  out=$(vx_qos "${arg%%:*}")
  check "${arg%%:*} with QoS off" "$out" "$head
vx_qos: To Modify ${arg#*:}
$speeds
=====QoS DISABLED!!...======"
  check "${arg%%:*} with QoS off resets" "$(cat "$STUB_LOG")" "$reset"
done

# Argument 1 echoes every command exactly as it runs; two arguments do not.
reset_log
out=$(vx_qos 1)
check "echo of every command" "$out" "$head
vx_qos: VX debug: vx_cmd_level=1
$RESET_ECHO
$speeds
=====QoS DISABLED!!...======"
out=$(vx_qos 1 2)
check "two arguments: plain run" "$out" "$head
$speeds
=====QoS DISABLED!!...======"
out=$(vx_qos bogus)
check "unknown argument: plain run" "$out" "$head
$speeds
=====QoS DISABLED!!...======"

# A pid file naming a live process stops the run with nothing changed.
sleep 30 & holder=$!
echo "$holder" > /var/vx_qos.pid
reset_log
out=$(vx_qos 1); rc=$?
check "live pid file stops the run" "$out" "vx_qos: Now, the same QoS is running..."
check "live pid file exit status" "$rc" 0
check "live pid file: no command" "$(cat "$STUB_LOG")" ""
check "live pid file stays" "$(cat /var/vx_qos.pid)" "$holder"

# A read-only /var (or a full one) lets no pid file be made: one that is there
# still stops the run, and without one the run builds unguarded.
mount -o remount,ro /var
reset_log
out=$(vx_qos 1); rc=$?
check "read-only /var: live pid file stops the run" "$out" "vx_qos: Now, the same QoS is running..."
check "read-only /var: live pid file exit status" "$rc" 0
check "read-only /var: live pid file: no command" "$(cat "$STUB_LOG")" ""
mount -o remount,rw /var
rm /var/vx_qos.pid
mount -o remount,ro /var
out=$(vx_qos)
check "read-only /var, no pid file: unguarded run" "$out" "$head
$speeds
=====QoS DISABLED!!...======"
mount -o remount,rw /var
kill "$holder"; wait "$holder" 2>/dev/null

# A pid file naming no process is stale: said in one line, removed, and the run goes on.
sh -c 'exit 0' & dead=$!; wait "$dead"
echo "$dead" > /var/vx_qos.pid
out=$(vx_qos)
check "stale pid file is replaced" "$out" "vx_qos: removed stale pid file /var/vx_qos.pid (pid $dead not running)
$head
$speeds
=====QoS DISABLED!!...======"
[ ! -e /var/vx_qos.pid ] || fail "pid file left behind after a stale one"

# Two runs started together: exactly one builds. The first run's tc holds it
# in the middle of its reset until the second has given up.
cat > "$SBX_OUT/on_tc" <<'HOOK'
#!/bin/sh
[ -e "$SBX_OUT/gate" ] && exit 0
while [ ! -e "$SBX_OUT/second-done" ]; do sleep 0.05; done
HOOK
chmod +x "$SBX_OUT/on_tc"
rm -f "$SBX_OUT/second-done"
vx_qos > "$SBX_OUT/first.out" &
first=$!
while [ ! -s /var/vx_qos.pid ]; do sleep 0.05; done
vx_qos > "$SBX_OUT/second.out"
touch "$SBX_OUT/second-done" "$SBX_OUT/gate"
wait "$first"
check "second concurrent run refused" "$(cat "$SBX_OUT/second.out")" "vx_qos: Now, the same QoS is running..."
check_contains "first concurrent run completed" "$(cat "$SBX_OUT/first.out")" "=====QoS DISABLED!!...======"
rm -f "$SBX_OUT/on_tc"

# No store at all: every key empty, still a clean run.
rm -f /etc/nvram.conf
out=$(vx_qos); rc=$?
check_contains "missing store" "$out" "=====QoS DISABLED!!...======"
check "missing store exit status" "$rc" 0
