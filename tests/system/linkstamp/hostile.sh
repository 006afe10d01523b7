#!/usr/bin/env bash
# linkstamp against hostile files: special files in place of the WAN file it
# reads back, symlinks planted at the link files, and a read-only /var.
. "$(dirname "$0")/../lib.sh"

echo 'Get: phy[4].reg[5] = 45e1' > "$SBX_OUT/mii_mgr.out"
echo "RadioOff=0" | store
uptime_line() { [[ $(cat "$1") =~ ^[0-9]+$ ]] && [ ! -L "$1" ]; }

# A FIFO without a writer or a symlink to /dev/zero as /var/wan_link: read
# as missing (so as a link down) and replaced by a regular file.
for kind in fifo zero; do
  rm -f /var/wan_link
  if [ $kind = fifo ]; then mkfifo /var/wan_link; else ln -s /dev/zero /var/wan_link; fi
  timeout 10 linkstamp 1 > /dev/null
  rc=$?
  [ $rc != 124 ] || fail "$kind as /var/wan_link: the run hung"
  uptime_line /var/wan_link || fail "$kind as /var/wan_link: not replaced by the uptime"
  echo "ok: $kind as /var/wan_link"
done

# A FIFO or a symlink planted at the probe's report: no hang, no write
# through, and the report is read.
for kind in fifo link; do
  rm -f /tmp/WANstatus1
  if [ $kind = fifo ]; then mkfifo /tmp/WANstatus1; else ln -s /tmp/victim1 /tmp/WANstatus1; fi
  echo 0 > /var/wan_link
  timeout 10 linkstamp 1 > /dev/null
  check "$kind at the report: status, target, stamp" "$? $([ -e /tmp/victim1 ] && echo written) $(uptime_line /var/wan_link && echo up)" "0  up"
done

# Symlinks at the three link files are replaced, never written through.
echo keep > /tmp/victim
for f in /var/wan_link /var/lan_link /var/wlan_link; do ln -sf /tmp/victim "$f"; done
linkstamp 0 > /dev/null
check "the symlinks' target is untouched" "$(cat /tmp/victim)" keep
for f in /var/wan_link /var/lan_link /var/wlan_link; do
  uptime_line "$f" || fail "$f not replaced by the uptime"
done
echo "ok: symlinks at the link files replaced"

# A read-only /var of our own: each failed write said in one line naming its
# file; the old files stay as they were.
mount -t tmpfs -o size=64k ownvar /var
printf '4711\n' > /var/wan_link
printf 'lan\n' > /var/lan_link
mount -o remount,ro /var
err=$(linkstamp 0 2>&1 > /dev/null)
check "read-only /var reported" "$err" "linkstamp: cannot write /var/wan_link: Read-only file system
linkstamp: cannot write /var/lan_link: Read-only file system
linkstamp: cannot write /var/wlan_link: Read-only file system"
check "old files kept" "$(cat /var/wan_link /var/lan_link)" "4711
lan"
umount /var

# A full /var of our own: a link gone down does not keep its old uptime.
mount -t tmpfs -o size=16k fullvar /var
printf '4711\n' > /var/wan_link
cat /dev/zero > /var/filler 2> /dev/null
echo 'Get: phy[4].reg[5] = 0000' > "$SBX_OUT/mii_mgr.out"
err=$(linkstamp 1 2>&1 > /dev/null)
check "full /var: the down stamp written in place, nothing said" "$(cat /var/wan_link)|$err" "0|"
umount /var
