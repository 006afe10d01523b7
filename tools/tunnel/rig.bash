# The ISP and the router for PPTP and L2TP end to end, sourced in the lab box
# (tools/labbox) as root by tests/lab/pptp_*.sh, tests/lab/l2tp_*.sh and
# tools/bench/tunnels.sh.
#
# ISP side, in the network namespace isp at the far end of the router's WAN
# port (eth2.2, or ra0 in WISP mode): dnsmasq leasing the port its address
# (10.8.0.100 and up, gateway 10.8.0.1), pptpd and an xl2tpd acting as the
# LNS at 10.8.0.1, each with pppd authenticating the account "router" by CHAP
# and handing out 10.64.0.x (PPTP) or 10.65.0.x (L2TP). The ISP's pppd runs
# ip-up-script and ip-down-script /bin/true: the router's /etc/link is not its
# business. The same dnsmasq is the ISP's DNS, which knows the servers as
# $ISP_NAME; the router's /etc/resolv.conf names it.
#
# Router side: the real wanwatch (a tick build, $LAB_BIN, by default
# build/lab-tick/bin: tools/tunnel/build.sh) in a pid namespace of its own, so that its killall and its
# waits see only the router's daemons; the sample scripts of docs/examples
# (/sbin/udhcpc.sh, /etc/ppp/ip-up and ip-down, pptp.sh, accel-pptp.sh,
# l2tp.sh), l2tpd as a link to xl2tpd and l2tp-control (beside this file).
# mii_mgr and iwconfig are stand-ins that answer from the port's carrier;
# nslookup is busybox's, as on the router.
# Each tick's start ("tick", from the stand-ins of its first probe), what the
# watcher's redial check saw ("session 1" or "session 0", from the watcher's
# own trace: the lab build appends it, tools/tunnel/build.sh), each tick's end
# with the link it saw ("link 1" or "link 0", the same trace) and each dial
# ("dial") go to /tmp/events, in order.
set -u
tunnel_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
LAB_BIN=${LAB_BIN:-$tunnel_root/build/lab-tick/bin}
ISP_ADDR=10.8.0.1
ISP_NAME=vpn.isp.test

fail() {
  echo "FAIL: $*"
  if [ -f /tmp/wanwatch.log ]; then echo "--- wanwatch:"; tail -n 30 /tmp/wanwatch.log; fi
  if [ -f /tmp/messages ]; then echo "--- system log:"; tail -n 40 /tmp/messages; fi
  if [ -f /tmp/events ]; then echo "--- ticks and dials:"; tr '\n' ' ' < /tmp/events; echo; fi
  exit 1
}

check() {
  [ "$2" = "$3" ] || fail "$1: '$2', not '$3'"
  echo "ok: $1"
}

# wait_until SECONDS WHAT COMMAND...: until COMMAND succeeds.
wait_until() {
  local limit=$1 what=$2
  shift 2
  local until=$((SECONDS + limit))
  until "$@"; do
    [ "$SECONDS" -lt "$until" ] || fail "waited $limit s in vain: $what"
    sleep 0.1
  done
}

isp() { ip netns exec isp "$@"; }

cable_plugged() {
  if [ "$1" = 1 ]; then isp ip link set wan0 up; else isp ip link set wan0 down; fi
}

# router_procs NAME: the router's live processes of that name, as numbered
# in its pid namespace (whose /proc its first process sees). Builtins only:
# a process per entry costs seconds in the box.
router_procs() {
  local stat rest comm state
  for stat in "$ROUTER_PROC"/[0-9]*/stat; do
    read -r rest 2>/dev/null < "$stat" || continue
    comm=${rest#*(}
    comm=${comm%) *}
    state=${rest##*) }
    if [ "$comm" = "$1" ] && [ "${state%% *}" != Z ]; then
      stat=${stat%/stat}
      echo "${stat##*/}"
    fi
  done
}
no_router_daemons() {
  local name
  for name in pppd pptp l2tpd xl2tpd udhcpc; do
    [ -z "$(router_procs "$name")" ] || return 1
  done
}

# session_up: a PPP interface with its address from the ISP, and the default
# route through it.
session_up() {
  ip -4 -o addr show 2>/dev/null | grep -Eq '^[0-9]+: ppp[0-9]+ +inet 10\.6[45]\.0\.' &&
    ip route show default | grep -q ' dev ppp'
}
gateway_file() { cat /var/physical_wanIf_gw 2>/dev/null; }
ticks() { grep -c '^tick' /tmp/events; }
dials() { grep -c '^dial' /tmp/events; }

# isp_up pptp|l2tp [WAN_IF]: the ISP with the server of that type, at the
# far end of the router's WAN port (eth2.2, or ra0 in WISP mode).
isp_up() {
  WAN_IF=${2:-eth2.2}
  trap rig_down EXIT
  modprobe -q ppp_generic
  ip netns add isp
  ip link add "$WAN_IF" type veth peer name wan0 netns isp
  ip link set "$WAN_IF" up
  isp ip link set lo up
  isp ip addr add "$ISP_ADDR/24" dev wan0
  cable_plugged 0
  printf '"router" * "s3cret" *\n' > /etc/ppp/chap-secrets
  chmod 600 /etc/ppp/chap-secrets
  printf '%s\n' name isp require-chap 'ip-up-script /bin/true' 'ip-down-script /bin/true' \
    'lcp-echo-interval 1' 'lcp-echo-failure 3' nodefaultroute noproxyarp nobsdcomp nodeflate > /etc/ppp/isp-options
  if [ "$1" = pptp ]; then
    printf '%s\n' 'option /etc/ppp/isp-options' 'localip 10.64.0.1' 'remoteip 10.64.0.2-20' > /etc/isp-pptpd.conf
    isp_pptpd
  else
    mkdir -p /run/isp-xl2tpd
    printf '%s\n' '[global]' "listen-addr = $ISP_ADDR" 'port = 1701' 'access control = no' '[lns default]' \
      'ip range = 10.65.0.2-10.65.0.20' 'local ip = 10.65.0.1' 'require chap = yes' 'refuse pap = yes' \
      'require authentication = yes' 'name = isp' 'pppoptfile = /etc/ppp/isp-options' 'length bit = yes' \
      > /etc/isp-xl2tpd.conf
    isp xl2tpd -c /etc/isp-xl2tpd.conf -p /run/isp-xl2tpd/pid -C /run/isp-xl2tpd/control
  fi
  isp dnsmasq --conf-file=/dev/null --no-hosts --no-resolv --host-record="$ISP_NAME,$ISP_ADDR" \
    --user=root --group=root --no-ping --interface=wan0 \
    --bind-interfaces --dhcp-range=10.8.0.100,10.8.0.199,255.255.255.0,1h --dhcp-option=option:router,"$ISP_ADDR" \
    --dhcp-leasefile=/tmp/isp-leases --pid-file=/run/isp-dnsmasq.pid
}

isp_pptpd() { isp pptpd -c /etc/isp-pptpd.conf -p /run/isp-pptpd.pid; }

# isp_pptp_killed: the ISP's PPTP server and its sessions end at once, and
# the server is started again.
isp_pptp_restarted() {
  local pid comm
  for pid in $(ip netns pids isp); do
    comm=$(cat "/proc/$pid/comm" 2>/dev/null)
    case "$comm" in pptpd | pptpctrl | pppd) kill -KILL "$pid" ;; esac
  done
  sleep 0.2
  isp_pptpd
}

# router_up OP_MODE TYPE [STORE_LINE...]: the router's tools and store, and
# wanwatch started.
router_up() {
  local op=$1 type=$2
  shift 2
  [ -x "$LAB_BIN/wanwatch" ] || fail "no $LAB_BIN/wanwatch: run tools/tunnel/build.sh first"
  busybox syslogd -O /tmp/messages
  pidof syslogd > /tmp/syslogd.pid
  cp "$tunnel_root/docs/examples/udhcpc.sh" /sbin/udhcpc.sh
  cp "$tunnel_root/docs/examples/ip-up" "$tunnel_root/docs/examples/ip-down" /etc/ppp/
  mkdir -p /tmp/w
  # A tick's mark, as the tick starts: the watcher's first probe.
  local mark='echo tick >> /tmp/events'
  printf '#!/bin/sh\n%s\nexec %s "$@"\n' "$mark" "$tunnel_root/tools/isp/mii_mgr" > /tmp/w/mii_mgr
  # WISP mode: associated while the port has a carrier.
  printf '#!/bin/sh\n%s\ncase $(ip -o link show dev ra0) in *LOWER_UP*) ap=02:00:00:00:00:01 ;; *) ap=Not-Associated ;; esac\nprintf "ra0       IEEE 802.11  ESSID:\\"isp\\"\\n          Mode:Managed  Access Point: %%s\\n" "$ap"\n' "$mark" > /tmp/w/iwconfig
  local script
  for script in accel-pptp.sh pptp.sh l2tp.sh; do
    printf '#!/bin/sh\necho dial >> /tmp/events\nexec %s "$@"\n' "$tunnel_root/docs/examples/$script" > "/tmp/w/$script"
  done
  cp "$tunnel_root/tools/isp/udhcpc" /tmp/w/udhcpc
  cp "$tunnel_root/tools/tunnel/l2tp-control" /tmp/w/l2tp-control
  ln -sf /usr/sbin/xl2tpd /tmp/w/l2tpd
  chmod +x /tmp/w/*
  ln -sf "$(command -v busybox)" /tmp/w/nslookup
  # The router's resolver asks the ISP (a mount of this namespace's own).
  printf 'nameserver %s\n' "$ISP_ADDR" > /tmp/resolv.conf
  mount --bind /tmp/resolv.conf /etc/resolv.conf
  : > /tmp/events
  export NVRAM_FILE=/etc/nvram.conf
  {
    printf '%s\n' "OP_Mode=$op" "wanConnectionMode=$type" SystemName=router RadioOff=0
    local t
    for t in pptp l2tp; do
      printf '%s\n' "wan_${t}_user=router" "wan_${t}_pass=s3cret" "wan_${t}_server=$ISP_ADDR" "wan_${t}_opmode=KeepAlive" \
        "wan_${t}_optime=60" "wan_${t}_ip=10.8.0.2" "wan_${t}_netmask=255.255.255.0" "wan_${t}_gateway=$ISP_ADDR" \
        "wan_${t}_wanip_mode=1"
    done
    printf '%s\n' "$@"
  } > /etc/nvram.conf.new
  mv -f /etc/nvram.conf.new /etc/nvram.conf
  # bash as the namespace's first process reaps the daemons the watcher's
  # shell left behind.
  PATH=/tmp/w:$LAB_BIN:$PATH ASAN_OPTIONS=detect_leaks=0 unshare -p -f -m --mount-proc \
    bash -c 'wanwatch & wait' > /tmp/wanwatch.log 2>&1 &
  ROUTER_UNSHARE=$!
  local child=""
  wait_until 10 "wanwatch started" eval 'child=$(pgrep -P "$ROUTER_UNSHARE" | head -n 1); [ -n "$child" ]'
  ROUTER_PROC=/proc/$child/root/proc
  wait_until 20 "wanwatch ticking" eval '[ "$(ticks)" -ge 2 ]'
}

# ticks_to_redial N: the ticks from the last one whose redial check saw the
# session to the Nth dial.
ticks_to_redial() {
  awk '$1 == "tick" { n++ } $0 == "session 1" { n = 0 } $1 == "dial" { d++ } d == '"$1"' { print n; exit }' /tmp/events
}

# events_since LINE: the events after the first LINE lines.
events_since() { tail -n +$(($1 + 1)) /tmp/events; }
event_count() { wc -l < /tmp/events; }

# rig_down: the router's processes (with the first process of their pid
# namespace), the ISP's and its namespace, the WAN port and the files the
# case left, so that the next case of the same box starts clean.
rig_down() {
  [ -z "${ROUTER_UNSHARE:-}" ] || { kill -KILL "$ROUTER_UNSHARE" $(pgrep -P "$ROUTER_UNSHARE") 2>/dev/null; wait "$ROUTER_UNSHARE" 2>/dev/null; }
  local pid
  for pid in $(ip netns pids isp 2>/dev/null); do kill -KILL "$pid" 2>/dev/null; done
  ip netns del isp 2>/dev/null
  ip link del "$WAN_IF" 2>/dev/null
  [ ! -f /tmp/syslogd.pid ] || kill "$(cat /tmp/syslogd.pid)" 2>/dev/null
  rm -f /etc/link /var/physical_wanIf_gw /etc/options.pptp /etc/options.l2tp /tmp/events /tmp/syslogd.pid
  return 0
}
