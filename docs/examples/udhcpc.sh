#!/bin/sh
# /sbin/udhcpc.sh: the script the WAN's DHCP client runs at each event, as the
# link watcher (wanwatch) relies on it. udhcpc passes the event as $1 and the
# lease in the environment ($interface, $ip, $subnet, $router).
#   deconfig       the interface loses its address (the client starts or lost its lease)
#   bound, renew   the lease's address and netmask, the default route through its
#                  first router, and that router's address in /var/physical_wanIf_gw
#                  (the watcher removes the file when the link goes down; the
#                  router's other scripts read it)
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
      while route del default dev "$interface" 2>/dev/null; do :; done
      route add default gw "$gw" dev "$interface"
      printf '%s\n' "$gw" > "$gw_file.new" && mv -f "$gw_file.new" "$gw_file"
    fi
    ;;
esac
exit 0
