# Shared part of the system tests. A test script sources this file first; run
# on the host, it re-runs the script inside the sandbox (tools/sandbox) and
# reports the stubs' log when the script fails. Set SANDBOX_KERNEL=1 before
# sourcing for real tc and iptables with router-like devices.
#
# Inside: the programs are on PATH, the stubs log to $SBX_OUT/stub.log, and
# the configuration store is /etc/nvram.conf (write it with `store`).

if [ -z "${SBX_OUT:-}" ]; then
  _root=${PROJECT_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
  # Without root the test is skipped (77), except in CI, where a test that
  # did not run fails the run.
  if [ "$(id -u)" != 0 ]; then
    if [ "${CI:-}" = true ]; then
      echo "FAIL: the system tests need root for their namespaces, and CI runs every one"
      exit 1
    fi
    echo "SKIP: the system tests need root for their namespaces"
    exit 77
  fi
  _script=$(realpath "$0")
  _out=$(mktemp -d /tmp/systest.XXXXXX)
  _flags=()
  [ "${SANDBOX_KERNEL:-0}" = 1 ] && _flags+=(--kernel)
  "$_root/tools/sandbox" "${_flags[@]}" --out "$_out" --bin "${SBX_BIN:-$_root/build/release/bin}" \
    -- bash "/mnt/sbx/proj/${_script#"$_root"/}"
  _rc=$?
  # The store keys this test read, for the check of docs/configuration.md.
  if [ -n "${NVRAM_TRACE_DIR:-}" ]; then
    mkdir -p "$NVRAM_TRACE_DIR"
    _keys="$NVRAM_TRACE_DIR/$(basename "$(dirname "$_script")").$(basename "$_script" .sh).keys"
    if [ -f "$_out/nvram-trace.keys" ]; then cp "$_out/nvram-trace.keys" "$_keys"; else rm -f "$_keys"; fi
  fi
  if [ $_rc -ne 0 ] && [ -s "$_out/stub.log" ]; then
    echo "--- last stub calls:"
    tail -n 40 "$_out/stub.log"
  fi
  rm -rf "$_out"
  exit $_rc
fi

set -u
export NVRAM_FILE=/etc/nvram.conf
# Every key the programs ask the store for (collected by the host side).
export NVRAM_TRACE=$SBX_OUT/nvram-trace.keys
STUB_LOG=$SBX_OUT/stub.log

# store: replaces the configuration store with the key=value lines on stdin,
# as a new file renamed over the old one (a running reader sees it whole).
store() { cat > /etc/nvram.conf.new && mv -f /etc/nvram.conf.new /etc/nvram.conf; }

reset_log() { : > "$STUB_LOG"; }

fail() {
  echo "FAIL: $*"
  exit 1
}

# check NAME ACTUAL EXPECTED: compares two texts exactly, showing a diff.
check() {
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1"
    diff <(printf '%s\n' "$3") <(printf '%s\n' "$2") | head -n 40
    exit 1
  fi
  echo "ok: $1"
}

# check_contains NAME TEXT NEEDLE
check_contains() {
  case "$2" in
    *"$3"*) echo "ok: $1" ;;
    *) echo "FAIL: $1: no '$3' in:"; printf '%s\n' "$2" | head -n 40; exit 1 ;;
  esac
}

# logged TOOL: the stub log's lines for one tool.
logged() { grep "^$1 " "$STUB_LOG" 2>/dev/null || true; }
