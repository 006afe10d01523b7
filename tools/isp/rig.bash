# A real WAN uplink for the link watcher, sourced inside the sandbox (--kernel):
# the ISP's DHCP server (dnsmasq) in a network namespace of its own behind
# eth2.2, Debian's busybox udhcpc with /sbin/udhcpc.sh from
# docs/examples/udhcpc.sh (bound there inside the sandbox only), the real
# killall, ifconfig and route, and a mii_mgr stand-in that reads the carrier of
# eth2.2. The cable is the ISP end of the veth pair: `cable plugged` and
# `cable pulled` set it up and down.
#
# isp_up starts it all; the watcher then runs as usual (`wanwatch &`). The
# stubs still log each call to $SBX_OUT/stub.log before the real tool runs.

ISP_ADDR=10.9.0.1
ISP_DIR=$SBX_OUT/isp

# isp CMD...: runs CMD in the ISP's network namespace.
isp() { nsenter --net="/proc/$ISP_NS/ns/net" "$@"; }

isp_up() {
  mkdir -p "$ISP_DIR"
  # The namespace lives as long as this process holding it.
  unshare --net sleep infinity &
  ISP_NS=$!
  local own
  own=$(readlink /proc/self/ns/net)
  while [ "$(readlink "/proc/$ISP_NS/ns/net" 2>/dev/null)" = "$own" ]; do sleep 0.01; done
  ip link set eth2.2-p netns "$ISP_NS"
  isp ip link set lo up
  isp ip addr add "$ISP_ADDR/24" dev eth2.2-p
  # No ping of a new address before it is offered (dnsmasq's default, 3 s of
  # silence on the first discover): nothing else on this link could hold it.
  isp dnsmasq --keep-in-foreground --conf-file=/dev/null --port=0 --user=root --group=root --no-ping \
    --interface=eth2.2-p --bind-interfaces --dhcp-range=10.9.0.100,10.9.0.199,255.255.255.0,1h \
    --dhcp-option=option:router,"$ISP_ADDR" --dhcp-leasefile="$ISP_DIR/leases" \
    --pid-file="$ISP_DIR/dnsmasq.pid" --log-dhcp --log-facility="$ISP_DIR/dnsmasq.log" &
  ISP_DNSMASQ=$!

  export SBX_REAL="killall ifconfig route ${SBX_REAL:-}"
  ln -sf "$SBX_PROJ/tools/isp/udhcpc" "$SBX_OUT/on_udhcpc"
  ln -sf "$SBX_PROJ/tools/isp/mii_mgr" "$SBX_OUT/on_mii_mgr"
  # The sample script at /sbin/udhcpc.sh: where there is no file to bind it
  # over, an overlay of the directory (in this mount namespace) gets one.
  local sbin
  sbin=$(realpath /sbin)
  if [ ! -e /sbin/udhcpc.sh ]; then
    mkdir -p /mnt/sbx/sbin-upper /mnt/sbx/sbin-work
    mount -t overlay overlay -o "lowerdir=$sbin,upperdir=/mnt/sbx/sbin-upper,workdir=/mnt/sbx/sbin-work" "$sbin"
    touch /sbin/udhcpc.sh
  fi
  mount --bind "$SBX_PROJ/docs/examples/udhcpc.sh" /sbin/udhcpc.sh
}

# isp_down: the ISP's server and namespace go; the tools are stubs again.
isp_down() {
  kill "$ISP_DNSMASQ" "$ISP_NS" 2>/dev/null || true
  wait "$ISP_DNSMASQ" "$ISP_NS" 2>/dev/null || true
  rm -f "$SBX_OUT/on_udhcpc" "$SBX_OUT/on_mii_mgr"
  SBX_REAL=${SBX_REAL#killall ifconfig route }
  return 0
}

cable() {
  case "$1" in
    plugged) isp ip link set eth2.2-p up ;;
    pulled) isp ip link set eth2.2-p down ;;
  esac
}

# What the router's side holds: the WAN address, the default route through
# eth2.2, and the DHCP clients (pids; zombies apart).
wan_address() { ip -4 -o addr show dev eth2.2 | awk '{ print $4 }'; }
wan_route() { ip route show default dev eth2.2; }
# procs STATE: the pids of the udhcpc processes in that state class: live
# (any state but zombie) or zombie.
procs() {
  local stat pid rest comm state
  for stat in /proc/[0-9]*/stat; do
    read -r pid rest 2>/dev/null < "$stat" || continue
    comm=${rest#(}
    comm=${comm%%) *}
    state=${rest##*) }
    state=${state%% *}
    case "$1:$state" in
      zombie:Z) echo "$pid $comm" ;;
      live:Z) ;;
      live:*) [ "$comm" = udhcpc ] && echo "$pid" ;;
    esac
  done
  return 0
}
clients() { procs live; }
zombies() { procs zombie; }
linked() { [ -n "$(wan_address)" ] && [ -n "$(wan_route)" ]; }
unlinked() { [ -z "$(wan_address)" ] && [ -z "$(clients)" ]; }

# waited MS CONDITION: polls CONDITION until it holds, for at most MS
# milliseconds; WAITED is then the time taken in milliseconds.
waited() {
  local limit=$1 start now
  shift
  start=${EPOCHREALTIME/./}
  while :; do
    now=${EPOCHREALTIME/./}
    WAITED=$(((now - start) / 1000))
    "$@" && return 0
    [ "$WAITED" -lt "$limit" ] || return 1
    sleep 0.02
  done
}

sleep_ms() { sleep "$(($1 / 1000)).$(printf '%03d' $(($1 % 1000)))"; }
