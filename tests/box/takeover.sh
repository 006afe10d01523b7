# Takeover by name on a kernel where a process is named after its program: a
# second wanwatch and a second hostscout end the first through its pid file.
. /box/tests/lib.sh

store <<'CONF'
OP_Mode=0
wanConnectionMode=DHCP
CONF
# The SSDP search goes out on the LAN.
router_devices
ip route add 239.0.0.0/8 dev br0

pid_file_is() { [ "$(cat "$1" 2>/dev/null)" = "$2" ]; }
gone() { ! kill -0 "$1" 2>/dev/null || grep -qs '^State:.*zombie' "/proc/$1/status"; }

# takeover PROGRAM PIDFILE: two runs of PROGRAM one after the other.
takeover() {
  "$1" > /tmp/first.out 2>&1 &
  first=$!
  wait_until 10 "$1: first pid file" pid_file_is "$2" $first
  check "$1: named after its program" "$(cat /proc/$first/comm)" "$1"
  "$1" > /tmp/second.out 2>&1 &
  second=$!
  wait_until 10 "$1: the first ended" gone $first
  wait $first
  check "$1: the first ended by SIGTERM" "$?" 143
  wait_until 10 "$1: second pid file" pid_file_is "$2" $second
  kill $second 2>/dev/null
  wait $second || :  # ended by the SIGTERM above
}

takeover wanwatch /var/run/wanwatch.pid
takeover hostscout /var/run/hostscout.pid
