# Shared part of hostscout's system tests (sourced inside the sandbox after
# lib.sh): the association table's test double, lease files, and a LAN with a
# storage device in a network namespace of its own.

HS_DIR=$SBX_PROJ/tests/system/hostscout
. "$HS_DIR/lan.bash"
HS_PRELOAD=$SBX_BIN/testtools/libassoc_shim.so
[ -f "$HS_PRELOAD" ] || fail "the association table test double is not built: $HS_PRELOAD"
export ASSOC_TABLE=/tmp/assoc ASSOC_LOG=/tmp/assoc.log
# The sanitizer build wants its runtime first in the library list; the test
# double is preloaded ahead of it and only forwards ioctl.
export ASAN_OPTIONS=verify_asan_link_order=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}

AT='ssdp: @@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@'
HASH='ssdp: ##########################################'

# hs: one hostscout run; sets out (its output) and rc (its exit status).
hs() {
  out=$(LD_PRELOAD=$HS_PRELOAD hostscout)
  rc=$?
}

# assoc COUNT [MAC...]: the table the driver hands out; no arguments: none
# (the request then fails as on a router without the wireless driver).
assoc() {
  if [ $# -eq 0 ]; then rm -f "$ASSOC_TABLE"; else printf '%s\n' "$@" > "$ASSOC_TABLE"; fi
  : > "$ASSOC_LOG"
}
table_requests() { wc -l < "$ASSOC_LOG"; }

# leases RECORD... [--tail N]: see leases.py.
leases() { python3 "$HS_DIR/leases.py" /var/udhcpd.leases "$@"; }

# file_is NAME PATH EXPECTED: the file's exact bytes (a missing file fails).
file_is() {
  [ -f "$2" ] || fail "$1: $2 is missing"
  check "$1" "$(cat "$2"; echo .)" "$3
."
}
