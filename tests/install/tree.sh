#!/usr/bin/env bash
# cmake --install into a temporary DESTDIR: the programs in sbin, the store
# library in lib only when it is this project's own, the sample store file and
# the documents in share/routerapps; with --strip, no symbol tables. Nothing
# installed is run. usage: tree.sh BUILD_DIR
set -euo pipefail
build=$1
src=$(cd "$(dirname "$0")/../.." && pwd)
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT

expected="usr/sbin/hostscout
usr/sbin/linkstamp
usr/sbin/qosstat
usr/sbin/vx_qos
usr/sbin/wanwatch
usr/share/routerapps/nvram.conf.sample"
# the documents as they stand in the source tree, the sample scripts among them
docs=$(cd "$src/docs" && find . -type f | sed 's#^\./#usr/share/routerapps/docs/#')
expected=$(printf '%s\n%s\n' "$expected" "$docs" | sort)
if [ -e "$build/bin/libnvram.so.0" ]; then
  expected=$(printf '%s\nusr/lib/libnvram.so.0\n' "$expected" | sort)
fi

DESTDIR=$dest cmake --install "$build" --prefix /usr --strip > /dev/null
actual=$(cd "$dest" && find . -type f -o -type l | sed 's#^\./##' | sed 's#^usr/lib/[^/]*-linux-gnu/#usr/lib/#' | sort)
if [ "$actual" != "$expected" ]; then
  echo "FAIL: installed tree"
  diff <(echo "$expected") <(echo "$actual")
  exit 1
fi
echo "ok: installed tree"

for f in "$dest"/usr/sbin/*; do
  if readelf -S "$f" | grep -q ' \.symtab '; then
    echo "FAIL: $f is not stripped"
    exit 1
  fi
  [ -x "$f" ] || { echo "FAIL: $f is not executable"; exit 1; }
done
echo "ok: programs stripped and executable"
for f in "$dest"/usr/share/routerapps/docs/examples/*; do
  [ ! -x "$f" ] || { echo "FAIL: the sample script $f is installed as a program"; exit 1; }
done
grep -q '^VX_QoSEnable=' "$dest/usr/share/routerapps/nvram.conf.sample" || { echo "FAIL: sample store file"; exit 1; }
grep -q '^#' "$dest/usr/share/routerapps/nvram.conf.sample" || { echo "FAIL: sample store file has no comments"; exit 1; }
echo "ok: sample store file"
