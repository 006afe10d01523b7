#!/usr/bin/env bash
# `vx_qos --dry-run` prints the messages and commands of a full build and
# changes nothing: no command runs, no pid file is made or read, exit 0. In
# batch mode it prints the batch texts as the tools would read them.
. "$(dirname "$0")/../lib.sh"
. "$(dirname "$0")/qos.bash"

store < "$SBX_PROJ/tools/bench/full.conf"
printf 'tcp,192.168.1.10,6881\n' > /var/bittorrent
printf 'tcp,192.168.1.23,990:999\n' > /var/ftp

vx_qos 1 > "$SBX_OUT/echo.out"
commands=$(grep -E '^(tc|iptables) ' "$SBX_OUT/echo.out")

# A pid file naming a live process would stop a build; a dry run ignores it.
sleep 30 & holder=$!
echo "$holder" > /var/vx_qos.pid
reset_log
vx_qos --dry-run > "$SBX_OUT/dry.out"; rc=$?
check "dry run exit status" "$rc" 0
check "dry run: no command run" "$(cat "$STUB_LOG")" ""
check "dry run: the pid file untouched" "$(cat /var/vx_qos.pid)" "$holder"
kill "$holder"; wait "$holder" 2>/dev/null
rm /var/vx_qos.pid
messages() { grep -E '^(vx_qos: |VX |Gateway Mode|=====)' "$1" | grep -v -E '^vx_qos: (batch for |VX debug)'; }
check "dry run: messages as in a build" "$(messages "$SBX_OUT/dry.out")" "$(messages "$SBX_OUT/echo.out")"
[ ! -e /var/vx_qos.pid ] || fail "dry run left a pid file"

if [ "${QOS_BATCH:-0}" = 1 ]; then
  # The batch texts: tc's lines without "tc" and the redirection, the
  # iptables lines without "iptables" and "-t mangle", blanks single.
  batch_form() {
    sed -E 's/ +1>\/dev\/null 2>&1$//; s/[ \t]+/ /g; s/^tc //; s/^iptables //; s/ ?-t mangle//; s/^ //'
  }
  text=$(sed -n '/^vx_qos: batch for tc -force -batch - (output discarded):$/,/^vx_qos: batch for tc -force -batch -:$/p' \
    "$SBX_OUT/dry.out" | sed '1d;$d')
  check "dry run: the reset's tc batch" "$text" "$(grep '^tc .*1>/dev/null' <<< "$commands" | batch_form)"
  text=$(sed -n '/^vx_qos: batch for tc -force -batch -:$/,/^vx_qos: batch for iptables-restore/p' "$SBX_OUT/dry.out" |
    sed '1d;$d')
  check "dry run: the tree's tc batch" "$text" "$(grep '^tc ' <<< "$commands" | grep -v '1>/dev/null' | batch_form)"
  text=$(sed -n '/^vx_qos: batch for iptables-restore --noflush:$/,/^COMMIT$/p' "$SBX_OUT/dry.out" | sed '1d')
  check "dry run: the mangle commit" "$text" "$(echo '*mangle'; grep '^iptables ' <<< "$commands" | batch_form; echo COMMIT)"
else
  check "dry run: every command" "$(grep -E '^(tc|iptables) ' "$SBX_OUT/dry.out")" "$commands"
fi
