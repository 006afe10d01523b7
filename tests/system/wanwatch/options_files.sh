#!/usr/bin/env bash
# The sample PPP scripts under dash: a password built to break out of its
# quotes stays one pppd word, and a refused setting leaves no options file.
. "$(dirname "$0")/../lib.sh"

pass='\" plugin /tmp/evil.so \"'
for s in pppoe.sh:eth2.2:/etc/options.pppoe pptp.sh:10.8.0.1:/etc/options.pptp l2tp.sh:10.8.0.1:/etc/options.l2tp; do
  IFS=: read -r name third file <<< "$s"
  dash "$SBX_PROJ/docs/examples/$name" alice "$pass" "$third" KeepAlive 60 || fail "$name refused a good setting"
  check "$name: the password is one word" "$(grep -e evil "$file")" \
    "password \"\\\\\\\" plugin /tmp/evil.so \\\\\\\"\""
  ! dash "$SBX_PROJ/docs/examples/$name" alice "$pass" "$third" OnDemand "" 2> /dev/null || fail "$name took an empty idle time"
  check "$name: refused, no options file" "$(ls "$file"* 2> /dev/null)" ""
done
