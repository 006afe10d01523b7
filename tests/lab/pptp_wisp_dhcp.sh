# box: tunnel
# WISP-mode PPTP over ra0 with its address by DHCP, the server given by name:
# plug, and pull. The pty's wait ends once the name has its address (which the
# client gets), not at its 10 s limit, after which the client gets the name.
. "$(dirname "$0")/tunnel_flaps.bash"
isp_up pptp ra0
router_up 6 PPTP wan_pptp_mode=1 "wan_pptp_server=$ISP_NAME"
cable_plugged 1
wait_until 30 "plugged: dial" eval '[ "$(dials)" -ge 1 ]'
dialled=$EPOCHREALTIME
client=
wait_until 60 "plugged: the PPTP client started" eval 'client=$(router_procs pptp); [ -n "$client" ]'
ms=$(( (${EPOCHREALTIME/./} - ${dialled/./}) / 1000 ))
check "the PPTP client started $ms ms after the dial, for the name's address" \
  "$(tr '\0' ' ' < "$ROUTER_PROC/${client%%$'\n'*}/cmdline")" "pptp $ISP_ADDR --nolaunchpppd "
plug_and_check
pull_and_check
