#!/usr/bin/env bash
# Boots the lab box (tools/labbox/build.sh) and runs a bash script in it as
# root. The box sees this machine's file system read-only under a writable
# overlay that vanishes with it, so the project's checkout (and its build) is
# at the same path as here; the run's own directory, given to the script as
# $LABBOX_DIR and its working directory, is writable and shared with this
# machine (--dir names it; by default a fresh one, removed afterwards). The
# script's output is printed as it comes, and its exit status is this
# command's. The box powers off when the script ends; one still running at
# the time limit is stopped (status 124), and one that never ran the script
# gives 125 and the end of its console.
#
# usage: tools/labbox/run.sh [--dir DIR] [--env NAME=VALUE]... SCRIPT [SECONDS]
#   SECONDS  the time limit (default 300)
#   --dir    the run's directory (kept)
#   --env    a variable for the script's environment
#   --box    the directory of the built box (default: build/labbox)
# LABBOX_CONSOLE=FILE keeps the console (kernel and boot messages) there.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
box=$root/build/labbox
dir=
envs=()
usage() { echo "usage: tools/labbox/run.sh [--dir DIR] [--box DIR] [--env NAME=VALUE]... SCRIPT [SECONDS]" >&2; exit 2; }
while [ $# -gt 0 ]; do
  case "$1" in
    --dir) dir=$2; shift 2 ;;
    --box) box=$2; shift 2 ;;
    --env) envs+=("$2"); shift 2 ;;
    -*) usage ;;
    *) break ;;
  esac
done
[ $# -eq 1 ] || [ $# -eq 2 ] || usage
script=$1
limit=${2:-300}
[[ "$limit" =~ ^[0-9]+$ ]] || usage
[ -f "$script" ] || { echo "labbox: no script $script" >&2; exit 2; }
for f in vmlinuz initrd.gz box.env; do
  [ -f "$box/$f" ] || { echo "labbox: $box/$f is missing: run tools/labbox/build.sh" >&2; exit 2; }
done
# shellcheck source=/dev/null
. "$box/box.env"

work=$(mktemp -d)
cleanup() {
  [ -z "${tailer:-}" ] || kill "$tailer" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
if [ -z "$dir" ]; then
  dir=$work/dir
  mkdir "$dir"
fi
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
for p in "$dir" "$modules" "$root"; do
  [[ "$p" =~ ^/[A-Za-z0-9/._-]*$ ]] || { echo "labbox: the path $p has characters the box's command line cannot carry" >&2; exit 2; }
done
cp "$script" "$dir/run.sh"
for e in "${envs[@]}"; do
  name=${e%%=*} value=${e#*=}
  [[ "$name" =~ ^[A-Za-z_][A-Za-z0-9_]*$ ]] || { echo "labbox: bad variable name: $name" >&2; exit 2; }
  printf "export %s='%s'\n" "$name" "${value//\'/\'\\\'\'}"
done > "$dir/env"

console=${LABBOX_CONSOLE:-$work/console.log}
: > "$work/output.log"
tail -n +1 -f "$work/output.log" &
tailer=$!
rc=0
# Software emulation: a nested guest under KVM hangs in its firmware here.
timeout -k 5 "$limit" qemu-system-x86_64 -accel tcg,thread=multi -cpu max -smp 2 -m 2048 \
  -nodefaults -no-reboot -display none -vga none -monitor none -nic none \
  -kernel "$box/vmlinuz" -initrd "$box/initrd.gz" \
  -append "console=ttyS0 panic=-1 loglevel=3 rdinit=/init labbox_dir=$dir labbox_modules=$modules labbox_boot=$root/tools/labbox/boot" \
  -virtfs "local,path=/,mount_tag=root,security_model=none,readonly=on,multidevs=remap" \
  -virtfs "local,path=$dir,mount_tag=work,security_model=none,multidevs=remap" \
  -serial "file:$console" -serial "file:$work/output.log" </dev/null >"$work/qemu.log" 2>&1 || rc=$?
sleep 0.2
kill "$tailer" 2>/dev/null || true
wait "$tailer" 2>/dev/null || true
tailer=

if [ $rc -eq 124 ] || [ $rc -eq 137 ]; then
  echo "labbox: still running after $limit s, stopped" >&2
  exit 124
fi
status=$(sed -n 's/^labbox: exit \([0-9]*\)\r\{0,1\}$/\1/p' "$console" | tail -n 1)
if [ -z "$status" ]; then
  echo "labbox: the box did not run the script (qemu status $rc); its console's end:" >&2
  tail -n 30 "$console" "$work/qemu.log" >&2
  exit 125
fi
exit "$status"
