#!/usr/bin/env bash
# Inside the sandbox: a voice call while a LAN host uploads over IPv6 through
# a modem with an 800 ms buffer (tools/qos_lab.bash), with the full
# configuration: QoS off, QoS on without the IPv6 mode, QoS on with it
# (VX_QoSIPv6=1). About 45 s.
set -u
. "$SBX_PROJ/tools/qos_lab.bash"
PATH=$(printf '%s' "$PATH" | sed "s#$SBX_PROJ/tools/stubs:##g")
export NVRAM_FILE=/etc/nvram.conf
lab_up 2150 8602 || { echo "the network did not come up"; exit 1; }
printf 'udp,%s,5062\n' "$LAN_HOST" > /var/voip
lab_servers
echo "### VoIP probe (irtt, every 20 ms from UDP 5062) during four IPv6 upload streams"
echo "### the modem: 2150 kbit/s up, 800 ms buffer; the router shapes to 2048 kbit/s"
# Each mode's upload from ports of its own (a port is bound again only after
# 60 s of TIME_WAIT).
first=41001
for mode in off on ipv6; do
  case $mode in
    off) label="QoS off:"; sed 's/^VX_QoSEnable=.*/VX_QoSEnable=0/' "$SBX_PROJ/tools/bench/full.conf" > "$NVRAM_FILE" ;;
    on) label="QoS on, without the IPv6 mode:"; { cat "$SBX_PROJ/tools/bench/full.conf"; echo VX_QoSBatch=1; } > "$NVRAM_FILE" ;;
    ipv6) label="QoS on, VX_QoSIPv6=1:"; { cat "$SBX_PROJ/tools/bench/full.conf"; echo VX_QoSBatch=1; echo VX_QoSIPv6=1; } > "$NVRAM_FILE" ;;
  esac
  lab_qos
  LAB_PIDS=()
  lab_bulk 6 up "$first" 11 "$SBX_OUT/bulk"
  first=$((first + 10))
  sleep 3
  lab_probe 6 voip 6 "$SBX_OUT/voip.json"
  wait "${LAB_PIDS[@]}"
  printf '  %-32s VoIP %s\n' "$label" "$(python3 "$SBX_PROJ/tools/bench/qos_effect.py" p99 "$SBX_OUT/voip.json")"
done
echo "  (without the IPv6 mode the IPv6 upload bypasses every class and fills the modem's buffer)"
