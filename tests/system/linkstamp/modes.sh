#!/usr/bin/env bash
# linkstamp as the router's scripts run it: both modes, the three link time
# files, the WAN probe through a stub mii_mgr.
. "$(dirname "$0")/../lib.sh"

up='Get: phy[4].reg[5] = 45e1'
down='Get: phy[4].reg[5] = 0000'
files=(/var/wan_link /var/lan_link /var/wlan_link)

link() { printf '%s\n' "$1" > "$SBX_OUT/mii_mgr.out"; }

# put FILE TEXT|-: gives a link time file its content before a run; - removes it.
put() { if [ "$2" = - ]; then rm -f "$1"; else printf '%b' "$2" > "$1"; fi; }

# shown FILE: its content with "\n" for newlines, "-" when missing, UPTIME
# for one line holding the uptime of the last run.
shown() {
  [ -e "$1" ] || { echo -; return; }
  local raw
  raw=$(sed -z 's/\n/\\n/g' "$1")
  if [[ $raw =~ ^([1-9][0-9]*)\\n$ ]] && [ "${BASH_REMATCH[1]}" -ge "$t0" ] &&
     [ "${BASH_REMATCH[1]}" -le "$((t1 + 1))" ]; then
    echo UPTIME
  else
    echo "$raw"
  fi
}

# run NAME ARGS...: runs linkstamp and checks its status, output and probe.
run() {
  local name=$1; shift
  reset_log
  t0=$(cut -d. -f1 /proc/uptime)
  out=$(linkstamp "$@"); rc=$?
  t1=$(cut -d. -f1 /proc/uptime)
  check "$name: exit status" "$rc" 0
  check "$name: probe" "$(logged mii_mgr)" "mii_mgr [-g] [-p] [4] [-r] [5]"
  check "$name: nothing said" "$out" ""
}

result() { local f r=(); for f in "${files[@]}"; do r+=("$(shown "$f")"); done; echo "${r[*]}"; }

# Mode 0 stamps all three: WAN follows the probe, LAN is always up, WLAN
# follows RadioOff ("0" is on; "1", absent or anything else is off).
#   link  RadioOff  old files   expected wan lan wlan
while read -r state radio old expect; do
  link "${!state}"
  if [ "$radio" = absent ]; then store < /dev/null; else echo "RadioOff=$radio" | store; fi
  for f in "${files[@]}"; do put "$f" "$old"; done
  run "mode 0, link $state, RadioOff $radio, files $old" 0
  check "mode 0, link $state, RadioOff $radio, files $old" "$(result)" "$expect"
done <<'CASES'
up   0      -      UPTIME UPTIME UPTIME
down 0      -      0\n UPTIME UPTIME
up   1      4711\n UPTIME UPTIME 0\n
down 1      4711\n 0\n UPTIME 0\n
up   absent -      UPTIME UPTIME 0\n
up   00     -      UPTIME UPTIME 0\n
CASES

# Mode 1 rewrites only /var/wan_link, and only when the link changed since
# the file was written; a missing file starts from 0.
echo "RadioOff=0" | store
#   link  old wan_link   expected wan_link
while read -r state old expect; do
  link "${!state}"
  put /var/wan_link "$old"
  put /var/lan_link "lan"; put /var/wlan_link "wlan"
  run "mode 1, link $state, wan_link $old" 1
  check "mode 1, link $state, wan_link $old" "$(result)" "$expect lan wlan"
done <<'CASES'
down -                           0\n
up   -                           UPTIME
up   0\n                         UPTIME
down 0\n                         0\n
up   4711\n                      4711\n
down 4711\n                      0\n
down 00                          00
up   garbage                     UPTIME
down garbage                    garbage
CASES

# Any other mode, or none, only probes: files present or absent stay so.
for mode in 2 00 "" none; do
  link "$up"
  put /var/wan_link "0"; put /var/lan_link "lan"; rm -f /var/wlan_link
  if [ "$mode" = none ]; then run "no mode"; else run "mode '$mode'" "$mode"; fi
  check "mode '$mode' changes nothing" "$(result)" "0 lan -"
done

# The probe: the report is what the shell left in /tmp/WANstatus1; a report
# that is empty or gone counts as down and says so. Only its first 128 bytes count.
cat > "$SBX_OUT/on_mii_mgr" <<'HOOK'
#!/bin/sh
case "$(cat "$SBX_OUT/report")" in
  gone) rm -f /tmp/WANstatus1 ;;
  empty) ;;
  long) printf '%0128d' 1 | tr 0 x; echo " 0000" ;;
esac
HOOK
chmod +x "$SBX_OUT/on_mii_mgr"
while read -r report expect message; do
  echo "$report" > "$SBX_OUT/report"
  put /var/wan_link "4711"
  reset_log
  out=$(linkstamp 1)
  check "report $report: message" "$out" "$message"
  check "report $report: wan_link" "$(shown /var/wan_link)" "$expect"
done <<'CASES'
gone  0\n   indicate error: Cannot open /tmp/WANstatus1!!!
empty 0\n   indicate error: Cannot read the result of  /tmp/WANstatus1 !!!
long  4711
CASES
check "report stays after the run" "$(cat /tmp/WANstatus1)" "$(printf '%0128d' 1 | tr 0 x) 0000"
rm -f "$SBX_OUT/on_mii_mgr"
