# The rig and the checks the tunnel cases share.
. "$(dirname "${BASH_SOURCE[0]}")/../../tools/tunnel/rig.bash"

# plug_and_check: the session up with its address and the default route, the
# physical gateway in the gateway file.
plug_and_check() {
  cable_plugged 1
  wait_until 30 "plugged: session up, default route through it" session_up
  echo "ok: plugged: session up with its address, default route through it"
  # The watcher's redial count starts again at a tick that sees the session:
  # a tick's mark comes before its check, so two marks in a row.
  wait_until 15 "the watcher sees the session" eval '[ "$(tail -n 2 /tmp/events | tr "\n" " ")" = "tick ppp0 tick ppp0 " ]'
  check "gateway file holds the physical gateway" "$(gateway_file)" "$ISP_ADDR"
}

# server_killed_and_redialled: PPTP's redial check dials at the fifth tick
# without a session (four counted; the fourth when the session went during
# the tick that last saw it) and gets the session back.
server_killed_and_redialled() {
  local before n
  before=$(dials)
  isp_pptp_restarted
  wait_until 30 "server killed: redial" eval '[ "$(dials)" -gt "$before" ]'
  n=$(ticks_to_redial $((before + 1)))
  [ "$n" -ge 4 ] && [ "$n" -le 5 ] || fail "redial $n ticks after the session went, not 5"
  echo "ok: redialled $n ticks after the session went"
  wait_until 30 "redial: session up again" session_up
  echo "ok: session back"
  check "gateway file still holds the physical gateway" "$(gateway_file)" "$ISP_ADDR"
}

# pull_and_check: the teardown, and none of the router's daemons left.
pull_and_check() {
  cable_plugged 0
  wait_until 30 "pulled: no pppd, pptp, l2tpd, xl2tpd or udhcpc left" no_router_daemons
  echo "ok: pulled: no daemon left"
  check "no gateway file after the teardown" "$(gateway_file)" ""
}
