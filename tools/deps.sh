#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# they are missing. usage: tools/deps.sh [host|cross|fuzz|all]   (default: all)
set -euo pipefail
want=${1:-all}

host_pkgs=(cmake g++ make libgtest-dev googletest iproute2 iptables util-linux iputils-ping procps strace irtt iperf3)
# The router targets: 32-bit MIPS in both byte orders, 32-bit ARM (hard float)
# and 64-bit ARM; their unit tests run under qemu-user.
cross_pkgs=(qemu-user)
for triplet in mipsel-linux-gnu mips-linux-gnu arm-linux-gnueabihf aarch64-linux-gnu; do
  cross_pkgs+=("g++-$triplet" "binutils-$triplet")
done
# clang with libFuzzer and its sanitizer runtimes, for the fuzz harnesses.
fuzz_pkgs=(clang libclang-rt-14-dev)

pkgs=()
case "$want" in
  host) pkgs=("${host_pkgs[@]}") ;;
  cross) pkgs=("${cross_pkgs[@]}") ;;
  fuzz) pkgs=(cmake make "${fuzz_pkgs[@]}") ;;
  all) pkgs=("${host_pkgs[@]}" "${cross_pkgs[@]}" "${fuzz_pkgs[@]}") ;;
  *) echo "usage: tools/deps.sh [host|cross|fuzz|all]" >&2; exit 2 ;;
esac

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
if ! { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >/tmp/deps-apt.log 2>&1; then
  tail -n 20 /tmp/deps-apt.log >&2
  echo "deps: could not install: ${missing[*]}" >&2
  exit 1
fi
