# The rig and the checks the tunnel cases share.
. "$(dirname "${BASH_SOURCE[0]}")/../../tools/tunnel/rig.bash"

# plug_and_check: the session up with its address and the default route, the
# physical gateway in the gateway file.
plug_and_check() {
  cable_plugged 1
  wait_until 45 "plugged: session up, default route through it" session_up
  echo "ok: plugged: session up with its address, default route through it"
  check "gateway file holds the physical gateway" "$(gateway_file)" "$ISP_ADDR"
}

# server_killed_and_redialled: PPTP's redial check dials at the fifth tick
# after the last one whose check saw the session (four counted), and gets the
# session back. The server goes only once the watcher's own check has seen
# the session, so that its count starts from there.
server_killed_and_redialled() {
  local before n
  wait_until 15 "the watcher's redial check sees the session" eval '[ "$(grep "^session" /tmp/events | tail -n 1)" = "session 1" ]'
  before=$(dials)
  isp_pptp_restarted
  wait_until 45 "server killed: redial" eval '[ "$(dials)" -gt "$before" ]'
  n=$(ticks_to_redial $((before + 1)))
  [ "$n" = 5 ] || fail "redial $n ticks after the session went, not 5"
  echo "ok: redialled 5 ticks after the session went"
  wait_until 45 "redial: session up again" session_up
  echo "ok: session back"
  check "gateway file still holds the physical gateway" "$(gateway_file)" "$ISP_ADDR"
}

# lease_renewed: the WAN port's DHCP client renews its lease (SIGUSR1) with
# the session up; the session keeps the default route.
lease_renewed() {
  local before
  before=$(stat -c %i /var/physical_wanIf_gw)
  pkill -USR1 -x udhcpc # the box runs no other
  wait_until 15 "renewed: the gateway file written again" eval '[ "$(stat -c %i /var/physical_wanIf_gw)" != "$before" ]'
  check "renewed: the default route still through the session" "$(ip route get 192.0.2.1 | grep -o ' dev ppp')" " dev ppp"
}

# pulled: the cable pulled, and the watcher's tick that saw it go has ended
# (its teardown with it).
pulled() {
  local mark
  mark=$(event_count)
  cable_plugged 0
  wait_until 20 "pulled: a tick that sees the link down" eval 'events_since "$mark" | grep -qx "link 0"'
}

# pull_and_check: the teardown, and none of the router's daemons left.
pull_and_check() {
  pulled
  wait_until 30 "pulled: no pppd, pptp, l2tpd, xl2tpd or udhcpc left" no_router_daemons
  echo "ok: pulled: no daemon left"
  check "no gateway file after the teardown" "$(gateway_file)" ""
}

# pulled_during_a_dial: plugged, and pulled again as soon as the watcher
# dials: whatever the dial had got to, the teardown leaves nothing behind.
pulled_during_a_dial() {
  local before
  before=$(dials)
  cable_plugged 1
  wait_until 20 "plugged again: a dial" eval '[ "$(dials)" -gt "$before" ]'
  pull_and_check
  echo "ok: pulled during a dial"
}
