#!/bin/sh
# /sbin/udhcpc.sh: the script the WAN's DHCP client runs at each event, as the
# link watcher (wanwatch) relies on it. udhcpc passes the event as $1 and the
# lease in the environment ($interface, $ip, $subnet, $router).
#   deconfig       the interface loses its address (the client starts or lost its lease)
#   bound, renew   the lease's address and netmask, the default route through its
#                  first router (unless a PPTP or L2TP session over this lease holds
#                  the default route), and that router's address in
#                  /var/physical_wanIf_gw (the watcher removes the file when the link
#                  goes down; the router's other scripts read it)
# A lease value reaches a command only as one quoted word, and only when it is
# a dotted address: four decimal parts, no leading zeros (ifconfig and route
# would read those as octal).
gw_file=/var/physical_wanIf_gw

dotted() {
  case $1 in
    *[!0-9.]* | *..* | .* | *. | 0[0-9]* | *.0[0-9]* | *.*.*.*.*) return 1 ;;
    *.*.*.*) return 0 ;;
  esac
  return 1
}

# session_route: whether a PPP session holds the default route (pppd's
# replacedefaultroute, for a tunnel over this lease). A renewal then leaves
# it: a default route added through this interface would come first, and the
# tunnel's traffic would leave beside it.
session_route() {
  route -n 2>/dev/null | awk '$1 == "0.0.0.0" && $8 ~ /^ppp/ { found = 1 } END { exit !found }'
}

case $1 in
  deconfig)
    ifconfig "$interface" 0.0.0.0
    ;;
  bound | renew)
    mask=${subnet:-255.255.255.0}
    if ! dotted "$ip" || ! dotted "$mask"; then
      echo "udhcpc.sh: lease refused: address '$ip' netmask '$mask'" >&2
      exit 1
    fi
    ifconfig "$interface" "$ip" netmask "$mask"
    gw=${router%% *}
    if dotted "$gw"; then
      if ! session_route; then
        while route del default dev "$interface" 2>/dev/null; do :; done
        route add default gw "$gw" dev "$interface"
      fi
      printf '%s\n' "$gw" > "$gw_file.new" && mv -f "$gw_file.new" "$gw_file"
    fi
    ;;
esac
exit 0
