# Shared part of the tests run in the MIPS box: the box's rig
# (tools/mipsbox/rig.sh) and the checks. Sourced first by each test.
set -u
. /usr/lib/box/rig.sh

# check NAME ACTUAL EXPECTED: compares two texts exactly, showing a diff.
check() {
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1"
    printf '%s\n' "$3" > /tmp/expected
    printf '%s\n' "$2" > /tmp/actual
    diff /tmp/expected /tmp/actual | head -n 40
    exit 1
  fi
  echo "ok: $1"
}
