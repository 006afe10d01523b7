# Shared part of the benchmark scripts, sourced on the host side.

# bench_build DIR [cmake options...]: configures and builds the host programs
# (no tests) in DIR.
bench_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DROUTER_TESTS=OFF "$@" >/dev/null
  cmake --build "$dir" -j2 >/dev/null
}

# bench_sandboxed [--kernel] BIN_DIR SCRIPT [env assignments...]: runs the
# benchmark script inside the sandbox (stub tools; with --kernel, the real
# kernel's devices) with the programs of BIN_DIR.
bench_sandboxed() {
  local flags=() out rc=0
  [ "$1" = --kernel ] && { flags+=(--kernel); shift; }
  local bin=$1 script=$2
  shift 2
  out=$(mktemp -d)
  tools/sandbox "${flags[@]}" --out "$out" --bin "$bin" -- env "$@" bash "/mnt/sbx/proj/$script" || rc=$?
  rm -rf "$out"
  return $rc
}

# bench_mips_size PROGRAM BUDGET: the program's stripped size in the router
# build (configured in build/mips when it is not there yet).
bench_mips_size() {
  local program=$1 budget=$2 stripped
  [ -f build/mips/CMakeCache.txt ] ||
    cmake -S . -B build/mips -DCMAKE_TOOLCHAIN_FILE=cmake/mipsel-linux-gnu.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/mips -j2 --target "$program" >/dev/null
  stripped=$(mktemp)
  mipsel-linux-gnu-strip -o "$stripped" "build/mips/bin/$program"
  echo "$program for the router (mipsel, stripped): $(stat -c %s "$stripped") bytes (budget $budget)"
  rm -f "$stripped"
}
