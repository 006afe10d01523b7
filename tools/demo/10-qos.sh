#!/usr/bin/env bash
# Inside the sandbox: build the QoS set-up of the full configuration (every
# application, every user rule, a port-mapping file for each of the five
# services) and show what the kernel holds afterwards: the shaping trees drawn
# as trees and the mangle chains with their rules.
set -u
export NVRAM_FILE=$SBX_PROJ/tools/bench/full.conf
echo "### port-mapping files, as the UPnP and ALG components leave them"
printf 'tcp,192.168.1.10,6881\nudp,192.168.1.10,6881\n' > /var/bittorrent
printf 'udp,192.168.1.21,4672\n' > /var/emule
printf 'tcp,192.168.1.22,6891\n' > /var/im
printf 'tcp,192.168.1.23,990:999\ntcp,192.168.1.23,50000:50010\n' > /var/ftp
printf 'udp,192.168.1.25,5062\n' > /var/voip
for f in bittorrent emule im ftp voip; do sed "s#^#/var/$f: #" "/var/$f"; done
echo
echo "### vx_qos (full build of tools/bench/full.conf)"
vx_qos 2> "$SBX_OUT/qos-errors.txt"
echo "(tc refused $(grep -c 'Specified qdisc kind is unknown' "$SBX_OUT/qos-errors.txt") sfq queues and" \
  "$(grep -c 'TC classifier not found' "$SBX_OUT/qos-errors.txt") fw filters: this kernel has neither;" \
  "$(grep -vcE 'qdisc kind|classifier|talking to the kernel|quantum' "$SBX_OUT/qos-errors.txt") other errors)"
echo
echo "### shaping trees"
echo "(this kernel has no fw classifier, so no filter is installed: the mark shown for"
echo " each class is its minor number, which by the numbering plan is the mark its fw"
echo " filter selects and the digits of its SFQ queue handle 1<mark>:)"
python3 - <<'PY'
import re, subprocess

def kbit(text):
    m = re.fullmatch(r"(\d+)(bit|Kbit|Mbit|Gbit)", text)
    return int(m.group(1)) * {"bit": 1, "Kbit": 1000, "Mbit": 10**6, "Gbit": 10**9}[m.group(2)] // 1000

apps = ["xboxlive", "ps", "zone", "bnet", "voip", "im", "http", "ftp", "emule", "bittorrent"]
def meaning(mark):
    if mark == 2: return "default: high (ACK, SYN, ICMP, DNS)"
    if mark == 4: return "default: everything else"
    if mark == 60: return "email (pop3)"
    if mark == 61: return "email (smtp)"
    if 70 <= mark <= 77: return f"user rule {mark - 70}, towards the WAN"
    if 80 <= mark <= 87: return f"user rule {mark - 80}, towards the LAN"
    for i, base in enumerate([8, 16, 24]):
        if mark in (base, base + 4):
            return f"{apps[i]} {'tcp' if mark == base else 'udp'}"
    base = [32, 36, 40, 44, 48, 52, 56]
    if mark in base: return apps[3 + base.index(mark)]
    return "?"

for dev, handle, role in (("eth2.2", 1, "WAN"), ("br0", 3, "LAN")):
    out = subprocess.run(["tc", "class", "show", "dev", dev], capture_output=True, text=True).stdout
    classes = {}
    for line in out.splitlines():
        w = line.split()
        get = lambda k: w[w.index(k) + 1] if k in w else None
        classes[w[2]] = (get("parent"), get("prio"), kbit(get("rate")), kbit(get("ceil")))
    print(f"{dev} ({role}), HTB qdisc {handle}:0")
    def draw(cid, prefix, last):
        parent, prio, rate, ceil = classes[cid]
        minor = int(cid.split(":")[1])
        branch = "`-- " if last else "|-- "
        if parent is None:
            print(f"{prefix}{branch}{cid:<5} root        rate {rate:>5} kbit  ceil {ceil:>5} kbit")
        else:
            print(f"{prefix}{branch}{cid:<5} mark {minor:<3}    rate {rate:>5} kbit  ceil {ceil:>5} kbit  prio {prio}  {meaning(minor)}")
        kids = sorted((c for c, v in classes.items() if v[0] == cid), key=lambda c: int(c.split(":")[1]))
        for i, k in enumerate(kids):
            draw(k, prefix + ("    " if last else "|   "), i == len(kids) - 1)
    roots = [c for c, v in classes.items() if v[0] is None]
    for i, r in enumerate(roots):
        draw(r, "", i == len(roots) - 1)
    print()
PY
echo "### mangle chains (rules in the order they are evaluated; MARK n sets packet mark n)"
python3 - <<'PY'
import re, subprocess
out = subprocess.run(["iptables", "-t", "mangle", "-S"], capture_output=True, text=True).stdout
chains, order = {}, []
for line in out.splitlines():
    w = line.split(" ", 2)
    if w[0] in ("-P", "-N"):
        chains.setdefault(w[1], []); order.append(w[1]) if w[1] not in order else None
    elif w[0] == "-A":
        rule = re.sub(r"-j MARK --set-xmark 0x([0-9a-f]+)/0xffffffff", lambda m: f"-j MARK {int(m.group(1), 16)}", w[2])
        chains.setdefault(w[1], []).append(rule)
for name in order:
    rules = chains[name]
    if not rules:
        continue
    print(f"{name} ({len(rules)} rules)")
    for n, r in enumerate(rules, 1):
        print(f"  {n:3}  {r}")
    print()
PY

echo "### one command at a time or in one batch: the sample router (tools/demo/router.conf)"
# The real tools first on PATH, as on the router. The sample router has no
# application on, so no port-mapping files either.
rm -f /var/bittorrent /var/emule /var/im /var/ftp /var/voip
PATH=$(printf '%s' "$PATH" | sed "s#$SBX_PROJ/tools/stubs:##g")
grep -v '^VX_QoSBatch=' "$SBX_PROJ/tools/demo/router.conf" > /etc/router-single.conf
{ cat /etc/router-single.conf; echo VX_QoSBatch=1; } > /etc/router-batch.conf
for mode in single batch; do
  NVRAM_FILE=/etc/router-$mode.conf vx_qos > /dev/null 2>&1 # warm up the caches
  NVRAM_FILE=/etc/router-$mode.conf python3 "$SBX_PROJ/tools/bench/measure.py" "$mode" vx_qos 2> /dev/null
done > "$SBX_OUT/demo-runs.txt"
NVRAM_FILE=/etc/router-batch.conf vx_qos > /dev/null 2>&1
after_batch=$(iptables -t mangle -S; for d in eth2.2 br0; do tc class show dev "$d"; done)
NVRAM_FILE=/etc/router-single.conf vx_qos > /dev/null 2>&1
after_single=$(iptables -t mangle -S; for d in eth2.2 br0; do tc class show dev "$d"; done)
awk '{ for (i = 1; i <= NF; i++) { if ($i == "wall") w[$1] = $(i+1); if ($i == "started") p[$1] = $(i+1) } }
     END { printf "  one command at a time (VX_QoSBatch absent): %8.1f ms, %4d processes started\n", w["single:"], p["single:"]
           printf "  batch mode (VX_QoSBatch=1):                 %8.1f ms, %4d processes started\n", w["batch:"], p["batch:"]
           printf "  batch mode is %.0f times faster\n", w["single:"] / w["batch:"] }' "$SBX_OUT/demo-runs.txt"
if [ "$after_batch" = "$after_single" ]; then
  echo "  both modes leave the same rules and classes in the kernel"
else
  echo "  the two modes left different rules or classes (see a diff of iptables -t mangle -S)"
fi
echo "  The router should use batch mode (VX_QoSBatch=1): the mangle table goes from the old"
echo "  rules to the new ones in one commit instead of being flushed and half rebuilt for the"
echo "  whole build, and it starts four processes instead of a shell and a tool per command."
