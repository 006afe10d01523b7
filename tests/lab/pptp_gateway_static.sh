# box: tunnel
# Gateway-mode PPTP with the WAN port's static address: plug, the server
# killed with the link up, pull; plugged and pulled again during the dial.
. "$(dirname "$0")/tunnel_flaps.bash"
isp_up pptp
router_up 0 PPTP wan_pptp_mode=0
plug_and_check
server_killed_and_redialled
pull_and_check
pulled_during_a_dial
