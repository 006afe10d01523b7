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

# The guard is a lock on the pid file held for the whole run; the number in
# the file decides nothing. A file naming a live but unrelated process, whose
# lock nobody holds, is stale: said in one line, and the run goes on.
sleep 30 & unrelated=$!
echo "$unrelated" > /var/vx_qos.pid
out=$(vx_qos)
check "unlocked pid file of a live process is stale" "$out" "vx_qos: removed stale pid file /var/vx_qos.pid (pid $unrelated not running)
$head
$speeds
=====QoS DISABLED!!...======"
[ ! -e /var/vx_qos.pid ] || fail "pid file left behind after a stale one"
kill "$unrelated"; wait "$unrelated" 2>/dev/null

# A run holding the lock stops another with nothing changed, also where /var
# is read-only (the lock is taken through a descriptor opened for reading).
echo 123 > /var/vx_qos.pid
exec 9< /var/vx_qos.pid
flock -n 9 || fail "test could not lock the pid file"
for var in rw ro; do
  mount -o "remount,$var" /var
  reset_log
  out=$(vx_qos 1); rc=$?
  check "$var /var: held lock stops the run" "$out" "vx_qos: Now, the same QoS is running..."
  check "$var /var: held lock exit status" "$rc" 0
  check "$var /var: held lock: no command" "$(cat "$STUB_LOG")" ""
  check "$var /var: held lock: pid file untouched" "$(cat /var/vx_qos.pid)" 123
done
exec 9<&-
# Read-only /var, lock free: the run builds and leaves the file it cannot remove.
out=$(vx_qos)
check "read-only /var, unlocked pid file: the run goes on" "$out" "$head
$speeds
=====QoS DISABLED!!...======"
check "read-only /var: pid file untouched" "$(cat /var/vx_qos.pid)" 123
mount -o remount,rw /var
rm /var/vx_qos.pid
mount -o remount,ro /var
out=$(vx_qos)
check "read-only /var, no pid file: unguarded run" "$out" "$head
$speeds
=====QoS DISABLED!!...======"
mount -o remount,rw /var

# Something other than a regular file at the pid path holds no lock: it is
# named, left alone, and the run builds unguarded.
for make in "FIFO mkfifo" "symlink ln -s /var/elsewhere" "directory mkdir"; do
  ${make#* } /var/vx_qos.pid
  check "${make%% *} at the pid path: named, unguarded run" "$(vx_qos)" "vx_qos: /var/vx_qos.pid is a ${make%% *}, not a regular file: run without the guard
$head
$speeds
=====QoS DISABLED!!...======"
  rm -d /var/vx_qos.pid || fail "${make%% *} at the pid path removed"
done

# A FIFO at the IPv6 mode's marker does not hang the run.
{ gateway_conf 0 1; echo VX_QoSIPv6=1; } | store
mkfifo /var/vx_qos.ipv6
timeout 20 vx_qos > /dev/null
check "FIFO at the IPv6 marker: the run ends" "$?" 0
rm -f /var/vx_qos.ipv6
gateway_conf 0 1 | store

# Two runs started together: exactly one builds. The first run's tc holds it
# in the middle of its reset until the second has given up.
cat > "$SBX_OUT/on_tc" <<'HOOK'
#!/bin/sh
[ -e "$SBX_OUT/gate" ] && exit 0
while [ ! -e "$SBX_OUT/second-done" ]; do sleep 0.05; done
HOOK
chmod +x "$SBX_OUT/on_tc"
rm -f "$SBX_OUT/second-done" "$SBX_OUT/gate"
vx_qos > "$SBX_OUT/first.out" &
first=$!
while [ ! -s /var/vx_qos.pid ]; do sleep 0.05; done
vx_qos > "$SBX_OUT/second.out"
check "pid file holds the running build's pid" "$(cat /var/vx_qos.pid)" "$first"
touch "$SBX_OUT/second-done" "$SBX_OUT/gate"
wait "$first"
check "second concurrent run refused" "$(cat "$SBX_OUT/second.out")" "vx_qos: Now, the same QoS is running..."
check_contains "first concurrent run completed" "$(cat "$SBX_OUT/first.out")" "=====QoS DISABLED!!...======"
[ ! -e /var/vx_qos.pid ] || fail "pid file left behind after a build"

# A run killed mid-build leaves its pid file, but no lock: the next run goes on.
rm -f "$SBX_OUT/second-done" "$SBX_OUT/gate"
vx_qos > /dev/null &
killed=$!
while [ ! -s /var/vx_qos.pid ]; do sleep 0.05; done
kill -KILL "$killed"; wait "$killed" 2>/dev/null
touch "$SBX_OUT/second-done" "$SBX_OUT/gate"
out=$(vx_qos)
check "after SIGKILL the next run goes on" "$out" "vx_qos: removed stale pid file /var/vx_qos.pid (pid $killed not running)
$head
$speeds
=====QoS DISABLED!!...======"
rm -f "$SBX_OUT/on_tc"
check "no file of the guard left under /var" "$(find /var -name 'vx_qos*')" ""

# No store at all: every key empty, still a clean run.
rm -f /etc/nvram.conf
out=$(vx_qos); rc=$?
check_contains "missing store" "$out" "=====QoS DISABLED!!...======"
check "missing store exit status" "$rc" 0
