#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one program in an X session of its own, as a desktop user has it: Xvfb, the openbox window
# manager, and a D-Bus session bus (which starts the accessibility bus when asked). Focus,
# activation, stacking and screen readers then behave as on a desktop, which Qt's offscreen
# platform cannot show. Needs no display of its own.
#   tests/support/xsession.sh PROGRAM [ARG...]
set -euo pipefail

for tool in Xvfb openbox xprop dbus-run-session; do
    command -v "$tool" >/dev/null || { echo "xsession.sh: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=""
wm_pid=""
cleanup() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A free display, which Xvfb names once it is ready.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
read -r display <"$work/display"
export DISPLAY=":$display"

openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm_pid=$!
# The window manager is in charge once it has announced itself on the root window.
for _ in $(seq 200); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    kill -0 "$wm_pid" 2>/dev/null || { cat "$work/openbox.log" >&2; exit 1; }
    sleep 0.1
done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id" ||
    { echo "xsession.sh: openbox did not start" >&2; exit 1; }

mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=xcb
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
unset QT_QPA_PLATFORMTHEME SESSION_MANAGER
status=0
dbus-run-session -- "$@" || status=$?
exit "$status"
