#!/usr/bin/env bash
# Prints the stripped size and the needed libraries of each router binary and
# checks them against the budgets. This table of budgets is the only one (the
# README refers to it). The budgets gate the 32-bit little-endian MIPS build;
# for the other targets they are only shown beside the sizes.
# usage: tools/sizes.sh [BIN_DIR [TRIPLET]]   (default: build/mips/bin mipsel-linux-gnu)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=${1:-$root/build/mips/bin}
triplet=${2:-mipsel-linux-gnu}
strip=$triplet-strip
readelf=$triplet-readelf
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
printf '%-16s %8s %8s  %s\n' binary bytes budget needed
for entry in vx_qos:57344 wanwatch:28672 hostscout:24576 linkstamp:24576 qosstat:16384 libnvram.so.0:16384; do
  name=${entry%%:*}
  budget=${entry#*:}
  if [ ! -f "$bin/$name" ]; then
    echo "$name: missing in $bin"
    status=1
    continue
  fi
  "$strip" -o "$tmp/$name" "$bin/$name"
  size=$(stat -c %s "$tmp/$name")
  needed=$("$readelf" -d "$tmp/$name" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p' | tr '\n' ' ')
  verdict=""
  if [ "$size" -gt "$budget" ]; then
    if [ "$triplet" = mipsel-linux-gnu ]; then verdict="  OVER BUDGET"; status=1; else verdict="  (over the MIPS budget)"; fi
  fi
  case " $needed" in *libstdc++*|*libgcc_s*) verdict="$verdict  NEEDS C++ RUNTIME"; status=1 ;; esac
  printf '%-16s %8d %8d  %s%s\n' "$name" "$size" "$budget" "$needed" "$verdict"
done
exit $status
