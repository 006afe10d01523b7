#!/usr/bin/env bash
# hostscout's lease scan: leased clients that the wireless driver lists as
# associated become wireless host records. No network here, so every run ends
# at the search with "err:sendto".
. "$(dirname "$0")/../lib.sh"
. "$SBX_PROJ/tests/system/hostscout/hostscout.bash"

# Associated and wired clients, a known client, empty slots, a short last record.
leases laptop,001a2bc3d4ff,192.168.1.100,3600 desktop,0011223344aa,192.168.1.101,3600 \
       zero,000000000000,192.168.1.102,3600 expired,0011223344bb,192.168.1.103,0 \
       known,0011223344cc,192.168.1.104,3600 phone,a0b1c2d3e4f5,192.168.1.105,86400 --tail 39
printf '0011223344cc\n001A2BC3D4FF\n' > /var/lltd_mac
printf '00=7\n' > /var/lltd_num_wlan
assoc 3 665544332211 001a2bc3d4ff a0b1c2d3e4f5
reset_log
hs
check "lease scan output" "$out" "$AT
ssdp: Get info from DHCP
ssdp: dhcp client mac => 001a2bc3d4ff
ssdp: s_buf=665544332211
ssdp: s_buf=001a2bc3d4ff
ssdp: 001a2bc3d4ff is wireless client
ssdp: Add info => old lltd_num_wlan=7
ssdp: dhcp client mac => 0011223344aa
ssdp: s_buf=665544332211
ssdp: s_buf=001a2bc3d4ff
ssdp: s_buf=a0b1c2d3e4f5
ssdp: Not at wireless list
ssdp: dhcp client mac => 0011223344cc
ssdp: Find mac at lltd table
ssdp: dhcp client mac => a0b1c2d3e4f5
ssdp: s_buf=665544332211
ssdp: s_buf=001a2bc3d4ff
ssdp: s_buf=a0b1c2d3e4f5
ssdp: a0b1c2d3e4f5 is wireless client
ssdp: Add info => old lltd_num_wlan=8
$AT
err:sendto"
check "no route for the search" "$rc" 255
check "the DHCP server is asked for its leases" "$(logged killall)" "killall [-q] [-USR1] [udhcpd]"
check "the known client's table is not fetched" "$(table_requests)" 3
file_is "wireless count" /var/lltd_num_wlan "00=9"
file_is "first wireless record" /var/lltd_inf_wlan8 "01=001a2bc3d4ff
03=71
07=192.168.1.100
15=laptop
99=0"
file_is "second wireless record" /var/lltd_inf_wlan9 "01=a0b1c2d3e4f5
03=71
07=192.168.1.105
15=phone
99=0"
[ ! -e /var/lltd_inf_wlan10 ] || fail "a record for a client that is not associated"
[ ! -e /var/lltd_num_lan ] || fail "a wired count without a search"

# Count files in their odd forms decide the next record's number.
leases laptop,001a2bc3d4ff,192.168.1.100,3600
assoc 1 001a2bc3d4ff
for form in 'none:1' '00=12:13' 'no count line\n:1' '00:5\n:6' '\n\n00=3\n00=8\n:4' '00=x\n:1'; do
  content=${form%:*}
  want=${form##*:}
  rm -f /var/lltd_inf_wlan* /var/lltd_num_wlan
  [ "$content" = none ] || printf "$content" > /var/lltd_num_wlan
  hs
  file_is "count file '$content'" /var/lltd_num_wlan "00=$want"
  [ -f "/var/lltd_inf_wlan$want" ] || fail "count file '$content': no record $want"
done
# The same client found again gets a further record with the same lines.
hs
cmp -s /var/lltd_inf_wlan1 /var/lltd_inf_wlan2 || fail "a client found again differs"
echo "ok: a client found again"

# Host names full of shell metacharacters reach the record as they are; a
# newline in a name cannot start a line of its own.
rm -f /var/lltd_*
leases '$(touch /tmp/p1),001a2bc3d4f1,10.0.0.1,1' '`touch /tmp/p2`,001a2bc3d4f2,10.0.0.2,1' \
       'a"b;c|d&e>/tmp/p3,001a2bc3d4f3,10.0.0.3,1' 'evil\n99=0\n01=x,001a2bc3d4f4,10.0.0.4,1' \
       "it's \\\\ *,001a2bc3d4f5,10.0.0.5,1" 'exactly16chars!!,001a2bc3d4f6,10.0.0.6,1'
assoc 6 001a2bc3d4f1 001a2bc3d4f2 001a2bc3d4f3 001a2bc3d4f4 001a2bc3d4f5 001a2bc3d4f6
hs
ls /tmp/p1 /tmp/p2 /tmp/p3 2>/dev/null && fail "a host name ran a command"
names=$(for n in 1 2 3 4 5 6; do sed -n 's/^15=//p' "/var/lltd_inf_wlan$n"; done)
check "host names as they came" "$names" '$(touch /tmp/p1)
`touch /tmp/p2`
a"b;c|d&e>/tmp/p
evil?99=0?01=x
it'"'"'s \\ *
exactly16chars!!'
check "every record has five lines" "$(cat /var/lltd_inf_wlan* | wc -l)" 30

# A driver that reports more entries than its table holds: 32 are looked at.
rm -f /var/lltd_*
leases laptop,001a2bc3d4ff,192.168.1.100,3600
macs=()
for i in $(seq 0 31); do macs+=("$(printf '0200000000%02x' "$i")"); done
assoc 1000 "${macs[@]}"
hs
check "entries looked at" "$(grep -c 's_buf=' <<< "$out")" 32
check_contains "not in the table" "$out" "ssdp: s_buf=02000000001f
ssdp: Not at wireless list"
# No driver: the client counts as not associated.
assoc
hs
check "driver request failing" "$out" "$AT
ssdp: Get info from DHCP
ssdp: dhcp client mac => 001a2bc3d4ff
ssdp: Not at wireless list
$AT
err:sendto"
[ ! -e /var/lltd_num_wlan ] || fail "a record without the driver"

# No lease file, and an empty one.
rm -f /var/udhcpd.leases
hs
check "no lease file" "$out" "$AT
ssdp: Get info from DHCP
err:sendto"
: > /var/udhcpd.leases
hs
check "empty lease file" "$out" "$AT
ssdp: Get info from DHCP
$AT
err:sendto"

# The pid file: a stale pid of another program is left alone.
sleep 30 &
other=$!
echo "$other" > /var/run/hostscout.pid
hs
kill -0 "$other" 2>/dev/null || fail "an unrelated process was signalled"
echo "ok: an unrelated process in the pid file is left alone"
pid=$(cat /var/run/hostscout.pid)
[ "$pid" != "$other" ] && [ "$pid" -gt 1 ] || fail "pid file not replaced: $pid"
echo "ok: pid file replaced"
kill "$other"
# A pid file that cannot be written ends the run before any scan.
rm -f /var/run/hostscout.pid
mkdir /var/run/hostscout.pid
reset_log
hs 2> "$SBX_OUT/hs.err"
check "pid file not writable" "$out" "Can't create PID file!"
check "the directory named" "$(cat "$SBX_OUT/hs.err")" "hostscout: cannot write /var/run/hostscout.pid: Is a directory"
check "pid file not writable: status" "$rc" 255
check "nothing scanned" "$(logged killall)" ""
