# full_port_files: a port-mapping file for each of the five services, as the
# UPnP and ALG components leave them, for the full configuration
# (tools/bench/full.conf). Plain sh: sourced by the QoS system tests and by
# the MIPS box's rig.
full_port_files() {
  printf 'tcp,192.168.1.10,6881\nudp,192.168.1.10,6881\n' > /var/bittorrent
  printf 'udp,192.168.1.21,4672\n' > /var/emule
  printf 'tcp,192.168.1.22,6891\n' > /var/im
  printf 'tcp,192.168.1.23,990:999\n' > /var/ftp
  printf 'udp,192.168.1.25,5062\n' > /var/voip
}
