# PPPoE end to end: an ISP's pppoe-server in a network namespace of its own,
# the router's wanwatch (test tick) in a pid namespace of its own, dialling
# with Debian's pppd and its PPPoE plugin through the sample pppoe.sh.
# Cable plugged: ppp0 up with its address; pppd ended with the link up:
# dialled again by the redial check after its count of ticks; cable pulled:
# the teardown, no pppd of the router left.
. /box/tests/lib.sh

syslogd -O /tmp/messages
on_fail() {
  echo "--- wanwatch:"; tail -n 20 /tmp/wanwatch.log
  echo "--- system log:"; tail -n 40 /tmp/messages
}
cp /box/examples/ip-up /etc/ppp/
# Each probe of the link, each dial and the end of each session, in order,
# seen through wrappers.
mkdir -p /tmp/w
printf '#!/bin/sh\necho down >> /tmp/events\nexec /box/examples/ip-down "$@"\n' > /etc/ppp/ip-down
chmod +x /etc/ppp/ip-down
printf '#!/bin/sh\necho tick >> /tmp/events\nexec /sbin/mii_mgr "$@"\n' > /tmp/w/mii_mgr
printf '#!/bin/sh\necho dial >> /tmp/events\nexec /box/examples/pppoe.sh "$@"\n' > /tmp/w/pppoe.sh
chmod +x /tmp/w/*
: > /tmp/events

# The ISP: the far end of the WAN cable (down: the cable is out), a session
# for the router's account. Its pppd keeps its hands off the router's files.
veth_to isp eth2.2 wan0
ip -n isp link set wan0 down
printf '"router" * "s3cret \\"pass\\" $(x)" *\n' > /etc/ppp/pap-secrets
chmod 600 /etc/ppp/pap-secrets
cat > /etc/ppp/isp-options <<'OPTS'
require-pap
lcp-echo-interval 10
ip-up-script /bin/true
ip-down-script /bin/true
OPTS
ip netns exec isp pppoe-server -I wan0 -L 10.64.0.1 -R 10.64.0.2 -N 4 -O /etc/ppp/isp-options
pidof pppoe-server > /dev/null || fail "pppoe-server did not start"

store <<'CONF'
OP_Mode=0
wanConnectionMode=PPPOE
wan_pppoe_user=router
wan_pppoe_pass=s3cret "pass" $(x)
wan_pppoe_opmode=KeepAlive
wan_pppoe_optime=60
CONF
PATH=/box/tick:/tmp/w:$PATH unshare -p -f -m --mount-proc wanwatch > /tmp/wanwatch.log 2>&1 &

ticks() { grep -c tick /tmp/events; }
dials() { grep -c dial /tmp/events; }
# The router's pppd (the ISP's are started by pppoe-server with other words).
router_pppd_pids() {
  for dir in /proc/[0-9]*; do
    case "$(tr '\0' ' ' 2>/dev/null < "$dir/cmdline")" in
      "pppd file /etc/options.pppoe "*) echo "${dir#/proc/}" ;;
    esac
  done
}
router_pppd() { [ -n "$(router_pppd_pids)" ]; }
no_router_pppd() { ! router_pppd; }
# An address of the ISP's pool (one more for each session).
ppp0_addressed() { ip -4 addr show dev ppp0 2>/dev/null | grep -q 'inet 10\.64\.0\.[0-9]* peer 10\.64\.0\.1/32'; }
link_is() { [ "$(cat /etc/link 2>/dev/null)" = "$1" ]; }
at_least_ticks() { [ "$(ticks)" -ge "$1" ]; }

wait_until 10 "watcher ticking" at_least_ticks 3
check "no dial while the cable is out" "$(dials)" 0

ip -n isp link set wan0 up
wait_until 30 "cable plugged: ppp0 up with its address" ppp0_addressed
echo "ok: cable plugged: ppp0 up with an address of the ISP's pool"
check "one dial" "$(dials)" 1
wait_until 5 "link state written" link_is 1

# pppd ends with the link up: the next dial comes from the redial check, at
# the 141st tick that finds the session away (140 counted, then the dial),
# the 140th when the tick under way as the session went saw it gone.
kill $(router_pppd_pids)
wait_until 10 "pppd ended" no_router_pppd
link_is 0 || fail "ip-down did not mark the link down"
redialled() { [ "$(dials)" -eq 2 ]; }
wait_until 90 "redial" redialled
between=$(awk '$1 == "down" { n = 0; down = 1 } $1 == "tick" { n++ } $1 == "dial" && down { print n; exit }' /tmp/events)
[ "$between" -ge 140 ] && [ "$between" -le 141 ] ||
  fail "redial $between ticks after the session ended, not 141"
echo "ok: redialled by the redial check after $between ticks"
wait_until 30 "redial: ppp0 up again" ppp0_addressed
echo "ok: ppp0 up again"

ip -n isp link set wan0 down
wait_until 10 "cable pulled: no pppd of the router left" no_router_pppd
echo "ok: cable pulled: pppd ended"
ppp0_gone() { ! ip link show ppp0 > /dev/null 2>&1; }
wait_until 5 "cable pulled: ppp0 gone" ppp0_gone
[ ! -e /var/physical_wanIf_gw ] || fail "gateway file left after the teardown"
check "teardown once, no dial after it" "$(dials)" 2
echo "ok: teardown complete"
