# PPPoE end to end: an ISP's pppoe-server in a network namespace of its own,
# the router's wanwatch (test tick) in a pid namespace of its own, dialling
# with Debian's pppd and its PPPoE plugin through the sample pppoe.sh.
# Cable plugged: ppp0 up with its address; pppd killed with the link up:
# dialled again by the redial check after its count of ticks; the session
# ended by the ISP: link state down, no gateway left; cable pulled:
# the teardown, no pppd of the router left, the link state down.
. /box/tests/lib.sh

pppoe_rig

ticks() { grep -c tick /tmp/events; }
dials() { grep -c dial /tmp/events; }
link_is() { [ "$(cat /etc/link 2>/dev/null)" = "$1" ]; }
at_least_ticks() { [ "$(ticks)" -ge "$1" ]; }

wait_until 10 "watcher ticking" at_least_ticks 3
check "no dial while the cable is out" "$(dials)" 0

cable_plugged 1
wait_until 30 "cable plugged: ppp0 up with its address" ppp0_addressed
echo "ok: cable plugged: ppp0 up with an address of the ISP's pool"
check "one dial" "$(dials)" 1
wait_until 5 "link state written" link_is "1 ppp0"
seen=$(ticks) && wait_until 5 "the watcher sees the session" at_least_ticks $((seen + 2))

# pppd killed outright with the link up (no ip-down: /etc/link still says
# 1, but ppp0 goes with it): the next dial comes from the redial check, at
# the 141st tick that finds the session away (140 counted, then the dial);
# the 140th when ppp0 went during the tick that last saw it.
kill -KILL $(router_pppd_pids)
wait_until 10 "pppd ended" no_router_pppd
redialled() { [ "$(dials)" -eq 2 ]; }
wait_until 90 "redial" redialled
between=$(awk '$1 == "tick" { n = $2 == "ppp0" ? 0 : n + 1 } $1 == "dial" && ++d == 2 { print n; exit }' /tmp/events)
[ "$between" -ge 140 ] && [ "$between" -le 141 ] ||
  fail "redial $between ticks after the session went, not 141"
echo "ok: redialled by the redial check after $between ticks"
wait_until 30 "redial: ppp0 up again" ppp0_addressed
echo "ok: ppp0 up again"

# The ISP ends the session, the cable still in: ip-down marks the link down,
# and the session's far end is no longer the gateway.
check "the far end as the gateway" "$(cat /var/physical_wanIf_gw)" 10.64.0.1
for dir in /proc/[0-9]*; do
  case "$(tr '\0' ' ' 2>/dev/null < "$dir/cmdline")" in
    "pppd file /etc/options.pppoe "*) ;;
    pppd\ * | */pppd\ *) kill -TERM "${dir#/proc/}" ;;
  esac
done
wait_until 10 "the ISP ended the session: link state down" link_is 0
check "no gateway after the session" "$([ -e /var/physical_wanIf_gw ] && echo left)" ""

cable_plugged 0
wait_until 10 "cable pulled: no pppd of the router left" no_router_pppd
echo "ok: cable pulled: pppd ended"
ppp0_gone() { ! ip link show ppp0 > /dev/null 2>&1; }
wait_until 5 "cable pulled: ppp0 gone" ppp0_gone
[ ! -e /var/physical_wanIf_gw ] || fail "gateway file left after the teardown"
link_is 0 || fail "ip-down did not mark the link down"
check "teardown once, no dial after it" "$(dials)" 2
echo "ok: teardown complete"
