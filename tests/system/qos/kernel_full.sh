#!/usr/bin/env bash
# The full configuration (every application, every user rule, a port-mapping
# file for each service) against the real tc and iptables: every iptables rule
# is accepted, in order, in its chain, and every HTB class is present with its
# parent, rate, ceiling and priority.
SANDBOX_KERNEL=1
. "$(dirname "$0")/../lib.sh"

store < "$SBX_PROJ/tools/bench/full.conf"
printf 'tcp,192.168.1.10,6881\nudp,192.168.1.10,6881\n' > /var/bittorrent
printf 'udp,192.168.1.21,4672\n' > /var/emule
printf 'tcp,192.168.1.22,6891\n' > /var/im
printf 'tcp,192.168.1.23,990:999\n' > /var/ftp
printf 'udp,192.168.1.25,5062\n' > /var/voip

vx_qos 1 > "$SBX_OUT/echo.txt" 2> "$SBX_OUT/errors.txt"
check_contains "full build ends" "$(cat "$SBX_OUT/echo.txt")" "VX : === End of setting QoS === "

# This kernel has neither the sfq queue nor the fw classifier: tc refuses
# those lines, and their checks are left out. Nothing else may be refused.
echo "skip: sfq queues and fw filters (not in this kernel)"
check "no refusal but sfq and fw" "$(grep -vE '^(Error: Specified qdisc kind is unknown\.|Error: TC classifier not found\.|We have an error talking to the kernel|Warning: sch_htb: quantum of class [0-9]+ is small\. Consider r2q change\.)$' "$SBX_OUT/errors.txt")" ""

# Every rule issued is in the table: per chain, as many rules as appended.
issued=$(grep -E '^iptables -t mangle -A ' "$SBX_OUT/echo.txt" | awk '{print $5}' | sort | uniq -c)
held=$(iptables -t mangle -S | grep '^-A ' | awk '{print $2}' | sort | uniq -c)
check "rules per chain" "$held" "$issued"

# And in the order they were issued, as the kernel reports them.
check "mangle table" "$(iptables -t mangle -S)" "-P PREROUTING ACCEPT
-P INPUT ACCEPT
-P FORWARD ACCEPT
-P OUTPUT ACCEPT
-P POSTROUTING ACCEPT
-N qos_bt_chain
-N qos_emule_chain
-N qos_ftp_chain
-N qos_im_chain
-N qos_voip_chain
-A PREROUTING -s 192.168.1.0/24 -d 192.168.1.0/24 -j RETURN
-A PREROUTING -s 192.168.1.1/32 -d 239.255.255.250/32 -p udp -m udp --dport 1900 -j RETURN
-A PREROUTING -j MARK --set-xmark 0x4/0xffffffff
-A FORWARD -p tcp -m length --length 0:128 -m tcp --tcp-flags SYN,RST,ACK ACK -j MARK --set-xmark 0x2/0xffffffff
-A FORWARD -p tcp -m length --length 0:128 -m tcp --tcp-flags SYN,RST,ACK ACK -j RETURN
-A FORWARD -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j MARK --set-xmark 0x2/0xffffffff
-A FORWARD -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j RETURN
-A FORWARD -p icmp -m length --length 0:128 -j MARK --set-xmark 0x2/0xffffffff
-A FORWARD -p icmp -m length --length 0:128 -j RETURN
-A FORWARD -o br0 -p tcp -m multiport --sports 3074,3390,3932,5555 -j MARK --set-xmark 0x8/0xffffffff
-A FORWARD -o br0 -p tcp -m multiport --sports 3074,3390,3932,5555 -j RETURN
-A FORWARD -o br0 -p udp -m multiport --sports 88,1900,3074,3776,3777 -j MARK --set-xmark 0xc/0xffffffff
-A FORWARD -o br0 -p udp -m multiport --sports 88,1900,3074,3776,3777 -j RETURN
-A FORWARD -o eth2.2 -p tcp -m multiport --dports 3074,3390,3932,5555 -j MARK --set-xmark 0x8/0xffffffff
-A FORWARD -o eth2.2 -p tcp -m multiport --dports 3074,3390,3932,5555 -j RETURN
-A FORWARD -o eth2.2 -p udp -m multiport --dports 88,1900,3074,3776,3777 -j MARK --set-xmark 0xc/0xffffffff
-A FORWARD -o eth2.2 -p udp -m multiport --dports 88,1900,3074,3776,3777 -j RETURN
-A FORWARD -o br0 -p tcp -m tcp --sport 5223 -j MARK --set-xmark 0x10/0xffffffff
-A FORWARD -o br0 -p tcp -m tcp --sport 5223 -j RETURN
-A FORWARD -o br0 -p udp -m multiport --sports 3478,3479,3658,4658 -j MARK --set-xmark 0x14/0xffffffff
-A FORWARD -o br0 -p udp -m multiport --sports 3478,3479,3658,4658 -j RETURN
-A FORWARD -o eth2.2 -p tcp -m tcp --dport 5223 -j MARK --set-xmark 0x10/0xffffffff
-A FORWARD -o eth2.2 -p tcp -m tcp --dport 5223 -j RETURN
-A FORWARD -o eth2.2 -p udp -m multiport --dports 3478,3479,3658,4658 -j MARK --set-xmark 0x14/0xffffffff
-A FORWARD -o eth2.2 -p udp -m multiport --dports 3478,3479,3658,4658 -j RETURN
-A FORWARD -o br0 -p tcp -m tcp --sport 6667 -j MARK --set-xmark 0x18/0xffffffff
-A FORWARD -o br0 -p tcp -m tcp --sport 6667 -j RETURN
-A FORWARD -o br0 -p tcp -m tcp --sport 28800:29000 -j MARK --set-xmark 0x18/0xffffffff
-A FORWARD -o br0 -p tcp -m tcp --sport 28800:29000 -j RETURN
-A FORWARD -o br0 -p udp -m multiport --sports 6667 -j MARK --set-xmark 0x1c/0xffffffff
-A FORWARD -o br0 -p udp -m multiport --sports 6667 -j RETURN
-A FORWARD -o br0 -p udp -m udp --sport 28800:29000 -j MARK --set-xmark 0x1c/0xffffffff
-A FORWARD -o br0 -p udp -m udp --sport 28800:29000 -j RETURN
-A FORWARD -o eth2.2 -p tcp -m tcp --dport 6667 -j MARK --set-xmark 0x18/0xffffffff
-A FORWARD -o eth2.2 -p tcp -m tcp --dport 6667 -j RETURN
-A FORWARD -o eth2.2 -p tcp -m tcp --sport 28800:29000 -j MARK --set-xmark 0x18/0xffffffff
-A FORWARD -o eth2.2 -p tcp -m tcp --sport 28800:29000 -j RETURN
-A FORWARD -o eth2.2 -p udp -m multiport --dports 6667 -j MARK --set-xmark 0x1c/0xffffffff
-A FORWARD -o eth2.2 -p udp -m multiport --dports 6667 -j RETURN
-A FORWARD -o eth2.2 -p udp -m udp --dport 28800:29000 -j MARK --set-xmark 0x1c/0xffffffff
-A FORWARD -o eth2.2 -p udp -m udp --dport 28800:29000 -j RETURN
-A FORWARD -o br0 -p tcp -m multiport --sports 40,112,3724,6112,4000 -j MARK --set-xmark 0x20/0xffffffff
-A FORWARD -o br0 -p tcp -m multiport --sports 40,112,3724,6112,4000 -j RETURN
-A FORWARD -o br0 -p tcp -m tcp --sport 6113:6119 -j MARK --set-xmark 0x20/0xffffffff
-A FORWARD -o br0 -p tcp -m tcp --sport 6113:6119 -j RETURN
-A FORWARD -o eth2.2 -p tcp -m multiport --dports 40,112,3724,6112,4000 -j MARK --set-xmark 0x20/0xffffffff
-A FORWARD -o eth2.2 -p tcp -m multiport --dports 40,112,3724,6112,4000 -j RETURN
-A FORWARD -o eth2.2 -p tcp -m tcp --sport 6113:9119 -j MARK --set-xmark 0x20/0xffffffff
-A FORWARD -o eth2.2 -p tcp -m tcp --sport 6113:9119 -j RETURN
-A FORWARD -j qos_voip_chain
-A FORWARD -j qos_im_chain
-A FORWARD -o br0 -p tcp -m multiport --sports 80,443 -j MARK --set-xmark 0x2c/0xffffffff
-A FORWARD -o br0 -p tcp -m multiport --sports 80,443 -j RETURN
-A FORWARD -o eth2.2 -p tcp -m multiport --dports 80,443 -j MARK --set-xmark 0x2c/0xffffffff
-A FORWARD -o eth2.2 -p tcp -m multiport --dports 80,443 -j RETURN
-A FORWARD -j qos_ftp_chain
-A FORWARD -j qos_emule_chain
-A FORWARD -j qos_bt_chain
-A FORWARD -o br0 -p tcp -m tcp --sport 110 -j MARK --set-xmark 0x3c/0xffffffff
-A FORWARD -o br0 -p tcp -m tcp --sport 110 -j RETURN
-A FORWARD -o eth2.2 -p tcp -m tcp --dport 25 -j MARK --set-xmark 0x3d/0xffffffff
-A FORWARD -o eth2.2 -p tcp -m tcp --dport 25 -j RETURN
-A POSTROUTING -s 192.168.1.0/24 -d 192.168.1.0/24 -j RETURN
-A POSTROUTING -s 192.168.1.1/32 -d 239.255.255.250/32 -p udp -m udp --dport 1900 -j RETURN
-A POSTROUTING -p tcp -m length --length 0:128 -m tcp --tcp-flags SYN,RST,ACK ACK -j MARK --set-xmark 0x2/0xffffffff
-A POSTROUTING -p tcp -m length --length 0:128 -m tcp --tcp-flags SYN,RST,ACK ACK -j RETURN
-A POSTROUTING -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j MARK --set-xmark 0x2/0xffffffff
-A POSTROUTING -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j RETURN
-A POSTROUTING -p icmp -m length --length 0:128 -j MARK --set-xmark 0x2/0xffffffff
-A POSTROUTING -p icmp -m length --length 0:128 -j RETURN
-A POSTROUTING -p udp -m udp --dport 53 -j MARK --set-xmark 0x2/0xffffffff
-A POSTROUTING -p udp -m udp --dport 53 -j RETURN
-A POSTROUTING -o eth2.2 -p udp -m udp --dport 3074 -j MARK --set-xmark 0x46/0xffffffff
-A POSTROUTING -o eth2.2 -p udp -m udp --dport 3074 -j RETURN
-A POSTROUTING -o br0 -p tcp -m tcp --sport 443 -j MARK --set-xmark 0x51/0xffffffff
-A POSTROUTING -o br0 -p tcp -m tcp --sport 443 -j RETURN
-A POSTROUTING -o eth2.2 -p tcp -m iprange --src-range 192.168.1.50-192.168.1.50 -j MARK --set-xmark 0x48/0xffffffff
-A POSTROUTING -o eth2.2 -p tcp -m iprange --src-range 192.168.1.50-192.168.1.50 -j RETURN
-A POSTROUTING -o eth2.2 -p tcp -m tcp --dport 22 -j MARK --set-xmark 0x49/0xffffffff
-A POSTROUTING -o eth2.2 -p tcp -m tcp --dport 22 -j RETURN
-A POSTROUTING -o eth2.2 -p icmp -m iprange --src-range 192.168.1.100-192.168.1.199 -j MARK --set-xmark 0x4a/0xffffffff
-A POSTROUTING -o eth2.2 -p icmp -m iprange --src-range 192.168.1.100-192.168.1.199 -j RETURN
-A POSTROUTING -o eth2.2 -p gre -m iprange --dst-range 10.0.0.1-10.0.0.9 -j MARK --set-xmark 0x4b/0xffffffff
-A POSTROUTING -o eth2.2 -p gre -m iprange --dst-range 10.0.0.1-10.0.0.9 -j RETURN
-A POSTROUTING -o br0 -p tcp -m tcp --sport 5000:5001 -m iprange --dst-range 192.168.1.20-192.168.1.29 -j MARK --set-xmark 0x56/0xffffffff
-A POSTROUTING -o br0 -p tcp -m tcp --sport 5000:5001 -m iprange --dst-range 192.168.1.20-192.168.1.29 -j RETURN
-A POSTROUTING -o eth2.2 -p udp -m udp --sport 1024:65535 --dport 53 -m iprange --src-range 192.168.1.2-192.168.1.254 -j MARK --set-xmark 0x4d/0xffffffff
-A POSTROUTING -o eth2.2 -p udp -m udp --sport 1024:65535 --dport 53 -m iprange --src-range 192.168.1.2-192.168.1.254 -j RETURN
-A qos_bt_chain -o br0 -p tcp -m tcp --dport 6881 -j MARK --set-xmark 0x38/0xffffffff
-A qos_bt_chain -o br0 -p tcp -m tcp --dport 6881 -j RETURN
-A qos_bt_chain -o br0 -p udp -m udp --dport 6881 -j MARK --set-xmark 0x38/0xffffffff
-A qos_bt_chain -o br0 -p udp -m udp --dport 6881 -j RETURN
-A qos_bt_chain -o eth2.2 -p tcp -m tcp --sport 6881 -j MARK --set-xmark 0x38/0xffffffff
-A qos_bt_chain -o eth2.2 -p tcp -m tcp --sport 6881 -j RETURN
-A qos_bt_chain -o eth2.2 -p udp -m udp --sport 6881 -j MARK --set-xmark 0x38/0xffffffff
-A qos_bt_chain -o eth2.2 -p udp -m udp --sport 6881 -j RETURN
-A qos_emule_chain -o br0 -p udp -m udp --dport 4672 -j MARK --set-xmark 0x34/0xffffffff
-A qos_emule_chain -o br0 -p udp -m udp --dport 4672 -j RETURN
-A qos_emule_chain -o eth2.2 -p udp -m udp --sport 4672 -j MARK --set-xmark 0x34/0xffffffff
-A qos_emule_chain -o eth2.2 -p udp -m udp --sport 4672 -j RETURN
-A qos_ftp_chain -o br0 -p tcp -m tcp --dport 990:999 -j MARK --set-xmark 0x30/0xffffffff
-A qos_ftp_chain -o br0 -p tcp -m tcp --dport 990:999 -j RETURN
-A qos_ftp_chain -o eth2.2 -p tcp -m tcp --sport 990:999 -j MARK --set-xmark 0x30/0xffffffff
-A qos_ftp_chain -o eth2.2 -p tcp -m tcp --sport 990:999 -j RETURN
-A qos_im_chain -o br0 -p tcp -m tcp --sport 1863 -j MARK --set-xmark 0x28/0xffffffff
-A qos_im_chain -o br0 -p tcp -m tcp --sport 1863 -j RETURN
-A qos_im_chain -o br0 -p tcp -m tcp --sport 5050 -j MARK --set-xmark 0x28/0xffffffff
-A qos_im_chain -o br0 -p tcp -m tcp --sport 5050 -j RETURN
-A qos_im_chain -o br0 -p tcp -m tcp --dport 6891 -j MARK --set-xmark 0x28/0xffffffff
-A qos_im_chain -o br0 -p tcp -m tcp --dport 6891 -j RETURN
-A qos_im_chain -o eth2.2 -p tcp -m tcp --dport 1863 -j MARK --set-xmark 0x28/0xffffffff
-A qos_im_chain -o eth2.2 -p tcp -m tcp --dport 1863 -j RETURN
-A qos_im_chain -o eth2.2 -p tcp -m tcp --dport 5050 -j MARK --set-xmark 0x28/0xffffffff
-A qos_im_chain -o eth2.2 -p tcp -m tcp --dport 5050 -j RETURN
-A qos_im_chain -o eth2.2 -p tcp -m tcp --sport 6891 -j MARK --set-xmark 0x28/0xffffffff
-A qos_im_chain -o eth2.2 -p tcp -m tcp --sport 6891 -j RETURN
-A qos_voip_chain -o br0 -p tcp -m tcp --sport 5060 -j MARK --set-xmark 0x24/0xffffffff
-A qos_voip_chain -o br0 -p tcp -m tcp --sport 5060 -j RETURN
-A qos_voip_chain -o br0 -p udp -m udp --sport 5060 -j MARK --set-xmark 0x24/0xffffffff
-A qos_voip_chain -o br0 -p udp -m udp --sport 5060 -j RETURN
-A qos_voip_chain -o br0 -p udp -m udp --dport 5062 -j MARK --set-xmark 0x24/0xffffffff
-A qos_voip_chain -o br0 -p udp -m udp --dport 5062 -j RETURN
-A qos_voip_chain -o eth2.2 -p tcp -m tcp --dport 5060 -j MARK --set-xmark 0x24/0xffffffff
-A qos_voip_chain -o eth2.2 -p tcp -m tcp --dport 5060 -j RETURN
-A qos_voip_chain -o eth2.2 -p udp -m udp --dport 5060 -j MARK --set-xmark 0x24/0xffffffff
-A qos_voip_chain -o eth2.2 -p udp -m udp --dport 5060 -j RETURN
-A qos_voip_chain -o eth2.2 -p udp -m udp --sport 5062 -j MARK --set-xmark 0x24/0xffffffff
-A qos_voip_chain -o eth2.2 -p udp -m udp --sport 5062 -j RETURN"

# Every class issued is in its tree, with its parent, priority, rate and
# ceiling (tc reports rates in its own units: 1Mbit for 1000kbit).
classes() {
  python3 - "$@" <<'PY'
import re, subprocess, sys
units = {"bit": 1, "Kbit": 1000, "Mbit": 1000**2, "Gbit": 1000**3}
def bits(text):
    m = re.fullmatch(r"(\d+)(bit|Kbit|Mbit|Gbit)", text)
    return int(m.group(1)) * units[m.group(2)]
rows = set()
if sys.argv[1] == "issued":
    for line in open(sys.argv[2]):
        w = line.split()
        if w[:3] != ["tc", "class", "add"]:
            continue
        dev = w[w.index("dev") + 1]
        cls = w[w.index("classid") + 1]
        parent = w[w.index("parent") + 1].rstrip(":")
        rate = int(w[w.index("rate") + 1][:-4]) * 1000
        ceil = int(w[w.index("ceil") + 1][:-4]) * 1000
        prio = w[w.index("prio") + 1] if "prio" in w else "-"
        rows.add(f"{dev} {cls} parent {parent if parent.count(':') else 'root'} prio {prio} rate {rate} ceil {ceil}")
else:
    for dev in ("eth2.2", "br0"):
        out = subprocess.run(["tc", "class", "show", "dev", dev], capture_output=True, text=True).stdout
        for line in out.splitlines():
            w = line.split()
            cls = w[2]
            parent = w[w.index("parent") + 1] if "parent" in w else "root"
            prio = w[w.index("prio") + 1] if "prio" in w else "-"
            rows.add(f"{dev} {cls} parent {parent} prio {prio} rate {bits(w[w.index('rate') + 1])} ceil {bits(w[w.index('ceil') + 1])}")
print("\n".join(sorted(rows)))
PY
}
issued_classes=$(classes issued "$SBX_OUT/echo.txt")
check "classes issued" "$(wc -l <<< "$issued_classes")" 44
check "every class in its tree" "$(classes held)" "$issued_classes"
