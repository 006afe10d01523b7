# Shared part of the QoS system tests (sourced inside the sandbox after
# lib.sh): the sample router's settings, eight user rules, what every run
# prints first, the echo of the reset, and the kernel's view of the default
# rules and of the shaping classes.

# gateway_conf ENABLE [AUTO]: the store lines of a router in gateway mode with
# DHCP on its WAN port eth2.2, the LAN 192.168.1.1/24 on br0, 2 Mbit/s up and
# 8192 kbit/s down; VX_QoSEnable ENABLE, VX_QoSAutoClassify AUTO (default 0).
gateway_conf() {
  cat <<CONF
OP_Mode=0
OperationMode=1
wanConnectionMode=DHCP
lan_ipaddr=192.168.1.1
lan_netmask=255.255.255.0
VX_QoSEnable=$1
VX_QoSAutoClassify=${2:-0}
VX_QoSUploadBw=2M
VX_QoSDownloadBw=8192
CONF
}

# run_head ENABLE AUTO: the first lines of every run of that configuration.
run_head() {
  printf '%s\n' 'VX : === start running QoS ===  ' 'Gateway Mode' 'vx_qos: OP_MODE=0' 'vx_qos: WAN_IF=eth2.2' \
    'vx_qos: LAN_IF=br0' 'vx_qos: WLAN_IF=(null)' 'vx_qos: BR_IF=br0' "vx_qos: qosEnable=$1" \
    "vx_qos: qosAutoEnable=$2"
}

GATEWAY_SPEEDS='vx_qos: UPLINK_SPEED=2048
vx_qos: DOWNLINK_SPEED=8192'

# The reset of every run, as argument 1 echoes it.
RESET_ECHO='tc qdisc del dev ppp0   root 1>/dev/null 2>&1
tc qdisc del dev eth2.2 root 1>/dev/null 2>&1
tc qdisc del dev eth2.1 root 1>/dev/null 2>&1
tc qdisc del dev eth2   root 1>/dev/null 2>&1
tc qdisc del dev ra0    root 1>/dev/null 2>&1
tc qdisc del dev apcli0 root 1>/dev/null 2>&1
tc qdisc del dev br0    root 1>/dev/null 2>&1
iptables -F -t mangle
iptables -X -t mangle
iptables -Z -t mangle'

# as_logged: command lines (stdin) as the stubs log them, for lines that the
# shell splits at blanks alone: the redirection dropped, each argument in [].
as_logged() { sed -E 's/ +1>\/dev\/null 2>&1$//; s/[ \t]+/ /g; s/ ([^ ]+)/ [\1]/g'; }

# Eight enabled user rules, one of each kind of selector. Three disabled
# application entries set the levels the rules borrow: game 1, voip 2, media
# 7 (unknown, so the lowest priority); the other categories stay at 0.
EIGHT_USER_RULES='QoSAppRules3=1,0
QoSAppRules4=2,0
QoSAppRules5=7,0
QoSUserRules0=1,1,Gaming,0,1,500,a,b,c,d,e,f,0,0,0.0.0.0,0.0.0.0,80,80,0.0.0.0,0.0.0.0,0,0
QoSUserRules1=1,0,Voice,1,0,4000,,,,,,,1,0,0.0.0.0,0.0.0.0,0,0,0.0.0.0,0.0.0.0,5000,5100
QoSUserRules2=1,2,Ping,2,0,60000,,,,,,,2,1,203.0.113.7,203.0.113.7,0,0,0.0.0.0,0.0.0.0,0,0
QoSUserRules3=1,0,Media,3,1,2000,,,,,,,0,0,0.0.0.0,0.0.0.0,0,0,192.168.1.100,192.168.1.120,0,0
QoSUserRules4=1,1,Tunnel,4,0,5,,,,,,,2,47,10.1.0.0,10.1.255.255,0,0,0.0.0.0,0.0.0.0,0,0
QoSUserRules5=1,0,DNS,5,1,,,,,,,,1,,0.0.0.0,0.0.0.0,53,53,0.0.0.0,0.0.0.0,0,0
QoSUserRules6=1,1,P2P,4,0,51200,,,,,,,0,0,0.0.0.0,0.0.0.0,6881,6889,192.168.1.50,192.168.1.50,1024,65535
QoSUserRules7=1,0,Web,3,0,51201,,,,,,,0,0,203.0.113.34,203.0.113.34,443,443,0.0.0.0,0.0.0.0,0,0'

# The default rules as `iptables -t mangle -S` prints them, chain by chain
# (normal form: the subnet as a prefix, lengths 0:128, marks as --set-xmark).
MANGLE_POLICIES='-P PREROUTING ACCEPT
-P INPUT ACCEPT
-P FORWARD ACCEPT
-P OUTPUT ACCEPT
-P POSTROUTING ACCEPT'
MANGLE_PREROUTING_DEFAULTS='-A PREROUTING -s 192.168.1.0/24 -d 192.168.1.0/24 -j RETURN
-A PREROUTING -s 192.168.1.1/32 -d 239.255.255.250/32 -p udp -m udp --dport 1900 -j RETURN
-A PREROUTING -j MARK --set-xmark 0x4/0xffffffff'
MANGLE_FORWARD_DEFAULTS='-A FORWARD -p tcp -m length --length 0:128 -m tcp --tcp-flags SYN,RST,ACK ACK -j MARK --set-xmark 0x2/0xffffffff
-A FORWARD -p tcp -m length --length 0:128 -m tcp --tcp-flags SYN,RST,ACK ACK -j RETURN
-A FORWARD -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j MARK --set-xmark 0x2/0xffffffff
-A FORWARD -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j RETURN
-A FORWARD -p icmp -m length --length 0:128 -j MARK --set-xmark 0x2/0xffffffff
-A FORWARD -p icmp -m length --length 0:128 -j RETURN'
MANGLE_POSTROUTING_DEFAULTS='-A POSTROUTING -s 192.168.1.0/24 -d 192.168.1.0/24 -j RETURN
-A POSTROUTING -s 192.168.1.1/32 -d 239.255.255.250/32 -p udp -m udp --dport 1900 -j RETURN
-A POSTROUTING -p tcp -m length --length 0:128 -m tcp --tcp-flags SYN,RST,ACK ACK -j MARK --set-xmark 0x2/0xffffffff
-A POSTROUTING -p tcp -m length --length 0:128 -m tcp --tcp-flags SYN,RST,ACK ACK -j RETURN
-A POSTROUTING -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j MARK --set-xmark 0x2/0xffffffff
-A POSTROUTING -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j RETURN
-A POSTROUTING -p icmp -m length --length 0:128 -j MARK --set-xmark 0x2/0xffffffff
-A POSTROUTING -p icmp -m length --length 0:128 -j RETURN
-A POSTROUTING -p udp -m udp --dport 53 -j MARK --set-xmark 0x2/0xffffffff
-A POSTROUTING -p udp -m udp --dport 53 -j RETURN'

# kbit RATE: tc's rate text (10Kbit, 4Mbit, 2048Kbit, 1500bit) in kbit/s.
kbit() {
  awk -v r="$1" 'BEGIN {
    n = r + 0; u = substr(r, length(n "") + 1)
    if (u == "bit") n /= 1000; else if (u == "Mbit") n *= 1000; else if (u == "Gbit") n *= 1000000
    printf "%d", n }'
}

# htb_classes DEV: one line per HTB class in the kernel, "classid parent prio
# rate ceil" (rates in kbit/s, "root" and "-" for the root class), by classid.
htb_classes() {
  tc class show dev "$1" | while read -r _ kind id rest; do
    [ "$kind" = htb ] || continue
    set -- $rest
    parent=root prio=- rate=? ceil=?
    while [ $# -gt 0 ]; do
      case "$1" in
        parent) parent=$2; shift ;;
        prio) prio=$2; shift ;;
        rate) rate=$(kbit "$2"); shift ;;
        ceil) ceil=$(kbit "$2"); shift ;;
      esac
      shift
    done
    echo "$id $parent $prio $rate $ceil"
  done | sort -t: -k1,1n -k2,2n
}

# full_port_files (for tools/bench/full.conf): tools/bench/full_ports.sh.
. "$SBX_PROJ/tools/bench/full_ports.sh"

# QOS_BATCH=1 (set by the test runner for the second run of every QoS test)
# runs the same script with batch mode on: every store it writes gets
# VX_QoSBatch=1, and the transcripts must come out the same.
if [ "${QOS_BATCH:-0}" = 1 ]; then
  store() { { cat; echo VX_QoSBatch=1; } > /etc/nvram.conf; }
fi
