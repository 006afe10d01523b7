# Shared part of the tests run in the MIPS box (busybox sh, as root, the
# box's own kernel): sourced first by each test, from /box/tests.
set -u
export NVRAM_FILE=/etc/nvram.conf

# fail MESSAGE: ends the test; a test's on_fail function shows what it keeps.
fail() {
  echo "FAIL: $*"
  command -v on_fail > /dev/null && on_fail
  exit 1
}

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

# store: replaces the configuration store with the lines on stdin, renamed
# over the old one.
store() { cat > /etc/nvram.conf.new && mv -f /etc/nvram.conf.new /etc/nvram.conf; }

# wait_until SECONDS NAME COMMAND...: polls COMMAND every 0.2 s until it
# succeeds; fails the test with NAME when it has not within SECONDS.
wait_until() {
  _end=$(( $(cut -d. -f1 /proc/uptime) + $1 )) _name=$2
  shift 2
  while ! "$@"; do
    [ "$(cut -d. -f1 /proc/uptime)" -lt $_end ] || fail "$_name: not within the time allowed"
    sleep 0.2
  done
}

# veth_to NAMESPACE DEV PEER: the device DEV here, its other end PEER in the
# network namespace NAMESPACE (made when missing), both up.
veth_to() {
  [ -e "/run/netns/$1" ] || ip netns add "$1"
  ip link add "$2" type veth peer name "$3" netns "$1"
  ip link set "$2" up
  ip -n "$1" link set "$3" up
}
