#!/usr/bin/env bash
# Inside the sandbox: LAN host discovery against a simulated storage device (a
# second network namespace on the LAN bridge, answering the SSDP search) and a
# simulated wireless client (a DHCP lease, and the wireless driver's
# association table answered by a test double), then the record files.
set -u
. "$SBX_PROJ/tests/system/hostscout/lan.bash"
helpers=$SBX_PROJ/tests/system/hostscout

echo "### hostscout"
# The association table's test double: the test build has it, else build it here.
shim=$SBX_BIN/testtools/libassoc_shim.so
if [ ! -f "$shim" ]; then
  shim=/tmp/libassoc_shim.so
  g++ -std=c++20 -O2 -shared -fPIC -o "$shim" "$helpers/assoc_shim.cpp" -ldl || exit 1
fi
export ASSOC_TABLE=/tmp/assoc ASSOC_LOG=/tmp/assoc.log ASAN_OPTIONS=verify_asan_link_order=0

lan_up br0
storage_answer 'http://192.168.1.20:80/desc.xml' | answers

# Two DHCP clients: a phone on the wireless interface and a wired desktop.
python3 "$helpers/leases.py" /var/udhcpd.leases phone,a0b1c2d3e4f5,192.168.1.105,86400 \
  desktop,0011223344aa,192.168.1.101,86400
printf '2\n665544332211\na0b1c2d3e4f5\n' > "$ASSOC_TABLE"

LD_PRELOAD=$shim hostscout
echo "(exit status $?)"
echo
echo "### record files"
for f in /var/lltd_num_wlan /var/lltd_inf_wlan* /var/lltd_num_lan /var/lltd_inf_lan*; do
  [ -f "$f" ] || continue
  echo "--- $f"
  cat "$f"
done
