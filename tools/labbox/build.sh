#!/usr/bin/env bash
# Builds the lab box: Debian 12's amd64 kernel (every qdisc, classifier,
# netfilter match and tunnel module the router's programs ask for) and an
# initramfs that mounts this machine's root file system, read-only over 9p,
# beneath a tmpfs overlay, and makes that PID 1's root. The box then runs this
# machine's own tools and the project's own build; its kernel loads modules on
# demand through the real root's /sbin/modprobe, from the unpacked package.
#
# usage: tools/labbox/build.sh [--out DIR]
#   --out DIR  where vmlinuz, initrd.gz and box.env go (default: build/labbox)
# The packages (linux-image-amd64 resolved to its versioned package, and a
# static busybox for the initramfs) are fetched by name with apt-get download,
# never installed, into $LABBOX_CACHE (default: ~/.cache/router-labbox), and
# unpacked there once.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/labbox
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out=$2; shift 2 ;;
    *) echo "usage: tools/labbox/build.sh [--out DIR]" >&2; exit 2 ;;
  esac
done
cache=${LABBOX_CACHE:-${XDG_CACHE_HOME:-${HOME:-/root}/.cache}/router-labbox}
die() { echo "labbox: $*" >&2; exit 1; }
# shellcheck source=tools/download_debs.bash
. "$root/tools/download_debs.bash"
case "$cache" in
  /tmp|/tmp/*|/var|/var/*) die "the cache $cache is under a directory the sandbox covers" ;;
  *[!A-Za-z0-9/._-]*) die "the cache path $cache has characters the box's command line cannot carry" ;;
esac
debs=$cache/debs
mkdir -p "$debs" "$out"
out=$(cd "$out" && pwd)

# The kernel: the versioned package the metapackage names today (the name
# changes with point releases); the last one resolved when apt cannot tell.
kernel=$(apt-cache depends linux-image-amd64 2>/dev/null |
  sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*-amd64\)$/\1/p' | head -n 1)
if [ -n "$kernel" ]; then
  echo "$kernel" > "$cache/kernel.txt"
else
  kernel=$(cat "$cache/kernel.txt" 2>/dev/null) ||
    die "apt knows no linux-image-amd64: run apt-get update"
fi
packages=("$kernel" busybox-static)

missing=()
for p in "${packages[@]}"; do
  compgen -G "$debs/${p}_*_amd64.deb" >/dev/null || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "labbox: downloading ${missing[*]} into $debs"
  download_debs "$cache" "$debs" "${missing[@]}"
fi

# Unpacked once per set of packages; depmod makes the index the box's
# modprobe reads.
tree=$cache/tree
stamp=$(cd "$debs" && ls | sort | md5sum | cut -d' ' -f1)
if [ "$(cat "$tree/.stamp" 2>/dev/null)" != "$stamp" ]; then
  rm -rf "$tree"
  mkdir -p "$tree"
  for p in "${packages[@]}"; do
    dpkg-deb -x "$(compgen -G "$debs/${p}_*_amd64.deb" | tail -n 1)" "$tree"
  done
  kver=$(ls "$tree/lib/modules" | head -n 1)
  depmod -b "$tree" "$kver"
  echo "$stamp" > "$tree/.stamp"
fi
kver=$(ls "$tree/lib/modules" | head -n 1)
[ -n "$kver" ] && [ -f "$tree/boot/vmlinuz-$kver" ] || die "no kernel in $tree"
[ -x "$tree/bin/busybox" ] || die "no static busybox in $tree"
kdeb=$(basename "$(compgen -G "$debs/${kernel}_*_amd64.deb" | tail -n 1)" .deb)

# The initramfs: busybox, and the modules that reach the root file system
# (virtio's PCI transport, 9p over virtio, overlay), in the order depmod
# resolves, for /init to insert one after the other.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage"/{bin,dev,proc,sys,lower,upper,newroot,etc}
cp "$tree/bin/busybox" "$stage/bin/busybox"
ln -s busybox "$stage/bin/sh"
: > "$stage/etc/modules"
for m in virtio_pci 9pnet_virtio 9p overlay; do
  deps=$(modprobe -d "$tree" -S "$kver" --show-depends "$m") || die "module $m is not in kernel $kver"
  while read -r word path _; do
    [ "$word" = insmod ] || continue
    grep -qxF "${path#"$tree"}" "$stage/etc/modules" && continue
    mkdir -p "$stage$(dirname "${path#"$tree"}")"
    cp "$path" "$stage${path#"$tree"}"
    echo "${path#"$tree"}" >> "$stage/etc/modules"
  done <<< "$deps"
done
cp "$root/tools/labbox/init" "$stage/init"
chmod 755 "$stage/init"
(cd "$stage" && find . | LC_ALL=C sort | cpio -o -H newc --quiet -R 0:0) | gzip -1 > "$out/initrd.gz.new"
mv "$out/initrd.gz.new" "$out/initrd.gz"
cp "$tree/boot/vmlinuz-$kver" "$out/vmlinuz"
# What the runner needs to know: the kernel's release and package, and where
# its modules are for the box's modprobe.
printf 'kver=%s\npackage=%s\nmodules=%s\n' "$kver" "$kdeb" "$tree/lib/modules/$kver" > "$out/box.env"
echo "labbox: kernel $kdeb, $out/initrd.gz ($(du -k "$out/initrd.gz" | cut -f1) KiB)"
