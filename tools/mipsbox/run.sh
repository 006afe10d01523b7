#!/usr/bin/env bash
# Boots the MIPS box (tools/mipsbox/build.sh) under qemu-system-mipsel on the
# Malta board and runs a script in it as root, with busybox's sh, after the
# box's /init has mounted the kernel's file systems and loaded the modules.
# The script's output (standard output and error) is printed here, and its
# exit status is this command's. The machine powers off when the script ends;
# a box still running after the time limit is stopped (status 124), and a box
# that never ran the script gives 125 and the tail of its console.
#
# usage: tools/mipsbox/run.sh [--timeout S] [--file PATH[=BOXPATH]]...
#                             [--env NAME=VALUE]... SCRIPT
#   --file  copies a host file or directory into the box (default place:
#           /box/<its name>); the script itself is /box/run.sh
#   --env   sets a variable in the script's environment
#   --box   the directory of vmlinuz and initrd.gz (default: build/mipsbox)
# MIPSBOX_CONSOLE=FILE keeps the console (kernel and /init messages) there.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
box=$root/build/mipsbox
timeout=120
files=()
envs=()
usage() { echo "usage: tools/mipsbox/run.sh [--timeout S] [--box DIR] [--file PATH[=BOXPATH]]... [--env NAME=VALUE]... SCRIPT" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --timeout) timeout=$2; shift 2 ;;
    --box) box=$2; shift 2 ;;
    --file) files+=("$2"); shift 2 ;;
    --env) envs+=("$2"); shift 2 ;;
    -*) usage ;;
    *) break ;;
  esac
done
[ $# -eq 1 ] || usage
script=$1
for f in "$box/vmlinuz" "$box/initrd.gz"; do
  [ -f "$f" ] || { echo "mipsbox: $f is missing: run tools/mipsbox/build.sh" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
stage=$work/stage
mkdir -p "$stage/box"
cp "$script" "$stage/box/run.sh"
for f in "${files[@]}"; do
  src=${f%%=*}
  dst=/box/${src##*/}
  [ "$f" = "$src" ] || dst=${f#*=}
  mkdir -p "$stage$(dirname "$dst")"
  cp -R "$src" "$stage$dst"
done
for e in "${envs[@]}"; do
  name=${e%%=*} value=${e#*=}
  [[ "$name" =~ ^[A-Za-z_][A-Za-z0-9_]*$ ]] || { echo "mipsbox: bad variable name: $name" >&2; exit 2; }
  printf "export %s='%s'\n" "$name" "${value//\'/\'\\\'\'}"
done > "$stage/box/env"

# The run's files as a second archive after the box's own: the kernel unpacks
# both into the same root.
cp "$box/initrd.gz" "$work/initrd.gz"
(cd "$stage" && find . -mindepth 1 | cpio -o -H newc --quiet -R 0:0) | gzip -1 >> "$work/initrd.gz"

console=${MIPSBOX_CONSOLE:-$work/console.log}
rc=0
timeout -k 5 "$timeout" qemu-system-mipsel -M malta -m 256 -no-reboot \
  -kernel "$box/vmlinuz" -initrd "$work/initrd.gz" \
  -append "console=ttyS0 panic=1 loglevel=3 rdinit=/init" \
  -vga none -display none -monitor none -nic none -parallel none \
  -serial "file:$console" -serial "file:$work/output.log" </dev/null >"$work/qemu.log" 2>&1 || rc=$?

cat "$work/output.log" 2>/dev/null || true
if [ $rc -eq 124 ] || [ $rc -eq 137 ]; then
  echo "mipsbox: still running after ${timeout} s, stopped" >&2
  exit 124
fi
status=$(sed -n 's/^box: exit \([0-9]*\)\r\{0,1\}$/\1/p' "$console" | tail -n 1)
if [ -z "$status" ]; then
  echo "mipsbox: the box did not run the script (qemu status $rc); its console's end:" >&2
  tail -n 30 "$console" "$work/qemu.log" >&2
  exit 125
fi
exit "$status"
