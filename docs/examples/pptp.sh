#!/bin/sh
# pptp.sh USER PASSWORD SERVER OPMODE IDLE: what the router's PPTP script
# must do before wanwatch runs `pppd file /etc/options.pptp  &`: write that
# file for pppd with the user-space PPTP client (`pptp`, Debian's pptp-linux)
# as its pty. wanwatch runs it in WISP mode, and accel-pptp.sh (beside it) in
# gateway mode.
#
# The client adds a host route to the server through the interface's own
# gateway, so the tunnel's packets never enter the tunnel once pppd has made
# the session the default route. With the address by DHCP, wanwatch starts
# udhcpc in the background just before: the pty waits, up to ten seconds,
# until the server is reachable, a server given by name once the DNS (the
# router's nslookup) has its IPv4 address, which the client then gets. After
# ten seconds the client gets what is stored, as it is. wanwatch dials again
# itself (the redial check), so pppd does not persist. "ipparam pptp" keeps
# ip-up from taking the session's far end for the WAN gateway.
script=pptp.sh
options=/etc/options.pptp
. "$(dirname "$0")/ppp-options.sh"
[ $# -eq 5 ] || refuse "usage: pptp.sh USER PASSWORD SERVER OPMODE IDLE"

server=$(host_word "$3" "server") || exit 1
user=$(word "$1" "the user name") || exit 1
password=$(word "$2" "the password") || exit 1
dial=$(dial_lines "$4" "$5") || exit 1
# The pty's address: the stored one, or the first IPv4 address nslookup
# finds for the name: on an "Address" line after the "Name:" line, as old
# and new busybox (1.35 in the lab) and bind print it. Its status says
# nothing (busybox fails when the name has no IPv6 address).
case $server in
  *:*) find="a=$server" ;;
  *[!0-9.]*) find="a=\$(nslookup $server 2>/dev/null | sed -n '/^Name:/,\$s/^Address[^:]*:[[:space:]]*\([0-9.]*\)\([[:space:]].*\)\{0,1\}\$/\1/p' | head -n 1); [ -n \"\$a\" ]" ;;
  *) find="a=$server" ;;
esac
pty=$(word "end=\$((\$(date +%s) + 10)); until $find && ip route get \$a >/dev/null 2>&1 || [ \$(date +%s) -ge \$end ]; do sleep 0.2; done; exec pptp \${a:-$server} --nolaunchpppd" "the pty") || exit 1

{
  printf '%s\n' "pty $pty" "unit 0" "ipparam pptp" \
    "user $user" "password $password" noauth refuse-eap noipdefault defaultroute replacedefaultroute \
    usepeerdns "mtu 1400" "mru 1400" noaccomp nopcomp novj nobsdcomp nodeflate \
    "lcp-echo-interval 10" "lcp-echo-failure 3" "maxfail 1"
  [ -z "$dial" ] || printf '%s\n' "$dial"
} | write_options
