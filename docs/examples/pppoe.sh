#!/bin/sh
# pppoe.sh USER PASSWORD INTERFACE OPMODE IDLE: what the router's PPPoE script
# must do before wanwatch runs `pppd file /etc/options.pppoe &`: write that
# file for pppd's PPPoE plugin. wanwatch passes the account as stored, any
# characters; here each value becomes one double-quoted pppd word.
#   OPMODE OnDemand dials when traffic needs the link and hangs up after IDLE
#   seconds without any; anything else keeps the session up while pppd runs.
# wanwatch dials again itself (the redial check), so pppd does not persist.
# The link state wanwatch reads, /etc/link, is written by /etc/ppp/ip-up and
# /etc/ppp/ip-down (samples beside this script).
if [ $# -ne 5 ]; then
  echo "usage: pppoe.sh USER PASSWORD INTERFACE OPMODE IDLE" >&2
  exit 2
fi
options=/etc/options.pppoe

# A pppd word in double quotes: backslash and quote escaped. A line break
# cannot be part of a value in the options file.
word() {
  case "$1" in
    *"
"*|*"$(printf '\r')"*) echo "pppoe.sh: $2 holds a line break; not dialling" >&2; exit 1 ;;
  esac
  printf '"%s"' "$(printf '%s' "$1" | sed 's/[\\"]/\\&/g')"
}

case "$3" in
  ""|*[!A-Za-z0-9._-]*) echo "pppoe.sh: bad interface name: $3" >&2; exit 1 ;;
esac
user=$(word "$1" "the user name") || exit 1
password=$(word "$2" "the password") || exit 1

# The password is in the file: only root reads it.
umask 077
{
  echo "plugin rp-pppoe.so"
  echo "nic-$3"
  echo "unit 0"
  echo "user $user"
  echo "password $password"
  echo "noauth"
  echo "noipdefault"
  echo "defaultroute"
  echo "usepeerdns"
  echo "mtu 1492"
  echo "mru 1492"
  echo "noaccomp"
  echo "nopcomp"
  echo "novj"
  echo "nobsdcomp"
  echo "nodeflate"
  echo "lcp-echo-interval 10"
  echo "lcp-echo-failure 3"
  echo "maxfail 1"
  case "$4" in
    OnDemand)
      case "$5" in
        ""|*[!0-9]*) echo "pppoe.sh: bad idle time: $5" >&2; exit 1 ;;
      esac
      echo "demand"
      echo "idle $5"
      ;;
  esac
} > "$options.new" && mv -f "$options.new" "$options"
