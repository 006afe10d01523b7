#!/usr/bin/env bash
# The whole test suite: unit and system tests of the sanitizer build, then the
# router cross-build with its unit tests under qemu and the size budgets, and
# each parser fuzz harness over its corpus plus a fixed number of inputs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=$(nproc 2>/dev/null || echo 2)

tools/deps.sh all

echo "== host build with address and undefined-behaviour sanitizers"
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DROUTER_SANITIZE=ON -DWANWATCH_TICK_MS=500 >/dev/null
cmake --build build/test -j"$jobs"
echo "== unit and system tests"
ctest --test-dir build/test -j"$jobs" --output-on-failure

echo "== parser fuzz harnesses (clang, libFuzzer): corpus plus a fixed number of inputs each"
tools/fuzz.sh --check

echo "== router cross-build (32-bit little-endian MIPS), unit tests under qemu"
cmake -S . -B build/mips -DCMAKE_TOOLCHAIN_FILE=cmake/mipsel-linux-gnu.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/mips -j"$jobs"
ctest --test-dir build/mips -j"$jobs" --output-on-failure

echo "== router binaries"
tools/sizes.sh build/mips/bin
