#!/usr/bin/env bash
# Devices asked for by name: found however many HTB trees stand before them;
# a name's control and non-ASCII bytes come back byte for byte as \u00XX in
# JSON and as '?' in the text; a report that cannot be written fails.
SANDBOX_KERNEL=1
. "$(dirname "$0")/../lib.sh"

for i in $(seq 1 20); do
  ip link add "q$i" type veth peer name "p$i"
  tc qdisc add dev "q$i" root handle 1: htb
done
check "the twentieth tree, named" "$(qosstat q20 | head -n 1)" "q20: WAN HTB tree 1:"

odd=$'\xe9t\x01h'
ip link add "$odd" type veth peer name podd || fail "no device named with odd bytes"
tc qdisc add dev "$odd" root handle 5: htb
check "text" "$(qosstat "$odd" | head -n 1)" "?t?h: WLAN HTB tree 5:"
check "JSON" "$(qosstat --json "$odd" | python3 -c 'import json, sys; print(json.load(sys.stdin)["devices"][0]["device"].encode("latin-1").hex())')" \
  "$(printf '%s' "$odd" | od -An -tx1 | tr -d ' \n')"

qosstat q1 > /dev/full 2> "$SBX_OUT/err.txt"
check "a failed write: status" "$?" 1
check "a failed write: one line" "$(cat "$SBX_OUT/err.txt")" "qosstat: cannot write to standard output"
