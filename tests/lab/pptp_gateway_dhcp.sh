# box: tunnel
# Gateway-mode PPTP with the WAN port's address by DHCP: plug, a renewed
# lease, the server killed with the link up, pull.
. "$(dirname "$0")/tunnel_flaps.bash"
isp_up pptp
router_up 0 PPTP wan_pptp_mode=1
plug_and_check
lease_renewed
server_killed_and_redialled
pull_and_check
