#!/bin/sh
# accel-pptp.sh USER PASSWORD SERVER OPMODE IDLE: wanwatch's PPTP script in
# gateway mode. The same options file as in WISP mode (pptp.sh, beside it):
# the user-space client as pppd's pty. A router whose pppd has the
# kernel-mode PPTP plugin writes its plugin lines here instead (see
# docs/integrating.md).
exec "$(dirname "$0")/pptp.sh" "$@"
