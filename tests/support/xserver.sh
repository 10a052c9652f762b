# SPDX-License-Identifier: GPL-3.0-or-later
# An X server of the caller's own, for programs that show windows where there is no display: Xvfb
# on a free display, optionally with the openbox window manager. Sourced by tests/support/xsession.sh,
# packaging/check-package.sh and bench/startup_xvfb.sh:
#
#   source tests/support/xserver.sh
#   xserver_start FOLDER [openbox]   starts them, logs in FOLDER; exports DISPLAY and a Qt program's
#                                    environment for it (xcb, no desktop theme, a runtime
#                                    folder of its own)
#   xserver_stop                     ends them; call it on every way out (the caller's exit trap)
#
# xserver_start returns 1 with a message on standard error when the server or the window manager
# is not up within 20 s, so a broken X installation fails a run at once instead of hanging it.

xserver_pid=""
xserver_wm_pid=""

xserver_start() {
    local folder=$1 wm=${2:-} display="" _
    command -v Xvfb >/dev/null || { echo "xserver.sh: Xvfb is missing (package xvfb)" >&2; return 1; }
    # Xvfb picks a free display and writes its number once it takes connections.
    : >"$folder/xserver.display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$folder/xserver.display" \
        2>"$folder/xvfb.log" &
    xserver_pid=$!
    for _ in $(seq 200); do
        read -r display <"$folder/xserver.display" || true
        [ -n "$display" ] && break
        kill -0 "$xserver_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$display" ]; then
        echo "xserver.sh: Xvfb did not start within 20 s: $(tail -n 3 "$folder/xvfb.log")" >&2
        return 1
    fi
    export DISPLAY=":$display"
    export QT_QPA_PLATFORM=xcb
    unset QT_QPA_PLATFORMTHEME SESSION_MANAGER
    # Qt warns on every start without one; a fresh one keeps the session's sockets (the
    # accessibility bus) apart from the user's.
    mkdir -p -m 700 "$folder/runtime"
    export XDG_RUNTIME_DIR="$folder/runtime"
    [ "$wm" = openbox ] || return 0

    command -v openbox >/dev/null && command -v xprop >/dev/null || {
        echo "xserver.sh: openbox or xprop is missing (packages openbox, x11-utils)" >&2
        return 1
    }
    openbox --sm-disable >"$folder/openbox.log" 2>&1 &
    xserver_wm_pid=$!
    # The window manager is in charge once it has announced itself on the root window.
    for _ in $(seq 200); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && return 0
        kill -0 "$xserver_wm_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "xserver.sh: openbox did not start within 20 s: $(tail -n 3 "$folder/openbox.log")" >&2
    return 1
}

xserver_stop() {
    local pid
    for pid in "$xserver_wm_pid" "$xserver_pid"; do
        [ -n "$pid" ] || continue
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    xserver_wm_pid=""
    xserver_pid=""
    return 0
}
