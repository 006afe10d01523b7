# Sourced by pppoe.sh, pptp.sh (and accel-pptp.sh) and l2tp.sh: checking the
# stored values and writing pppd's options file from them. wanwatch passes the
# account as stored, any characters; each value becomes one double-quoted
# pppd word, written with printf '%s' (an echo would read its backslashes
# again under some shells and undo the quoting). The sourcing script sets
# $script (its name, for messages) and $options (the file it writes).
#
# A refused setting dials nothing: no options file is left behind, neither a
# half-written new one nor the old one with the previous account.

# refuse REASON: the old options file goes, and the script ends.
refuse() {
  printf '%s: %s; not dialling\n' "$script" "$1" >&2
  rm -f "$options" "$options.new"
  exit 1
}

# word VALUE WHAT: VALUE as a pppd word in double quotes, backslash and quote
# escaped. A line break cannot be part of a value in the options file.
word() {
  case "$1" in
    *"
"*|*"$(printf '\r')"*) refuse "$2 holds a line break" ;;
  esac
  printf '"%s"' "$(printf '%s' "$1" | sed 's/[\\"]/\\&/g')"
}

# dial_lines OPMODE IDLE: OnDemand dials when traffic needs the link and
# hangs up after IDLE seconds without any; anything else keeps the session
# up while pppd runs.
dial_lines() {
  case "$1" in
    OnDemand)
      case "$2" in
        ""|*[!0-9]*) refuse "bad idle time: $2" ;;
      esac
      printf '%s\n' demand "idle $2"
      ;;
  esac
}

# host_word VALUE WHAT: a host name or address (it reaches a command line).
host_word() {
  case "$1" in
    ""|-*|*[!A-Za-z0-9.:-]*) refuse "bad $2: $1" ;;
  esac
  printf '%s' "$1"
}

# write_options: the lines on standard input become $options, whole. The
# password is in the file: only root reads it. The umask sets the mode only
# of a file it creates, so a leftover new file (a write cut short, of any
# mode) goes first.
write_options() {
  rm -f "$options.new" && ( umask 077 && cat > "$options.new" ) && mv -f "$options.new" "$options" ||
    refuse "cannot write $options"
}
