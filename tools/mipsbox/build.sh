#!/usr/bin/env bash
# Builds the MIPS box: Debian 12's mipsel kernel for the Malta board and an
# initramfs holding Debian's mipsel busybox (the dynamic build, /bin/sh),
# iproute2, iptables (legacy backend), ppp with its PPPoE plugin, pppoe
# (pppoe-server), dnsmasq, the libraries they need, the kernel modules the box
# loads, and the router programs of the MIPS build (vx_qos, wanwatch,
# hostscout, linkstamp, qosstat, libnvram.so.0).
#
# usage: tools/mipsbox/build.sh [--bin DIR] [--out DIR]
#   --bin DIR  the router programs (default: build/mips/bin, the router build
#              made or brought up to date first as tools/test.sh makes it)
#   --out DIR  where vmlinuz and initrd.gz go (default: build/mipsbox)
# The box also holds, as /opt/tick/wanwatch, the link watcher built with a
# 50 ms tick (build/mips-tick), for tests that wait for a count of ticks.
# The packages are fetched by name with apt-get download (the mipsel
# architecture must be added: tools/deps.sh box) into the cache
# $MIPSBOX_CACHE (default: ~/.cache/router-mipsbox), and taken from there by
# later runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=
out=$root/build/mipsbox
while [ $# -gt 0 ]; do
  case "$1" in
    --bin) bin=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "usage: tools/mipsbox/build.sh [--bin DIR] [--out DIR]" >&2; exit 2 ;;
  esac
done
cache=${MIPSBOX_CACHE:-${XDG_CACHE_HOME:-${HOME:-/root}/.cache}/router-mipsbox}
debs=$cache/debs
mkdir -p "$debs" "$out"
out=$(cd "$out" && pwd)
die() { echo "mipsbox: $*" >&2; exit 1; }
# shellcheck source=tools/download_debs.bash
. "$root/tools/download_debs.bash"

# cross_build DIR "TARGETS" [cmake options...]: the mipsel router build in DIR.
cross_build() {
  local dir=$1 targets=$2
  shift 2
  [ -f "$root/$dir/CMakeCache.txt" ] ||
    cmake -S "$root" -B "$root/$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mipsel-linux-gnu.cmake" \
      -DCMAKE_BUILD_TYPE=MinSizeRel -DROUTER_WERROR=ON "$@" >/dev/null
  # shellcheck disable=SC2086
  cmake --build "$root/$dir" -j2 --target $targets >/dev/null
}
if [ -z "$bin" ]; then
  cross_build build/mips "vx_qos wanwatch hostscout linkstamp qosstat"
  bin=$root/build/mips/bin
fi
cross_build build/mips-tick wanwatch -DROUTER_TESTS=OFF -DWANWATCH_TICK_MS=50

# The packages asked for, and the library packages they depend on, followed
# through library packages only (no perl, debconf or init system).
wanted=(iproute2 iptables busybox ppp pppoe dnsmasq-base)
# The modules the tests load; their dependencies come with them.
modules=(sch_htb sch_sfq cls_fw iptable_mangle ip6table_mangle xt_mark xt_multiport
         xt_tcpudp xt_iprange xt_length xt_addrtype veth bridge pppoe ppp_async)

# The kernel: the Malta flavour's current version, as the metapackage names it.
resolve_kernel() {
  apt-cache depends "linux-image-4kc-malta:mipsel" 2>/dev/null |
    sed -n 's/^ *Depends: \(linux-image-[0-9][^:]*-4kc-malta\):mipsel$/\1/p' | head -n 1
}

# lib_deps PACKAGE...: the library packages the packages depend on.
lib_deps() {
  apt-cache depends --no-recommends --no-suggests --no-conflicts --no-breaks \
      --no-replaces --no-enhances "${@/%/:mipsel}" 2>/dev/null |
    sed -n 's/^ *|\{0,1\}\(Pre\)\{0,1\}Depends: \(lib[^: <>]*\|zlib1g\):mipsel$/\2/p' | sort -u
}

# resolve_packages PACKAGE...: the packages and, level by level, the library
# packages they need.
resolve_packages() {
  local -A seen=()
  local level=("$@") next p
  while [ ${#level[@]} -gt 0 ]; do
    next=()
    for p in "${level[@]}"; do
      [ -z "${seen[$p]:-}" ] || continue
      seen[$p]=1
      next+=("$p")
      echo "$p"
    done
    [ ${#next[@]} -gt 0 ] || break
    mapfile -t level < <(lib_deps "${next[@]}")
  done
}

list=$cache/packages.txt
if [ ! -s "$list" ] || [ "$(find "$list" -mmin +1440 2>/dev/null)" ]; then
  dpkg --print-foreign-architectures | grep -qx mipsel ||
    die "the mipsel architecture is not added: run tools/deps.sh box"
  kernel=$(resolve_kernel)
  [ -n "$kernel" ] || die "no mipsel Malta kernel known to apt: run tools/deps.sh box"
  { echo "$kernel"; resolve_packages "${wanted[@]}"; } > "$list.new"
  mv "$list.new" "$list"
fi
mapfile -t packages < "$list"

missing=()
for p in "${packages[@]}"; do
  compgen -G "$debs/${p}_*_mipsel.deb" >/dev/null || compgen -G "$debs/${p}_*_all.deb" >/dev/null ||
    missing+=("$p:mipsel")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "mipsbox: downloading ${#missing[@]} packages into $debs"
  download_debs "$cache" "$debs" "${missing[@]}"
fi

# Unpacked once per set of packages.
tree=$cache/tree
stamp=$(cd "$debs" && ls | sort | md5sum | cut -d' ' -f1)
if [ "$(cat "$tree/.stamp" 2>/dev/null)" != "$stamp" ]; then
  rm -rf "$tree"
  mkdir -p "$tree"
  for p in "${packages[@]}"; do
    for f in "$debs/${p}"_*_mipsel.deb "$debs/${p}"_*_all.deb; do
      [ -f "$f" ] && dpkg-deb -x "$f" "$tree"
    done
  done
  echo "$stamp" > "$tree/.stamp"
fi

kver=$(ls "$tree/lib/modules" | head -n 1)
[ -n "$kver" ] || die "no kernel modules in $tree"
[ -f "$tree/boot/vmlinuz-$kver" ] || die "no kernel image in $tree/boot"
cp "$tree/boot/vmlinuz-$kver" "$out/vmlinuz"

bin=$(cd "$bin" 2>/dev/null && pwd) || die "no $bin: build the MIPS router build first"
for p in vx_qos wanwatch hostscout linkstamp qosstat libnvram.so.0; do
  [ -f "$bin/$p" ] || die "$bin/$p is missing: build the MIPS router build first"
done

# The initramfs.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage"/{bin,sbin,lib,etc/ppp,proc,sys,dev,tmp,var/run,run,root,box,usr/lib}
ln -s ../bin "$stage/usr/bin"
ln -s ../sbin "$stage/usr/sbin"

cp "$tree/bin/busybox" "$stage/bin/busybox"
# Every applet as a link, except the tools the box has for real.
real_tools=(ip tc iptables iptables-save iptables-restore ip6tables ip6tables-save
            ip6tables-restore pppd pppoe pppoe-server dnsmasq)
for applet in $(qemu-mipsel -L "$tree" "$tree/bin/busybox" --list-full); do
  name=${applet##*/}
  for t in "${real_tools[@]}"; do [ "$name" = "$t" ] && continue 2; done
  case "$applet" in
    sbin/*|usr/sbin/*) ln -sf ../bin/busybox "$stage/sbin/$name" ;;
    *) ln -sf busybox "$stage/bin/$name" ;;
  esac
done

cp "$tree/bin/ip" "$stage/sbin/ip"
cp "$tree/sbin/tc" "$stage/sbin/tc"
cp "$tree/usr/sbin/xtables-legacy-multi" "$stage/sbin/"
for t in iptables iptables-save iptables-restore ip6tables ip6tables-save ip6tables-restore; do
  ln -sf xtables-legacy-multi "$stage/sbin/$t"
done
mkdir -p "$stage/usr/lib/mipsel-linux-gnu"
cp -a "$tree/usr/lib/mipsel-linux-gnu/xtables" "$stage/usr/lib/mipsel-linux-gnu/"
cp "$tree/usr/sbin/pppd" "$tree/usr/sbin/pppoe" "$tree/usr/sbin/pppoe-server" "$stage/sbin/"
cp -a "$tree/usr/lib/pppd" "$stage/usr/lib/"
cp "$tree/usr/sbin/dnsmasq" "$stage/sbin/"
cp "$bin"/{vx_qos,wanwatch,hostscout,linkstamp,qosstat} "$stage/sbin/"
cp "$bin/libnvram.so.0" "$stage/lib/"
mkdir -p "$stage/opt/tick"
cp "$root/build/mips-tick/bin/wanwatch" "$stage/opt/tick/wanwatch"

# The libraries of every program in the box, their own libraries included.
libdirs=("$tree/lib/mipsel-linux-gnu" "$tree/usr/lib/mipsel-linux-gnu" "$tree/lib" "$bin")
find_lib() {
  local d
  for d in "${libdirs[@]}"; do
    [ -e "$d/$1" ] && { echo "$d/$1"; return 0; }
  done
  return 1
}
needed() { mipsel-linux-gnu-readelf -d "$1" 2>/dev/null | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'; }
declare -A have=()
todo=()
while IFS= read -r f; do todo+=("$f"); done < <(find "$stage" -type f)
cp -L "$tree/lib/ld.so.1" "$stage/lib/ld.so.1"
while [ ${#todo[@]} -gt 0 ]; do
  f=${todo[0]}
  todo=("${todo[@]:1}")
  for so in $(needed "$f"); do
    [ -z "${have[$so]:-}" ] || continue
    have[$so]=1
    [ "$so" = libnvram.so.0 ] && continue
    src=$(find_lib "$so") || die "library $so (needed by ${f#"$stage"}) is in no package fetched"
    cp -L "$src" "$stage/lib/$so"
    todo+=("$stage/lib/$so")
  done
done

# The modules, with the ones they depend on, and the index busybox's modprobe
# reads, made by the host's depmod for the box's kernel.
[ -f "$tree/lib/modules/$kver/modules.dep" ] || depmod -b "$tree" "$kver"
modfiles=()
for m in "${modules[@]}"; do
  deps=$(modprobe -d "$tree" -S "$kver" --show-depends "$m" 2>/dev/null) ||
    die "module $m is not in kernel $kver"
  while read -r word path _; do
    [ "$word" = insmod ] && modfiles+=("${path#"$tree"}")
  done <<< "$deps"
done
for f in $(printf '%s\n' "${modfiles[@]}" | sort -u); do
  mkdir -p "$stage$(dirname "$f")"
  cp "$tree$f" "$stage$f"
done
cp "$tree/lib/modules/$kver"/modules.{order,builtin,builtin.modinfo} "$stage/lib/modules/$kver/" 2>/dev/null || true
depmod -b "$stage" "$kver"
printf '%s\n' "${modules[@]}" > "$stage/etc/box-modules"

# Files of the box itself.
cp "$root/tools/mipsbox/init" "$stage/init"
chmod 755 "$stage/init"
mkdir -p "$stage/usr/lib/box"
cp "$root/tools/mipsbox/rig.sh" "$stage/usr/lib/box/rig.sh"
cp "$root/tools/bench/full_ports.sh" "$stage/usr/lib/box/full_ports.sh"
cp "$root/tools/isp/mii_mgr" "$stage/sbin/mii_mgr"
chmod 755 "$stage/sbin/mii_mgr"
echo 'root:x:0:0:root:/root:/bin/sh' > "$stage/etc/passwd"
echo 'root:x:0:' > "$stage/etc/group"

(cd "$stage" && find . | LC_ALL=C sort | cpio -o -H newc --quiet -R 0:0) | gzip -1 > "$out/initrd.gz"
echo "mipsbox: $out/vmlinuz ($kver), $out/initrd.gz ($(du -k "$out/initrd.gz" | cut -f1) KiB)"
