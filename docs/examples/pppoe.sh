#!/bin/sh
# pppoe.sh USER PASSWORD INTERFACE OPMODE IDLE: what the router's PPPoE script
# must do before wanwatch runs `pppd file /etc/options.pppoe &`: write that
# file for pppd's PPPoE plugin (values checked and quoted by ppp-options.sh).
# wanwatch dials again itself (the redial check), so pppd does not persist.
# The link state wanwatch reads, /etc/link, is written by /etc/ppp/ip-up and
# /etc/ppp/ip-down (samples beside this script); "ipparam pppoe" tells ip-up
# that this session's far end is the WAN gateway.
script=pppoe.sh
options=/etc/options.pppoe
. "$(dirname "$0")/ppp-options.sh"
[ $# -eq 5 ] || refuse "usage: pppoe.sh USER PASSWORD INTERFACE OPMODE IDLE"

case "$3" in
  ""|*[!A-Za-z0-9._-]*) refuse "bad interface name: $3" ;;
esac
user=$(word "$1" "the user name") || exit 1
password=$(word "$2" "the password") || exit 1
dial=$(dial_lines "$4" "$5") || exit 1

{
  printf '%s\n' "plugin rp-pppoe.so" "nic-$3" "unit 0" "ipparam pppoe" "user $user" "password $password" \
    noauth noipdefault defaultroute usepeerdns "mtu 1492" "mru 1492" noaccomp nopcomp novj nobsdcomp \
    nodeflate "lcp-echo-interval 10" "lcp-echo-failure 3" "maxfail 1"
  [ -z "$dial" ] || printf '%s\n' "$dial"
} | write_options
