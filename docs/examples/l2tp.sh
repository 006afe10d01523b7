#!/bin/sh
# l2tp.sh USER PASSWORD SERVER OPMODE IDLE: what the router's L2TP script must
# do before wanwatch runs `l2tpd` and then `l2tp-control "start-session
# SERVER"`: the L2TP daemon's configuration and run directory, and the
# options file of the pppd it starts for the session (/etc/options.l2tp).
# Here the daemon is xl2tpd, run under the name l2tpd (a link to its binary,
# so that wanwatch's `killall -q l2tpd` finds it); l2tp-control adds the
# server as a LAC with that options file and connects it (see
# tools/tunnel/l2tp-control). The server must be reachable outside the
# tunnel: on the WAN interface's own network, or through a host route.
# "ipparam l2tp" keeps ip-up from taking the session's far end for the WAN
# gateway.
script=l2tp.sh
options=/etc/options.l2tp
. "$(dirname "$0")/ppp-options.sh"
[ $# -eq 5 ] || refuse "usage: l2tp.sh USER PASSWORD SERVER OPMODE IDLE"

host_word "$3" "server" > /dev/null || exit 1
user=$(word "$1" "the user name") || exit 1
password=$(word "$2" "the password") || exit 1
dial=$(dial_lines "$4" "$5") || exit 1

mkdir -p /var/run/xl2tpd /etc/xl2tpd || refuse "cannot make the daemon's directories"
printf '%s\n' "[global]" "access control = no" "port = 1701" > /etc/xl2tpd/xl2tpd.conf.new &&
  mv -f /etc/xl2tpd/xl2tpd.conf.new /etc/xl2tpd/xl2tpd.conf || refuse "cannot write /etc/xl2tpd/xl2tpd.conf"
{
  printf '%s\n' "unit 0" "ipparam l2tp" "user $user" "password $password" noauth refuse-eap noipdefault \
    defaultroute replacedefaultroute usepeerdns "mtu 1400" "mru 1400" noaccomp nopcomp novj nobsdcomp \
    nodeflate "lcp-echo-interval 10" "lcp-echo-failure 3" "maxfail 1"
  [ -z "$dial" ] || printf '%s\n' "$dial"
} | write_options
