#!/usr/bin/env bash
# A full build with all eight user rules enabled, echoed line for line, and
# records that must never reach the shell.
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/qos.bash"

conf="$(gateway_conf 1)
$EIGHT_USER_RULES"
store <<< "$conf"

tab=$(printf '\t')
expected="$(run_head 1 0)
vx_qos: VX debug: vx_cmd_level=1
$RESET_ECHO
$GATEWAY_SPEEDS
tc qdisc  add dev eth2.2 root handle 1:0 htb
tc class  add dev eth2.2 parent 1:   classid 1:1 htb rate 2048kbit ceil 2048kbit
tc class  add dev eth2.2 parent 1:1 classid 1:2 htb rate 10kbit ceil 2048kbit prio 1
tc class  add dev eth2.2 parent 1:1 classid 1:4 htb rate 10kbit  ceil 2048kbit prio 4
tc qdisc  add dev eth2.2 parent 1:2 handle 12: sfq perturb 5
tc qdisc  add dev eth2.2 parent 1:4 handle 14: sfq perturb 10
tc filter add dev eth2.2 parent 1:0 protocol ip prio 1  handle 2 fw classid 1:2
tc filter add dev eth2.2 parent 1:0 protocol ip prio 4  handle 4 fw classid 1:4
tc qdisc  add dev br0 root handle 3:0 htb
tc class  add dev br0 parent 3:   classid 3:1 htb rate 8192kbit ceil 8192kbit
tc class  add dev br0 parent 3:1 classid 3:2 htb rate 10kbit ceil 8192kbit prio 1
tc class  add dev br0 parent 3:1 classid 3:4 htb rate 10kbit  ceil 8192kbit prio 4
tc qdisc  add dev br0 parent 3:2 handle 12: sfq perturb 5
tc qdisc  add dev br0 parent 3:4 handle 14: sfq perturb 10
tc filter add dev br0 parent 3:0 protocol ip prio 1  handle 2 fw classid 3:2
tc filter add dev br0 parent 3:0 protocol ip prio 4  handle 4 fw classid 3:4
vx_qos: Init Default QoS Rules...
iptables -t mangle -A PREROUTING   -s 192.168.1.1/255.255.255.0 -d 192.168.1.1/255.255.255.0 -j RETURN
iptables -t mangle -A POSTROUTING  -s 192.168.1.1/255.255.255.0 -d 192.168.1.1/255.255.255.0 -j RETURN
iptables -t mangle -A PREROUTING   -p udp -s 192.168.1.1 -d 239.255.255.250 --dport 1900 -j RETURN
iptables -t mangle -A POSTROUTING  -p udp -s 192.168.1.1 -d 239.255.255.250 --dport 1900 -j RETURN
iptables -t mangle -A FORWARD  -p tcp -m length --length :128 -m tcp --tcp-flags SYN,RST,ACK ACK -j MARK --set-mark 2
iptables -t mangle -A FORWARD  -p tcp -m length --length :128 -m tcp --tcp-flags SYN,RST,ACK ACK -j RETURN
iptables -t mangle -A POSTROUTING  -p tcp -m length --length :128 -m tcp --tcp-flags SYN,RST,ACK ACK -j MARK --set-mark 2
iptables -t mangle -A POSTROUTING  -p tcp -m length --length :128 -m tcp --tcp-flags SYN,RST,ACK ACK -j RETURN
iptables -t mangle -A FORWARD -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j MARK --set-mark 2
iptables -t mangle -A FORWARD -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j RETURN
iptables -t mangle -A POSTROUTING -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j MARK --set-mark 2
iptables -t mangle -A POSTROUTING -p tcp -m tcp --tcp-flags SYN,RST,ACK SYN -j RETURN
iptables -t mangle -A FORWARD -p icmp -m length --length :128 -j MARK --set-mark 2
iptables -t mangle -A FORWARD -p icmp -m length --length :128 -j RETURN
iptables -t mangle -A POSTROUTING -p icmp -m length --length :128 -j MARK --set-mark 2
iptables -t mangle -A POSTROUTING -p icmp -m length --length :128 -j RETURN
iptables -t mangle -A POSTROUTING ${tab}-p udp --dport 53 -j MARK --set-mark 2
iptables -t mangle -A POSTROUTING ${tab}-p udp --dport 53 -j RETURN
iptables -t mangle -A PREROUTING -j MARK --set-mark 4
vx_qos: ###Setting APPLICATION end...
vx_qos: user rule 0 enabled!!
vx_qos: To WAN 
iptables -t mangle -A POSTROUTING -o eth2.2 -p tcp  --dport 80:80   -j MARK --set-mark 70
iptables -t mangle -A POSTROUTING -o eth2.2 -p tcp  --dport 80:80   -j RETURN
tc class add dev eth2.2 parent 1:1 classid 1:70 htb rate 500kbit ceil 2048kbit prio 4
tc qdisc  add dev eth2.2 parent 1:70 handle 170: sfq perturb 10
tc filter add dev eth2.2 parent 1:0 protocol ip prio 4 handle 70 fw classid 1:70
vx_qos: user rule 1 enabled!!
vx_qos: To LAN 
iptables -t mangle -A POSTROUTING -o br0 -p udp --sport 5000:5100    -j MARK --set-mark 81
iptables -t mangle -A POSTROUTING -o br0 -p udp --sport 5000:5100    -j RETURN
tc class add dev br0 parent 3:1 classid 3:81 htb rate 10kbit ceil 4000kbit prio 6
tc qdisc add dev br0 parent 3:81 handle 181: sfq perturb 10
tc filter  add dev br0 parent 3:0 protocol ip prio 6 handle 81 fw classid 3:81
vx_qos: user rule 2 enabled!!
vx_qos: To WAN 
iptables -t mangle -A POSTROUTING -o eth2.2 -p icmp    -m iprange --dst-range 203.0.113.7-203.0.113.7 -j MARK --set-mark 72
iptables -t mangle -A POSTROUTING -o eth2.2 -p icmp    -m iprange --dst-range 203.0.113.7-203.0.113.7 -j RETURN
tc class add dev eth2.2 parent 1:1 classid 1:72 htb rate 10kbit ceil 2048kbit prio 6
tc qdisc  add dev eth2.2 parent 1:72 handle 172: sfq perturb 10
tc filter add dev eth2.2 parent 1:0 protocol ip prio 6 handle 72 fw classid 1:72
vx_qos: user rule 3 enabled!!
vx_qos: To LAN 
iptables -t mangle -A POSTROUTING -o br0 -p tcp   -m iprange --src-range 192.168.1.100-192.168.1.120  -j MARK --set-mark 83
iptables -t mangle -A POSTROUTING -o br0 -p tcp   -m iprange --src-range 192.168.1.100-192.168.1.120  -j RETURN
tc class add dev br0 parent 3:1 classid 3:83 htb rate 2000kbit ceil 8192kbit prio 2
tc qdisc add dev br0 parent 3:83 handle 183: sfq perturb 10
tc filter  add dev br0 parent 3:0 protocol ip prio 2 handle 83 fw classid 3:83
vx_qos: user rule 4 enabled!!
vx_qos: To WAN 
iptables -t mangle -A POSTROUTING -o eth2.2 -p 47    -m iprange --dst-range 10.1.0.0-10.1.255.255 -j MARK --set-mark 74
iptables -t mangle -A POSTROUTING -o eth2.2 -p 47    -m iprange --dst-range 10.1.0.0-10.1.255.255 -j RETURN
tc class add dev eth2.2 parent 1:1 classid 1:74 htb rate 10kbit ceil 10kbit prio 2
tc qdisc  add dev eth2.2 parent 1:74 handle 174: sfq perturb 10
tc filter add dev eth2.2 parent 1:0 protocol ip prio 2 handle 74 fw classid 1:74
vx_qos: user rule 5 enabled!!
vx_qos: To LAN 
iptables -t mangle -A POSTROUTING -o br0 -p udp  --dport 53:53   -j MARK --set-mark 85
iptables -t mangle -A POSTROUTING -o br0 -p udp  --dport 53:53   -j RETURN
tc class add dev br0 parent 3:1 classid 3:85 htb rate 10kbit ceil 8192kbit prio 2
tc qdisc add dev br0 parent 3:85 handle 185: sfq perturb 10
tc filter  add dev br0 parent 3:0 protocol ip prio 2 handle 85 fw classid 3:85
vx_qos: user rule 6 enabled!!
vx_qos: To WAN 
iptables -t mangle -A POSTROUTING -o eth2.2 -p tcp --sport 1024:65535 --dport 6881:6889 -m iprange --src-range 192.168.1.50-192.168.1.50  -j MARK --set-mark 76
iptables -t mangle -A POSTROUTING -o eth2.2 -p tcp --sport 1024:65535 --dport 6881:6889 -m iprange --src-range 192.168.1.50-192.168.1.50  -j RETURN
tc class add dev eth2.2 parent 1:1 classid 1:76 htb rate 10kbit ceil 51200kbit prio 2
tc qdisc  add dev eth2.2 parent 1:76 handle 176: sfq perturb 10
tc filter add dev eth2.2 parent 1:0 protocol ip prio 2 handle 76 fw classid 1:76
vx_qos: user rule 7 enabled!!
vx_qos: To LAN 
iptables -t mangle -A POSTROUTING -o br0 -p tcp  --dport 443:443  -m iprange --dst-range 203.0.113.34-203.0.113.34 -j MARK --set-mark 87
iptables -t mangle -A POSTROUTING -o br0 -p tcp  --dport 443:443  -m iprange --dst-range 203.0.113.34-203.0.113.34 -j RETURN
tc class add dev br0 parent 3:1 classid 3:87 htb rate 10kbit ceil 8192kbit prio 2
tc qdisc add dev br0 parent 3:87 handle 187: sfq perturb 10
tc filter  add dev br0 parent 3:0 protocol ip prio 2 handle 87 fw classid 3:87
vx_qos: ###Setting USER RULE end...
VX : === End of setting QoS === "

reset_log
full=$(vx_qos 1)
check "full build with eight user rules, echoed" "$full" "$expected"
ran="$(logged tc | wc -l) $(logged iptables | wc -l)"
check "every echoed command was run" "$ran" \
  "$(printf '%s\n' "$full" | grep -c '^tc ') $(printf '%s\n' "$full" | grep -c '^iptables ')"
[ ! -e /var/vx_qos.pid ] || fail "pid file left behind"

# Without the argument nothing is echoed, and the same commands run.
reset_log
out=$(vx_qos | grep -c -E '^(tc|iptables) ')
check "no echo without argument 1" "$out" 0
check "same commands without echo" "$(logged tc | wc -l) $(logged iptables | wc -l)" "$ran"

# Records and LAN settings that would put shell syntax into a command line are
# refused with one message each; the other rules are still built.
printf '%s\n%s\n' "$conf" 'lan_ipaddr=192.168.1.1$(touch /tmp/pwned)
QoSUserRules1=1,0,x,1,0,4000,,,,,,,1,0,0.0.0.0,0.0.0.0,0,0,`touch /tmp/pwned`,1.2.3.4,0,0
QoSUserRules2=1,1,x,2,0,100,,,,,,,0,0,0.0.0.0,0.0.0.0,80;touch /tmp/pwned,80,0.0.0.0,0.0.0.0,0,0
QoSUserRules3=1,1,x,4,0,100
QoSUserRules4=1,1,x,4,0,100,,,,,,,2,999
QoSUserRules7=1,0,Web,3,0,100,,,,,,,0,0,010.001.0.1,010.001.0.9,0,0,0.0.0.0,0.0.0.0,0,0' | store
reset_log
out=$(vx_qos)
check_contains "bad LAN address refused" "$out" "vx_qos: LAN exemption rules skipped: lan_ipaddr is not a dotted address"
check_contains "bad source address refused" "$out" "vx_qos: user rule 1 enabled!!
vx_qos: user rule 1 skipped: field 18 is not a dotted address
vx_qos: user rule 2 enabled!!
vx_qos: user rule 2 skipped: field 16 is longer than 7 characters
vx_qos: user rule 3 enabled!!
vx_qos: user rule 3 skipped: record ends before field 12
vx_qos: user rule 4 enabled!!
vx_qos: user rule 4 skipped: field 13 is not a protocol number 0 to 255
vx_qos: user rule 5 enabled!!"
# iptables would read a leading zero as octal: 010.001.0.1 is 8.1.0.1.
check_contains "leading-zero address refused" "$out" "vx_qos: user rule 7 enabled!!
vx_qos: user rule 7 skipped: field 14 is not a dotted address"
[ ! -e /tmp/pwned ] || fail "a configuration value was run by the shell"
grep -q pwned "$STUB_LOG" && fail "a configuration value reached a tool"
check "rules 0, 5 and 6 still built" "$(logged iptables | grep -c '\[--set-mark\] \[[78][0-9]\]')" 3
