#!/usr/bin/env bash
# hostscout against hostile files: special files in place of its inputs,
# symlinks planted at its outputs, a lease file without end, and a /var that
# is full or read-only. No network here, so every run ends at the search.
. "$(dirname "$0")/../lib.sh"
. "$SBX_PROJ/tests/system/hostscout/hostscout.bash"

# hs_bounded: one run that must end within ten seconds; also sets err (its
# standard error).
hs_bounded() {
  out=$(LD_PRELOAD=$HS_PRELOAD timeout 10 hostscout 2> /tmp/hs.err)
  rc=$?
  err=$(cat /tmp/hs.err)
  [ "$rc" != 124 ] || fail "$1: the run hung"
}
# special KIND PATH: a FIFO without a writer, or a symlink to /dev/zero.
special() {
  rm -rf "$2"
  case $1 in fifo) mkfifo "$2" ;; zero) ln -s /dev/zero "$2" ;; esac
}
record() { printf '01=%s\n03=71\n07=%s\n15=%s\n99=0' "$@"; }

assoc 1 001a2bc3d4ff
for kind in fifo zero; do
  # The lease file: as if there were none.
  rm -f /var/lltd_*
  special "$kind" /var/udhcpd.leases
  hs_bounded "$kind as the lease file"
  check "$kind as the lease file" "$out" "$AT
ssdp: Get info from DHCP
err:sendto"
  # The known hosts list and the count file: as if missing; the count file
  # is replaced by a regular one.
  rm -f /var/udhcpd.leases
  leases laptop,001a2bc3d4ff,192.168.1.100,3600
  special "$kind" /var/lltd_mac
  special "$kind" /var/lltd_num_wlan
  hs_bounded "$kind as the known hosts and the count"
  check_contains "$kind as the known hosts and the count" "$out" "old lltd_num_wlan=0"
  file_is "$kind: count replaced" /var/lltd_num_wlan "00=1"
  file_is "$kind: record" /var/lltd_inf_wlan1 "$(record 001a2bc3d4ff 192.168.1.100 laptop)"
  rm -f /var/lltd_mac
done

# Symlinks at the record, the count and the pid file are replaced, never
# written through.
rm -f /var/lltd_*
echo keep > /tmp/victim
ln -s /tmp/victim /var/lltd_num_wlan
ln -s /tmp/victim /var/lltd_inf_wlan1
ln -sf /tmp/victim /var/run/hostscout.pid
hs_bounded "symlinks at the outputs"
check "the symlinks' target is untouched" "$(cat /tmp/victim)" keep
for f in /var/lltd_num_wlan /var/lltd_inf_wlan1 /var/run/hostscout.pid; do
  [ -f "$f" ] && [ ! -L "$f" ] || fail "$f is still a symlink"
done
file_is "record in place of the symlink" /var/lltd_inf_wlan1 "$(record 001a2bc3d4ff 192.168.1.100 laptop)"
echo "ok: symlinks at the outputs replaced"

# One run writes at most 32 wireless records, also from a lease file holding
# more associated leases; the same lease twice gives two records.
rm -f /var/lltd_*
many=()
for i in $(seq 40); do many+=("host$i,0200000000$(printf %02x $((i % 4))),10.0.0.$i,60"); done
leases "${many[@]}"
assoc 4 020000000000 020000000001 020000000002 020000000003
hs_bounded "forty associated leases"
file_is "32 records counted" /var/lltd_num_wlan "00=32"
check "32 records written" "$(ls /var/lltd_inf_wlan* | wc -l)" 32
file_is "the 32nd record" /var/lltd_inf_wlan32 "$(record 020000000000 10.0.0.32 host32)"

# A /var of our own under the sandbox's: its own /var/run, so the pid file
# can be written whatever happens to the records.
own_var() {
  mount -t tmpfs -o "size=$1" ownvar /var
  mkdir /var/run
  mount -t tmpfs -o size=64k ownrun /var/run
  leases laptop,001a2bc3d4ff,192.168.1.100,3600
  assoc 1 001a2bc3d4ff
}
drop_var() { umount /var/run && umount /var; }
# only_lease: nothing in /var but the lease file, the run dir and the filler.
only_lease() {
  check "$1: nothing else in /var" "$(ls -A /var | grep -v -x -e fill -e run -e udhcpd.leases)" ""
}

# Read-only: the count cannot be raised; said in one line naming the file.
own_var 256k
printf '00=4\n' > /var/lltd_num_wlan
mount -o remount,ro /var
hs_bounded "read-only /var"
check "read-only /var reported" "$err" \
  "hostscout: cannot write /var/lltd_num_wlan: Read-only file system"
file_is "read-only /var: old count" /var/lltd_num_wlan "00=4"
[ ! -e /var/lltd_inf_wlan5 ] || fail "a record the count does not reach"
drop_var

# Full: nothing half-written, no temporary file left behind.
own_var 64k
dd if=/dev/zero of=/var/fill bs=4k 2>/dev/null
hs_bounded "full /var"
check "full /var reported" "$err" "hostscout: cannot write /var/lltd_num_wlan: No space left on device"
only_lease "full /var"
drop_var

# A directory in the way of the record: the count is raised, the record
# reported missing, nothing else written.
rm -rf /var/lltd_*
leases laptop,001a2bc3d4ff,192.168.1.100,3600
mkdir /var/lltd_inf_wlan1
hs_bounded "directory in the way"
check_contains "directory in the way reported" "$err" "hostscout: cannot write /var/lltd_inf_wlan1: "
file_is "directory in the way: count" /var/lltd_num_wlan "00=1"
[ -d /var/lltd_inf_wlan1 ] || fail "the directory was replaced"
check "directory in the way: no temporary file" "$(ls -A /var | grep -c '^\.')" 0
