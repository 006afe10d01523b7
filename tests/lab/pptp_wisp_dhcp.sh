# box: tunnel
# WISP-mode PPTP over ra0 with its address by DHCP: plug and pull.
. "$(dirname "$0")/tunnel_flaps.bash"
isp_up pptp ra0
router_up 6 PPTP wan_pptp_mode=1
plug_and_check
pull_and_check
