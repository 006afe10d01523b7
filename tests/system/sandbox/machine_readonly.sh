#!/usr/bin/env bash
# The sandbox keeps the machine's own files read-only. With its /var cover
# unmounted, a write below /var meets the machine's /var, read-only; so do
# writes to / and to the project. The output directory stays writable.
set -u
root=${PROJECT_ROOT:-$(cd "$(dirname "$0")/../../.." && pwd)}
if [ "$(id -u)" != 0 ]; then
  echo "SKIP: the sandbox needs root for its namespaces"
  exit 77
fi
probe=sandbox-ro-probe.$$
out=$(mktemp -d /tmp/systest.XXXXXX)
trap 'rm -rf "$out"' EXIT

"$root/tools/sandbox" --out "$out" -- bash -c '
  p=$1
  echo cover > "/var/$p" || { echo "FAIL: the /var cover is not writable"; exit 1; }
  umount /var || { echo "FAIL: could not uncover /var"; exit 1; }
  [ ! -e "/var/$p" ] || { echo "FAIL: /var still shows the cover"; exit 1; }
  for dir in /var /var/tmp / "$SBX_PROJ"; do
    if ( : > "$dir/$p" ) 2>/dev/null; then
      rm -f "$dir/$p"
      echo "FAIL: wrote below $dir"
      exit 1
    fi
    echo "ok: $dir is read-only"
  done
  echo written > "$SBX_OUT/$p" || { echo "FAIL: the output directory is not writable"; exit 1; }
' _ "$probe"
rc=$?
[ $rc -eq 0 ] || exit $rc
[ ! -e "/var/$probe" ] && [ ! -e "/var/tmp/$probe" ] && [ ! -e "/$probe" ] ||
  { echo "FAIL: a probe file reached the machine"; exit 1; }
[ "$(cat "$out/$probe" 2>/dev/null)" = written ] || { echo "FAIL: nothing came out through the output directory"; exit 1; }
echo "ok: the machine's /var is untouched"
