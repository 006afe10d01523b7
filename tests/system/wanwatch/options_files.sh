#!/usr/bin/env bash
# The sample PPP scripts under dash: a password built to break out of its
# quotes stays one pppd word, the options file holding it is root's alone
# even over a world-readable leftover of an interrupted write, and a refused
# setting leaves no options file.
. "$(dirname "$0")/../lib.sh"

pass='\" plugin /tmp/evil.so \"'
for s in pppoe.sh:eth2.2:/etc/options.pppoe pptp.sh:10.8.0.1:/etc/options.pptp l2tp.sh:10.8.0.1:/etc/options.l2tp; do
  IFS=: read -r name third file <<< "$s"
  printf 'stale\n' > "$file.new" && chmod 644 "$file.new"
  dash "$SBX_PROJ/docs/examples/$name" alice "$pass" "$third" KeepAlive 60 || fail "$name refused a good setting"
  check "$name: the password is one word" "$(grep -e evil "$file")" \
    "password \"\\\\\\\" plugin /tmp/evil.so \\\\\\\"\""
  check "$name: only root reads the options file" "$(stat -c %a "$file")" 600
  ! dash "$SBX_PROJ/docs/examples/$name" alice "$pass" "$third" OnDemand "" 2> /dev/null || fail "$name took an empty idle time"
  check "$name: refused, no options file" "$(ls "$file"* 2> /dev/null)" ""
done
