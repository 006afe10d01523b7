# Sourced inside the sandbox by tools/bench/effect_run.sh, after
# tools/qos_lab.bash: the effect benchmark's modem, loads, probes and the
# record of what the kernel gave. Each load and each probe is one entry of a
# table below; a run starts one load and every probe.

# The ports the benchmark's rules name: UDP 5062 is mapped in /var/voip, TCP
# 51413-51420 in /var/bittorrent, TCP 4662 and UDP 4672 in /var/emule; UDP 3074
# is a game port (the xboxlive application, the Gaming user rule). No rule names
# UDP 45062, 45100, 27015, 24300 or 24301, nor TCP 41001-41020 or 42001, nor
# the ephemeral ports (32768-60999).

# effect_modem UP_KBIT DOWN_KBIT: the modem. Where the kernel has netem, it
# serialises each frame like a wire (a 1514-byte frame takes 5.6 ms at 2150
# kbit/s) and queues up to 800 ms of full-size frames; otherwise a token
# bucket with an 800 ms buffer and a two-frame burst (which hides a frame's
# wire time). With EFFECT_MODEM=dsl, netem serialises ATM cells instead: each
# frame plus 26 bytes cut into 48-byte cells of 53 bytes on the line (a
# 1514-byte frame 33 cells, 1749 bytes), and the buffer holds 800 ms of such
# full-size frames; the DSL modem needs netem. What was used goes to
# $EFFECT_FACTS/modem.
effect_modem() {
  local up=$1 down=$2 wire=1514 how=() cells up_limit down_limit
  case ${EFFECT_MODEM:-plain} in
    plain) ;;
    dsl) cells=$(((1514 + 26 + 47) / 48)) how=(26 48 5); wire=$((cells * 53)) ;;
    *) echo "effect_modem: no modem ${EFFECT_MODEM}" >&2; return 1 ;;
  esac
  up_limit=$(((up * 800 + wire * 8 - 1) / (wire * 8))) down_limit=$(((down * 800 + wire * 8 - 1) / (wire * 8)))
  if in_ns modem tc qdisc replace dev isp-m root netem rate "${up}kbit" "${how[@]}" limit "$up_limit" 2> /dev/null &&
     in_ns modem tc qdisc replace dev eth2.2-p root netem rate "${down}kbit" "${how[@]}" limit "$down_limit"; then
    if [ ${#how[@]} = 0 ]; then
      echo "netem rate ${up}/${down} kbit/s, buffer of 800 ms of full-size frames ($up_limit/$down_limit packets)"
    else
      echo "DSL: netem rate ${up}/${down} kbit/s ${how[*]} (each frame plus 26 bytes in 48-byte ATM cells of 53 bytes;" \
           "a 1514-byte frame takes $wire bytes), buffer of 800 ms of full-size frames ($up_limit/$down_limit packets)"
    fi
  elif [ ${#how[@]} != 0 ]; then
    echo "effect_modem: the DSL modem needs netem, which this kernel lacks" >&2
    return 1
  else
    in_ns modem tc qdisc replace dev isp-m root tbf rate "${up}kbit" burst 3200 latency 800ms
    in_ns modem tc qdisc replace dev eth2.2-p root tbf rate "${down}kbit" burst 3200 latency 800ms
    echo "tbf ${up}/${down} kbit/s, burst 3200 B, 800 ms buffer (no netem in this kernel: a frame's wire time is hidden)"
  fi > "$EFFECT_FACTS/modem"
}
# qos_lab.bash's lab_up calls lab_modem.
lab_modem() { effect_modem "$@"; }

# A second LAN host, on the same LAN namespace: the one that tries to buy
# priority (the floods, the EF upload and the flow churn), beside the host
# with the calls. (An IPv4 address added second is never a source by choice.)
GREEDY_HOST=192.168.1.26 GREEDY_HOST6=2001:db8:1::26
# A third LAN address, a second household host that uploads or downloads
# beside the host with the calls (the hosts loads).
SECOND_HOST=192.168.1.27 SECOND_HOST6=2001:db8:1::27
# The reply flood's ports: the server on the ISP host, the greedy host's end.
FLOOD_PORT=24300 FLOOD_LAN_PORT=24301

# effect_servers: on the ISP host the irtt server (voice 2112, mapped game
# 3074, unnamed game 27015, video 2113, a listener of its own: at 20 Mbit/s
# its 385 packets a second held the voice probes' answers back in a shared
# one; no minimum interval, for the video probe),
# iperf3 servers on TCP/UDP 5201-5204 and 443, and the reply flood's server on
# UDP 24300 (tools/bench/reply_flood.py); the greedy and second hosts'
# addresses.
effect_servers() {
  local port
  in_ns lan ip addr add "$GREEDY_HOST/24" dev host0
  in_ns lan ip addr add "$SECOND_HOST/24" dev host0
  # Deprecated at once, so that no probe's IPv6 source is chosen from them.
  in_ns lan ip addr add "$GREEDY_HOST6/64" dev host0 nodad preferred_lft 0
  in_ns lan ip addr add "$SECOND_HOST6/64" dev host0 nodad preferred_lft 0
  in_ns isp irtt server -i 0 -b :2112,:2113,:3074,:27015 > /dev/null 2>&1 &
  for port in 5201 5202 5203 5204 443; do in_ns isp iperf3 -s -p "$port" > /dev/null 2>&1 & done
  in_ns isp python3 "$SBX_PROJ/tools/bench/reply_flood.py" server "$FLOOD_PORT" > /dev/null 2>&1 &
  lab_listening 2112 2113 3074 27015 5201 5202 5203 5204 443 "$FLOOD_PORT"
}

# effect_iperf FAMILY OUT ARGS...: one iperf3 client on the LAN host (the
# greedy host with EFFECT_GREEDY=1, the second host with EFFECT_SECOND=1)
# towards the ISP host, its report in OUT; its pid is added to LAB_PIDS.
effect_iperf() {
  local family=$1 out=$2 server=$ISP_HOST local=$LAN_HOST
  shift 2
  [ "$family" = 6 ] && server=$ISP_HOST6 local=$LAN_HOST6
  if [ "${EFFECT_GREEDY:-0}" = 1 ]; then local=$GREEDY_HOST; [ "$family" = 6 ] && local=$GREEDY_HOST6; fi
  if [ "${EFFECT_SECOND:-0}" = 1 ]; then local=$SECOND_HOST; [ "$family" = 6 ] && local=$SECOND_HOST6; fi
  in_ns lan iperf3 "-$family" -c "$server" -B "$local" "$@" -O 2 -J > "$out" 2> /dev/null &
  LAB_PIDS+=($!)
}

# effect_load LOAD FAMILY SECONDS UP_KBIT DIR: starts the load LOAD (the
# table below), its reports in DIR/bulk-N.json. TCP ports differ by family: a
# port is bound again only once its connection's 60 s of TIME_WAIT are over.
# The servers are given 2 s to end their previous test.
effect_load() {
  local load=$1 fam=$2 t=$3 rate=$4 dir=$5 shift6=0 i
  [ "$fam" = 6 ] && shift6=4
  sleep 2
  case $load in
    plain) # four TCP streams from ports no rule names
      for i in 0 1 2 3; do effect_iperf "$fam" "$dir/bulk-$i.json" -p $((5201 + i)) --cport $((41001 + shift6 + i)) -t "$t"; done ;;
    p2p) # four TCP streams from ports mapped in /var/bittorrent
      for i in 0 1 2 3; do effect_iperf "$fam" "$dir/bulk-$i.json" -p $((5201 + i)) --cport $((51413 + shift6 + i)) -t "$t"; done ;;
    bt6881) # four TCP streams from BitTorrent's usual ports, in the bnet game range
      for i in 0 1 2 3; do effect_iperf "$fam" "$dir/bulk-$i.json" -p $((5201 + i)) --cport $((6881 + shift6 + i)) -t "$t"; done ;;
    emule) # the emule mapping's ports: TCP from 4662 and a UDP flood from 4672
      effect_iperf "$fam" "$dir/bulk-0.json" -p 5201 --cport 4662 -t "$t"
      effect_iperf "$fam" "$dir/bulk-1.json" -p 5202 --cport 4672 -u -l 1200 -b "${rate}k" -t "$t" ;;
    udp443) # a QUIC-like UDP flood to port 443, at the link's rate
      effect_iperf "$fam" "$dir/bulk-0.json" -p 443 -u -l 1200 -b "${rate}k" -t "$t" ;;
    # The greedy host trying to buy priority, at 2 Mbit/s whatever the link's rate:
    flood1) # 100-byte UDP from one unnamed port
      EFFECT_GREEDY=1 effect_iperf "$fam" "$dir/bulk-0.json" -p 5201 --cport $((42001 + shift6)) -u -l 100 -b 2000k -t "$t" ;;
    flood64) # the same from 64 ports (iperf3 gives each stream a port of its own)
      EFFECT_GREEDY=1 effect_iperf "$fam" "$dir/bulk-0.json" -p 5201 -P 64 -u -l 100 -b "$((2000 / 64))k" -t "$t" ;;
    ef) # one TCP upload, every packet marked EF
      EFFECT_GREEDY=1 effect_iperf "$fam" "$dir/bulk-0.json" -p 5201 --cport $((41011 + shift6)) --dscp EF -b 2000k -t "$t" ;;
    churn) # 10,000 new UDP flows in 10 s, one 100-byte packet each, after the warm-up
      in_ns lan python3 - "$fam" "$GREEDY_HOST" "$GREEDY_HOST6" "$ISP_HOST" "$ISP_HOST6" > "$dir/churn.txt" <<'PY' &
import socket, sys, time
six = sys.argv[1] == "6"
local, server = (sys.argv[3], sys.argv[5]) if six else (sys.argv[2], sys.argv[4])
time.sleep(4)
start, sent = time.time(), 0
for i in range(10000):
    s = socket.socket(socket.AF_INET6 if six else socket.AF_INET, socket.SOCK_DGRAM)
    s.bind((local, 0))
    sent += s.sendto(bytes(100), (server, 9)) == 100
    s.close()
    time.sleep(max(0.0, start + (i + 1) / 1000 - time.time()))
print(f"{sent} flows opened in {time.time() - start:.1f} s")
PY
      LAB_PIDS+=($!) ;;
    udp100) # 100-byte UDP at the line's rate from the greedy host, from one unnamed port
      EFFECT_GREEDY=1 effect_iperf "$fam" "$dir/bulk-0.json" -p 5201 --cport $((42011 + shift6)) -u -l 100 -b "${rate}k" -t "$t" ;;
    # Two households' hosts at once, each from ephemeral ports: the host with
    # the calls one TCP stream (bulk-0.json), the second host eight (bulk-1.json).
    hosts) # both uploading
      effect_iperf "$fam" "$dir/bulk-0.json" -p 5201 -t "$t"
      EFFECT_SECOND=1 effect_iperf "$fam" "$dir/bulk-1.json" -p 5202 -P 8 -t "$t" ;;
    hosts-down) # both downloading
      effect_iperf "$fam" "$dir/bulk-0.json" -p 5201 -R -t "$t"
      EFFECT_SECOND=1 effect_iperf "$fam" "$dir/bulk-1.json" -p 5202 -P 8 -R -t "$t" ;;
    replies) # the greedy host asks 10 times a second, and the ISP host answers each with 100 datagrams
      in_ns lan python3 "$SBX_PROJ/tools/bench/reply_flood.py" client "$fam" "$GREEDY_HOST" "$GREEDY_HOST6" \
        "$ISP_HOST" "$ISP_HOST6" "$FLOOD_LAN_PORT" "$FLOOD_PORT" "$t" > "$dir/flood.json" &
      LAB_PIDS+=($!) ;;
    down) # four TCP streams towards the LAN host from ports no rule names
      for i in 0 1 2 3; do effect_iperf "$fam" "$dir/bulk-$i.json" -p $((5201 + i)) --cport $((41021 + shift6 + i)) -R -t "$t"; done ;;
    none) ;;
    *) echo "effect_load: no load $load" >&2; return 1 ;;
  esac
}

# The probes, every 20 ms from the LAN host to the ISP host unless said:
#   voip   a voice call's 172 bytes from UDP 5062 (mapped in /var/voip)
#   game   a game's 100 bytes to UDP 3074 (a game port)
#   voice  172 bytes from UDP 45062, which no rule names
#   ugame  100 bytes to UDP 27015, which no rule names
#   video  a video call: 1000 bytes from UDP 45100 every 26 ms (about 300
#          kbit/s), at a link rate of 20 Mbit/s or more every 2.6 ms
EFFECT_PROBES=(voip game voice ugame video)

# effect_probe FAMILY PROBE SECONDS UP_KBIT OUT: starts one probe, its report
# in OUT; its pid is added to LAB_PIDS.
effect_probe() {
  local server=$ISP_HOST local=$LAN_HOST every=20ms how
  [ "$1" = 6 ] && server="[$ISP_HOST6]" local="[$LAN_HOST6]"
  case $2 in
    voip) how=(-l 172 --local="$local:5062" "$server:2112") ;;
    game) how=(-l 100 "$server:3074") ;;
    voice) how=(-l 172 --local="$local:45062" "$server:2112") ;;
    ugame) how=(-l 100 "$server:27015") ;;
    video) how=(-l 1000 --local="$local:45100" "$server:2113"); every=26ms
      [ "$4" -ge 20000 ] && every=2600us ;;
    *) echo "effect_probe: no probe $2" >&2; return 1 ;;
  esac
  # The open request is sent again only after 4 s: behind a long queue a
  # second one's answer would end the test (irtt stops on an open reply
  # once connected).
  in_ns lan irtt client -Q -i "$every" -d "$3s" --wait=3s --timeouts=4s,4s,4s,4s -o "$5" "${how[@]}" &
  LAB_PIDS+=($!)
}

# effect_idle OUT: the network's round-trip time with nothing else on it: the
# voice probe for 20 s after 2 s of warm-up, its report in OUT.
effect_idle() {
  LAB_PIDS=()
  effect_probe 4 voip 2 0 "${1%.json}-warm.json"
  wait "${LAB_PIDS[@]}" || true
  LAB_PIDS=()
  effect_probe 4 voip 20 0 "$1"
  wait "${LAB_PIDS[@]}" || true
}

# effect_facts MODE: what this build met in the kernel, in
# $EFFECT_FACTS/kernel and $EFFECT_FACTS/MODE: the leaf queues and filters of
# the upload and download trees, or a root cake queue as the kernel shows it.
# Where the kernel refused the build's fw filters, classic-BPF filters on the
# packet mark stand in for them, and the facts say so.
effect_facts() {
  local dev leaves filters stand=0 root
  uname -r > "$EFFECT_FACTS/kernel"
  # (The filters are read whole first: grep -q ending a pipe early would fail
  # the pipe.)
  local shown
  shown=$(tc filter show dev eth2.2)
  if grep -q '^tc .* fw classid' "$SBX_OUT/build.txt" && ! grep -q ' fw ' <<< "$shown"; then
    mark_filters_stand_in < "$SBX_OUT/build.txt"
    stand=1
    echo "effect: this kernel refused the fw filters; BPF filters on the packet mark stand in for them" >&2
  fi
  for dev in eth2.2 br0; do
    root=$(tc qdisc show dev "$dev" | awk '$1 == "qdisc" && $2 == "cake" && $4 == "root"')
    if [ -n "$root" ]; then
      echo "$dev: root cake $(sed 's/^qdisc cake [0-9a-f]*: root refcnt [0-9]* //; s/ *$//' <<< "$root")"
      continue
    fi
    leaves=$(tc qdisc show dev "$dev" | awk '$1 == "qdisc" && $4 != "root" { print $2 }' | sort | uniq -c |
      awk '{ printf "%s%s x%s", (NR > 1 ? ", " : ""), $2, $1 }')
    filters=$(tc filter show dev "$dev" | awk '/^filter .* handle / { print $8 }' | sort | uniq -c |
      awk '{ printf "%s%s x%s", (NR > 1 ? ", " : ""), $2, $1 }')
    echo "$dev: leaves ${leaves:-none (each class queues in its default FIFO)}; filters ${filters:-none}$([ $stand = 1 ] && echo ' (bpf: stand-ins for fw)')"
  done > "$EFFECT_FACTS/$1"
}

# effect_classes DEV OUT: the classes of DEV's tree with their counters, for
# what the load's class may use.
effect_classes() { tc -s class show dev "$1" > "$2" 2> /dev/null || true; }

# The cake modes: no tree of the build's, a cake queue at the root of each
# direction instead, at the configured rate (no address translation in the
# lab, so no nat keyword):
#   cake-be    besteffort on both
#   cake-host  besteffort, per source host up and per destination host down
#   cake-atm   besteffort with the DSL line's framing: ATM cells, 40 bytes
#              added to each packet
# effect_have_cake: whether this kernel has the cake queue (sch_cake), tried
# once on the lab's own lan0 and taken off again.
effect_have_cake() {
  if [ -z "${EFFECT_CAKE:-}" ]; then
    EFFECT_CAKE=no
    if tc qdisc replace dev lan0 root cake bandwidth 1mbit 2> "$SBX_OUT/cake-check.txt"; then
      EFFECT_CAKE=yes
      tc qdisc del dev lan0 root
    fi
  fi
  [ "$EFFECT_CAKE" = yes ]
}

# effect_cake MODE UP_KBIT DOWN_KBIT: the mode's two cake queues, each line
# as it is run added to $SBX_OUT/build.txt as a build's echo is.
effect_cake() {
  local up_opts=(besteffort) down_opts=(besteffort) tree q
  case $1 in
    cake-be) ;;
    cake-host) up_opts+=(dual-srchost) down_opts+=(dual-dsthost) ;;
    cake-atm) up_opts+=(atm overhead 40) down_opts+=(atm overhead 40) ;;
    *) echo "effect_cake: no mode $1" >&2; return 1 ;;
  esac
  for tree in "eth2.2 $2 ${up_opts[*]}" "br0 $3 ${down_opts[*]}"; do
    read -ra q <<< "$tree"
    echo "tc qdisc replace dev ${q[0]} root cake bandwidth ${q[1]}kbit ${q[*]:2}" >> "$SBX_OUT/build.txt"
    tc qdisc replace dev "${q[0]}" root cake bandwidth "${q[1]}kbit" "${q[@]:2}"
  done
}

# effect_uncake: takes off a cake queue a cake mode left at a root (a build
# with QoS off leaves the roots as they are).
effect_uncake() {
  local dev
  for dev in eth2.2 br0; do
    if tc qdisc show dev "$dev" | awk '$1 == "qdisc" && $2 == "cake" && $4 == "root" { found = 1 } END { exit !found }'; then
      tc qdisc del dev "$dev" root
    fi
  done
}

# The reply flood's count: what of the ISP host's answers towards the greedy
# host passed br0's high class 3:2. A packet's class on br0 is the one its fw
# filter names for the packet's mark; a packet that br0's tree has sent goes
# on, mark unchanged, through the bridge port lan0 to the LAN host. So filters
# on lan0's egress (clsact, u32, action pass: nothing else changes) count the
# answers whose mark br0's filters send to 3:2 (pref 1 onwards), and then the
# other answers (pref 10): exact, and only what the tree passed. Their
# counters include each frame's 14-byte Ethernet header.
# effect_flood_count FAMILY: the counting filters, afresh.
effect_flood_count() {
  local proto=ip match=ip dst=$GREEDY_HOST/32 pref=1 handle
  [ "$1" = 6 ] && proto=ipv6 match=ip6 dst=$GREEDY_HOST6/128
  tc qdisc replace dev lan0 clsact
  tc filter del dev lan0 egress 2> /dev/null || true
  # "filter parent 3: protocol ip pref 1 fw chain 0 handle 0x2 classid 3:2"
  for handle in $(tc filter show dev br0 | awk -v p="$proto" '
      $1 == "filter" && / fw / && $NF == "3:2" {
        for (i = 1; i < NF; i++) { if ($i == "protocol") q = $(i + 1); if ($i == "handle") h = $(i + 1) }
        if (q == p) print h
      }'); do
    [ "${handle#*/}" != "$handle" ] || handle=$handle/0xffffffff
    tc filter add dev lan0 egress protocol "$proto" pref "$pref" u32 match mark "${handle%/*}" "${handle#*/}" \
      match "$match" dst "$dst" match "$match" sport "$FLOOD_PORT" 0xffff action pass
    pref=$((pref + 1))
  done
  tc filter add dev lan0 egress protocol "$proto" pref 10 u32 \
    match "$match" dst "$dst" match "$match" sport "$FLOOD_PORT" 0xffff action pass
}

# effect_flood_counted OUT: the counting filters with their counters, in
# OUT; then they are taken off.
effect_flood_counted() {
  tc -s filter show dev lan0 egress > "$1"
  tc filter del dev lan0 egress
}
