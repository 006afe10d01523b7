#!/usr/bin/env bash
# The whole test suite: unit and system tests of the sanitizer build, each
# parser fuzz harness over its corpus plus a fixed number of inputs, then the
# router cross-builds (32-bit MIPS in both byte orders, 32-bit and 64-bit ARM)
# with their unit tests under qemu, the MIPS build's system tests on a MIPS
# kernel in an emulated machine (tools/mipsbox), the kernel tests on a full
# amd64 kernel in the lab box (tools/labbox) with the sanitizer build, and the
# binaries' sizes (the budgets gate the little-endian MIPS build, the router's own).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc 2>/dev/null || echo 2)

tools/deps.sh all

echo "== host build with address and undefined-behaviour sanitizers"
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DROUTER_SANITIZE=ON -DROUTER_WERROR=ON -DWANWATCH_TICK_MS=500 >/dev/null
cmake --build build/test -j"$jobs"
# The lab box's tunnel cases run wanwatch with a tick of their own.
tools/tunnel/build.sh
echo "== unit and system tests"
ctest --test-dir build/test -j"$jobs" --output-on-failure

echo "== lab box: the kernel tests on Debian's amd64 kernel (every queue, classifier and tunnel module)"
tools/labbox/test.sh

echo "== parser fuzz harnesses (clang, libFuzzer): corpus plus a fixed number of inputs each"
tools/fuzz.sh --check

# build directory, toolchain (cmake/<triplet>.cmake), what it is
targets=(
  "mips mipsel-linux-gnu 32-bit little-endian MIPS"
  "mips-be mips-linux-gnu 32-bit big-endian MIPS"
  "arm arm-linux-gnueabihf 32-bit ARM, hard float"
  "arm64 aarch64-linux-gnu 64-bit ARM"
)
for target in "${targets[@]}"; do
  read -r dir triplet what <<< "$target"
  echo "== router cross-build ($what), unit tests under qemu"
  cmake -S . -B "build/$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/$triplet.cmake" -DCMAKE_BUILD_TYPE=MinSizeRel -DROUTER_WERROR=ON >/dev/null
  cmake --build "build/$dir" -j"$jobs"
  ctest --test-dir "build/$dir" -j"$jobs" --output-on-failure
done

echo "== MIPS box: the router build on Debian's mipsel kernel under qemu-system-mipsel"
tools/mipsbox/test.sh

status=0
for target in "${targets[@]}"; do
  read -r dir triplet what <<< "$target"
  echo "== router binaries ($what)"
  tools/sizes.sh "build/$dir/bin" "$triplet" || status=1
done
exit $status
