# box: tunnel
# Gateway-mode L2TP with the WAN port's address by DHCP: plug, a renewed lease,
# pull; plugged and pulled again during the dial.
. "$(dirname "$0")/tunnel_flaps.bash"
isp_up l2tp
router_up 0 L2TP wan_l2tp_mode=1
plug_and_check
lease_renewed
pull_and_check
pulled_during_a_dial
