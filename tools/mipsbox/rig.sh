# The box's rig, sourced by the scripts run in the box (tests/box, the
# benchmark): the configuration store, the router's devices, the full
# configuration's port-mapping files, and a PPPoE ISP with the router's link
# watcher. busybox sh, as root, on the box's own kernel.
export NVRAM_FILE=/etc/nvram.conf

# fail MESSAGE: ends the test; a test's on_fail function shows what it keeps.
fail() {
  echo "FAIL: $*"
  command -v on_fail > /dev/null && on_fail
  exit 1
}

# store: replaces the configuration store with the lines on stdin, renamed
# over the old one.
store() { cat > /etc/nvram.conf.new && mv -f /etc/nvram.conf.new /etc/nvram.conf; }

# wait_until SECONDS NAME COMMAND...: polls COMMAND every 0.2 s until it
# succeeds; fails the test with NAME when it has not within SECONDS.
wait_until() {
  _end=$(( $(cut -d. -f1 /proc/uptime) + $1 )) _name=$2
  shift 2
  while ! "$@"; do
    [ "$(cut -d. -f1 /proc/uptime)" -lt $_end ] || fail "$_name: not within the time allowed"
    sleep 0.2
  done
}

# veth_to NAMESPACE DEV PEER: the device DEV here, its other end PEER in the
# network namespace NAMESPACE (made when missing), both up.
veth_to() {
  [ -e "/run/netns/$1" ] || ip netns add "$1"
  ip link add "$2" type veth peer name "$3" netns "$1"
  ip link set "$2" up
  ip -n "$1" link set "$3" up
}

# router_devices: the router's devices, up: br0 (a bridge whose port lan0
# leads to the network namespace lan), eth2.2 (the WAN cable, to the
# namespace wan), eth2, ppp0, ra0 and apcli0; IPv4 and IPv6 addresses on
# eth2.2 and br0, and no IPv6 chatter (no duplicate address detection, no
# router solicitation): every packet they send is one a program sent.
router_devices() {
  for key in accept_dad dad_transmits router_solicitations; do
    sysctl -qw net.ipv6.conf.default.$key=0
  done
  ip link add br0 type bridge
  ip link set br0 up
  veth_to wan eth2.2 wan0
  veth_to lan lan0 host0
  ip link set lan0 master br0
  for dev in eth2 ppp0 ra0 apcli0; do
    ip link add "$dev" type veth peer name "$dev-p"
    ip link set "$dev" up
  done
  ip addr add 10.8.0.1/24 dev eth2.2
  ip addr add 2001:db8:8::1/64 dev eth2.2
  ip addr add 192.168.1.1/24 dev br0
  ip addr add 2001:db8:1::1/64 dev br0
}

# full_port_files (for /box/full.conf)
. /usr/lib/box/full_ports.sh

# pppoe_rig: an ISP's pppoe-server in the network namespace isp at the far
# end of the WAN cable eth2.2 (unplugged: cable_plugged 1 plugs it), the
# sample ip-up and ip-down, the store of a PPPoE router, and wanwatch (the
# test tick build) in a pid namespace of its own, whose killall meets only
# the router's pppd. Each probe of the link ("tick", "tick ppp0" while ppp0
# exists) and each dial ("dial") go to /tmp/events, in order.
pppoe_rig() {
  syslogd -O /tmp/messages
  on_fail() {
    echo "--- wanwatch:"; tail -n 20 /tmp/wanwatch.log
    echo "--- system log:"; tail -n 40 /tmp/messages
  }
  cp /box/examples/ip-up /box/examples/ip-down /etc/ppp/
  mkdir -p /tmp/w
  printf '#!/bin/sh\nif [ -e /sys/class/net/ppp0 ]; then echo tick ppp0; else echo tick; fi >> /tmp/events\nexec /sbin/mii_mgr "$@"\n' > /tmp/w/mii_mgr
  printf '#!/bin/sh\necho dial >> /tmp/events\nexec /box/examples/pppoe.sh "$@"\n' > /tmp/w/pppoe.sh
  chmod +x /tmp/w/*
  : > /tmp/events

  # The ISP's pppd keeps its hands off the router's files.
  veth_to isp eth2.2 wan0
  cable_plugged 0
  printf '"router" * "s3cret \\"pass\\" $(x)" *\n' > /etc/ppp/pap-secrets
  chmod 600 /etc/ppp/pap-secrets
  printf '%s\n' require-pap 'lcp-echo-interval 10' 'ip-up-script /bin/true' 'ip-down-script /bin/true' > /etc/ppp/isp-options
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
  PATH=/opt/tick:/tmp/w:$PATH unshare -p -f -m --mount-proc wanwatch > /tmp/wanwatch.log 2>&1 &
}

# cable_plugged 1|0: the ISP's end of the WAN cable up or down.
cable_plugged() {
  if [ "$1" = 1 ]; then ip -n isp link set wan0 up; else ip -n isp link set wan0 down; fi
}

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
