#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one program in an X session of its own, as a desktop user has it: Xvfb, the openbox window
# manager, and a D-Bus session bus (which starts the accessibility bus when asked). Focus,
# activation, stacking and screen readers then behave as on a desktop, which Qt's offscreen
# platform cannot show. Needs no display of its own.
#   tests/support/xsession.sh PROGRAM [ARG...]
set -euo pipefail
source "$(dirname "$0")/xserver.sh"

command -v dbus-run-session >/dev/null || { echo "xsession.sh: dbus-run-session is missing" >&2; exit 1; }

work=$(mktemp -d)
cleanup() {
    xserver_stop
    rm -rf "$work"
}
trap cleanup EXIT

xserver_start "$work" openbox
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
status=0
dbus-run-session -- "$@" || status=$?
exit "$status"
