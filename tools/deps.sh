#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# they are missing. usage: tools/deps.sh [host|cross|fuzz|box|lab|all]   (default: all)
# box also adds Debian's mipsel architecture to apt, so that tools/mipsbox/build.sh
# can fetch the box's mipsel packages.
set -euo pipefail
want=${1:-all}

host_pkgs=(cmake g++ make libgtest-dev googletest iproute2 iptables util-linux iputils-ping procps strace irtt iperf3)
# The real WAN uplink of the link watcher's demo and test: the DHCP client and
# server, and the tools the watcher and the client's script run.
host_pkgs+=(busybox udhcpc dnsmasq-base net-tools psmisc)
# The router targets: 32-bit MIPS in both byte orders, 32-bit ARM (hard float)
# and 64-bit ARM; their unit tests run under qemu-user.
cross_pkgs=(qemu-user)
for triplet in mipsel-linux-gnu mips-linux-gnu arm-linux-gnueabihf aarch64-linux-gnu; do
  cross_pkgs+=("g++-$triplet" "binutils-$triplet")
done
# clang with libFuzzer and its sanitizer runtimes, for the fuzz harnesses.
fuzz_pkgs=(clang libclang-rt-14-dev)
# The MIPS box: the Malta board's emulator, cpio for its initramfs, depmod, and
# what its builder runs: the mipsel cross-build, readelf, qemu-user.
box_pkgs=(qemu-system-mips cpio kmod cmake make g++-mipsel-linux-gnu binutils-mipsel-linux-gnu qemu-user)
# The lab box: the PC emulator, cpio for its initramfs, depmod and modprobe
# (its kernel's modules are fetched, never installed, by tools/labbox/build.sh).
lab_pkgs=(qemu-system-x86 cpio kmod)
# Its ISP side and router daemons for PPPoE, PPTP and L2TP, run in the box
# from this machine's root. Their install scripts would start pptpd and
# xl2tpd on this machine: a policy-rc.d denies every start while they install.
lab_pkgs+=(ppp pptpd pptp-linux xl2tpd pppoe)

pkgs=()
case "$want" in
  host) pkgs=("${host_pkgs[@]}") ;;
  cross) pkgs=("${cross_pkgs[@]}") ;;
  fuzz) pkgs=(cmake make "${fuzz_pkgs[@]}") ;;
  box) pkgs=("${box_pkgs[@]}") ;;
  lab) pkgs=("${lab_pkgs[@]}") ;;
  all) pkgs=("${host_pkgs[@]}" "${cross_pkgs[@]}" "${fuzz_pkgs[@]}" "${box_pkgs[@]}" "${lab_pkgs[@]}") ;;
  *) echo "usage: tools/deps.sh [host|cross|fuzz|box|lab|all]" >&2; exit 2 ;;
esac

# The box's packages are mipsel ones, fetched (never installed) by the builder:
# apt must know the architecture and have its package lists.
need_update=0
if [ "$want" = box ] || [ "$want" = all ]; then
  if ! dpkg --print-foreign-architectures | grep -qx mipsel; then
    [ "$(id -u)" = 0 ] || { echo "deps: the mipsel architecture is not added; run as root" >&2; exit 1; }
    dpkg --add-architecture mipsel
    need_update=1
  fi
  apt-cache show linux-image-4kc-malta:mipsel >/dev/null 2>&1 || need_update=1
fi
if [ $need_update = 1 ]; then
  echo "deps: adding the mipsel package lists"
  apt-get update -qq >/tmp/deps-apt.log 2>&1 || { tail -n 20 /tmp/deps-apt.log >&2; echo "deps: apt-get update failed" >&2; exit 1; }
fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "deps: installing ${missing[*]}"
if [ "$(id -u)" != 0 ]; then
  echo "deps: missing packages: ${missing[*]}; run as root or install them with apt-get" >&2
  exit 1
fi
# invoke-rc.d asks /usr/sbin/policy-rc.d before it starts a service; exit 101
# is "action forbidden". One already there is the machine's and stays.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\n# tools/deps.sh: no service starts while packages install\nexit 101\n' > "$policy"
  chmod 755 "$policy"
  trap 'rm -f "$policy"' EXIT
fi
if ! { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >/tmp/deps-apt.log 2>&1; then
  tail -n 20 /tmp/deps-apt.log >&2
  echo "deps: could not install: ${missing[*]}" >&2
  exit 1
fi
