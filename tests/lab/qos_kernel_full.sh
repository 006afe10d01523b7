#!/usr/bin/env bash
# The full configuration (every application, every user rule, a port-mapping
# file for each service) in the IPv6 mode against the real tc, iptables and
# ip6tables: no line is refused (every sfq queue and fw filter of either
# family accepted); every rule of either family is accepted, in its chain,
# the IPv4 ones in order; every HTB class is present with its parent, rate,
# ceiling and priority. Built in batch mode: one command at a time, the
# build's some 500 commands take minutes under emulation; qos_kernel_trees
# builds in both modes, and the system test batch_kernel finds the same
# kernel state after either.
SANDBOX_KERNEL=1
QOS_BATCH=1
. "$(dirname "$0")/../system/lib.sh"
. "$(dirname "$0")/../system/qos/qos.bash"

{ cat "$SBX_PROJ/tools/bench/full.conf"; echo VX_QoSIPv6=1; } | store
full_port_files

vx_qos 1 > "$SBX_OUT/echo.txt" 2> "$SBX_OUT/errors.txt"
check_contains "full build ends" "$(cat "$SBX_OUT/echo.txt")" "VX : === End of setting QoS === "

# Nothing refused: the kernel has every queue, classifier and match asked for.
check "no refusal" "$(grep -vE '^Warning: sch_htb: quantum of class [0-9]+ is small\. Consider r2q change\.$' "$SBX_OUT/errors.txt")" ""

# Every rule issued is in its table: per family and chain, as many rules as appended.
for family in iptables ip6tables; do
  issued=$(grep -E "^$family -t mangle -A " "$SBX_OUT/echo.txt" | awk '{print $5}' | sort | uniq -c)
  held=$($family -t mangle -S | grep '^-A ' | awk '{print $2}' | sort | uniq -c)
  check "$family rules per chain" "$held" "$issued"
done

# And in the order they were issued, as the kernel reports them.
check "mangle table" "$(iptables -t mangle -S)" "$MANGLE_POLICIES
-N qos_bt_chain
-N qos_emule_chain
-N qos_ftp_chain
-N qos_im_chain
-N qos_voip_chain
$MANGLE_PREROUTING_DEFAULTS
$MANGLE_FORWARD_DEFAULTS
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
$MANGLE_POSTROUTING_DEFAULTS
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
# ceiling, read back in the kernel's own units.
issued_classes=$(awk '$1 == "tc" && $2 == "class" && $3 == "add" {
    parent = "root"; prio = "-"
    for (i = 4; i < NF; i++) {
      if ($i == "dev") dev = $(i+1); if ($i == "classid") id = $(i+1); if ($i == "prio") prio = $(i+1)
      if ($i == "parent" && $(i+1) !~ /:$/) parent = $(i+1)
      if ($i == "rate") rate = $(i+1) + 0; if ($i == "ceil") ceil = $(i+1) + 0
    }
    print dev, id, parent, prio, rate, ceil }' "$SBX_OUT/echo.txt" | sort)
check "classes issued" "$(wc -l <<< "$issued_classes")" 44
check "every class in its tree" "$(for dev in eth2.2 br0; do htb_classes "$dev" | sed "s/^/$dev /"; done | sort)" \
  "$issued_classes"

