#!/usr/bin/env bash
# A new watcher ends the one named in the pid file, but only a watcher: an
# unrelated process whose pid stands in a stale file is left alone.
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/watch.bash"

store <<'CONF'
OP_Mode=0
wanConnectionMode=DHCP
CONF
cable pulled
reset_log
start_watcher
first=$WATCHER
wait_for 2 mii_mgr
check "first watcher's pid file" "$(cat /var/run/wanwatch.pid)" "$first"

start_watcher
second=$WATCHER
wait "$first"
check "previous watcher ended by SIGTERM" "$?" 143
wait_for 4 mii_mgr
check "pid file names the new watcher" "$(cat /var/run/wanwatch.pid)" "$second"
stop_watcher

sleep 30 &
bystander=$!
printf '%d\n' "$bystander" > /var/run/wanwatch.pid
start_watcher
wait_for 6 mii_mgr
kill -0 "$bystander" 2>/dev/null || fail "the unrelated process was signalled"
echo "ok: unrelated process spared"
check "stale pid file replaced" "$(cat /var/run/wanwatch.pid)" "$WATCHER"
stop_watcher
kill "$bystander"

# A newer watcher's SIGTERM in the middle of a sequence (the wait for an old
# udhcpc to end) ends the older one once the sequence has started the new
# client: the newer one, finding the link up, starts none.
cable pulled
reset_log
start_watcher
first=$WATCHER
wait_for 2 mii_mgr
cp "$(command -v sleep)" "$SBX_OUT/udhcpc"
"$SBX_OUT/udhcpc" 30 &
cable plugged
wait_for 1 killall
start_watcher
wait "$first"
check "the client started by the older watcher before it ended" "$(calls udhcpc)" 1
stop_watcher

# A pid file that cannot be written ends the start-up.
rm -f /var/run/wanwatch.pid
mkdir /var/run/wanwatch.pid
out=$(wanwatch 2>&1); rc=$?
check "unwritable pid file" "$out" "Enter wanwatch 
wanwatch: cannot write /var/run/wanwatch.pid: Is a directory
Can't create PID file!"
[ "$rc" -ne 0 ] || fail "unwritable pid file: exit status 0"
