#!/usr/bin/env bash
# hostscout's SSDP search on a LAN: a storage device in a second network
# namespace, joined by a veth pair, answers by unicast; the real ping and the
# kernel's ARP table give its MAC.
. "$(dirname "$0")/../lib.sh"
. "$SBX_PROJ/tests/system/hostscout/hostscout.bash"

lan_up
assoc

head="$AT
ssdp: Get info from DHCP
ssdp: timeout= 3"
# record ADDRESS: the lines of the storage device's record at that address.
nas_record() { printf '01=%s\n03=6\n07=%s\n15=NAS\n99=0' "$2" "$1"; }
found() {
  printf '%s\nssdp: Get info from SSDP M-Search\nssdp: ip_buff=%s  \nssdp: Add info => old lltd_num_lan=%s\nssdp: buf2=%s\n%s' \
    "$HASH" "$1" "$2" "$3" "$HASH"
}

# No device answers.
start=$SECONDS
hs
check "no answer" "$out" "$head
err: no ssdp answer"
check "no answer: status" "$rc" 255
[ $((SECONDS - start)) -ge 2 ] || fail "gave up before the three seconds"
[ ! -e /var/lltd_num_lan ] || fail "a wired count without an answer"
# The search as the device received it: exactly 99 bytes.
printf 'M-SEARCH * HTTP/1.1\r\nHost: 239.255.255.250:1900\r\nMan: "ssdp:discover"\r\nST:upnp:rootdevice\r\nMX:3\r\n\r\n' > /tmp/want.bin
check "request size" "$(stat -c %s /tmp/nas/request.bin)" 99
cmp /tmp/want.bin /tmp/nas/request.bin || fail "request bytes differ"
echo "ok: request bytes"

# A storage device and another device; fewer than fifteen answers end the run
# a bounded time after the last one.
{ storage_answer 'http://192.168.1.20:80/desc.xml'; other_answer; } | answers
start=$SECONDS
hs
took=$((SECONDS - start))
check "storage device and other device" "$out" "$head
ssdp: Receive ===> 0
$(found 192.168.1.20 0 020000000020)
ssdp: Receive ===> 1
ssdp: Receive ===> 2
close(sock)"
check "status after the last answer" "$rc" 0
[ "$took" -ge 2 ] && [ "$took" -le 6 ] || fail "the run took ${took}s after two answers"
echo "ok: the wait after the last answer is bounded (${took}s)"
file_is "wired count" /var/lltd_num_lan "00=1"
file_is "wired record" /var/lltd_inf_lan1 "$(nas_record 192.168.1.20 020000000020)"
[ ! -e /var/ping111 ] && [ ! -e /var/tmac ] || fail "scratch files left behind"

# A URL without a port ends at its path.
storage_answer 'http://192.168.1.20/desc.xml' | answers
hs
check_contains "URL without a port" "$out" "$(found 192.168.1.20 1 020000000020)"
file_is "record from a URL without a port" /var/lltd_inf_lan2 "$(nas_record 192.168.1.20 020000000020)"

# A host that never answers the ARP request: no MAC, the record all the same.
storage_answer 'http://192.168.1.99:49152/desc.xml' | answers
hs
check_contains "host without ARP entry" "$out" "$(found 192.168.1.99 2 '')"
file_is "record without MAC" /var/lltd_inf_lan3 "$(nas_record 192.168.1.99 '')"

# Answers full of shell metacharacters are not recorded and raise no count;
# nothing in them runs.
{
  storage_answer 'http://$(touch /tmp/pwned1):80/'
  storage_answer 'http://192.168.1.20;touch /tmp/pwned2;:80/'
  storage_answer 'http://`touch /tmp/pwned3`/x'
  storage_answer 'http://192.168.1.20|touch${IFS}/tmp/pwned4&:80'
  storage_answer 'http://192.168.1.20 -p ff -s 65000 192.168.1.30:80'
  printf 'HTTP/1.1 200 OK\nLOCATION: http://192.168.1.20\nSERVER: MediabolicUPnP\n\n----\n'
  storage_answer 'http://192.168.1.20:80/ok'
} | answers
hs
ls /tmp/pwned* 2>/dev/null && fail "an answer ran a command"
# Each unusable answer prints only the two heading lines.
unusable=$(for i in 0 1 2 3 4 5; do printf 'ssdp: Receive ===> %s\n%s\nssdp: Get info from SSDP M-Search\n' "$i" "$HASH"; done)
check "answers with shell metacharacters" "$out" "$head
$unusable
ssdp: Receive ===> 6
$(found 192.168.1.20 3 020000000020)
ssdp: Receive ===> 7
close(sock)"
file_is "only the usable answer counted" /var/lltd_num_lan "00=4"

# A non-200 answer after good ones ends the run; the earlier records stay.
{ storage_answer 'http://192.168.1.20:80/a'; other_answer; storage_answer 'http://192.168.1.20:80/b'
  printf 'HTTP/1.1 404 Not Found\n\n----\n'; storage_answer 'http://192.168.1.20:80/c'; } | answers
hs
check "non-200 answer after good ones" "$out" "$head
ssdp: Receive ===> 0
$(found 192.168.1.20 4 020000000020)
ssdp: Receive ===> 1
ssdp: Receive ===> 2
$(found 192.168.1.20 5 020000000020)
ssdp: Receive ===> 3
err: ssdp parsing "
check "non-200 answer: status" "$rc" 255
file_is "records before the bad answer" /var/lltd_num_lan "00=6"

# Fifteen answers are read and no more; the run then ends at once.
rm -f /var/lltd_*
for i in $(seq 17); do storage_answer "http://192.168.1.20:$i/d"; done | answers
hs
check "fifteen answers: status" "$rc" 0
check "fifteen answers read" "$(grep -c 'Receive ===>' <<< "$out")" 15
check "fifteen answers: last lines" "$(tail -n 3 <<< "$out")" "ssdp: buf2=020000000020
$HASH
close(sock)"
file_is "fifteen records" /var/lltd_num_lan "00=15"
file_is "the fifteenth record" /var/lltd_inf_lan15 "$(nas_record 192.168.1.20 020000000020)"

# A newer run ends an older one still waiting for answers.
: | answers
LD_PRELOAD=$HS_PRELOAD hostscout > /tmp/old.out &
old=$!
sleep 1
LD_PRELOAD=$HS_PRELOAD hostscout > /tmp/new.out &
new=$!
wait "$old"
check "older run ended by SIGTERM" "$?" 143
wait "$new"
check "newer run went on" "$?" 255
check "pid file names the newer run" "$(cat /var/run/hostscout.pid)" "$new"
check_contains "newer run searched" "$(cat /tmp/new.out)" "err: no ssdp answer"

# A storage device that answers ARP but drops the echo: each ping gives up
# after its one second, so the run stays within 3 + answers x (3 + 1) seconds.
# (The kernel's iptables, not the stub first on PATH.)
in_nas /usr/sbin/iptables -A INPUT -p icmp -j DROP || fail "no DROP rule on the device"
ping -c 1 -W 1 192.168.1.20 > /dev/null && fail "the device still answers the echo"
ip neigh flush dev lan0
rm -f /var/lltd_*
for i in 1 2 3; do storage_answer "http://192.168.1.20:$i/d"; done | answers
start=$SECONDS
hs
took=$((SECONDS - start))
check "echo dropped: status" "$rc" 0
[ "$took" -le $((3 + 3 * (3 + 1))) ] || fail "three silent hosts took ${took}s"
echo "ok: three hosts that drop the echo took ${took}s"
file_is "echo dropped: the MAC from ARP all the same" /var/lltd_inf_lan3 "$(nas_record 192.168.1.20 020000000020)"
