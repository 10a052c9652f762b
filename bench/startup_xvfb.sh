#!/usr/bin/env bash
# Start-up of the real program in a real X server: the time from starting the process to its main
# window being mapped, and its peak memory, for Velmora and for the floor (the smallest Qt program
# that shows the same list, velmora_startup_floor), in alternating runs. Prints the medians and
# the ratios. Starts its own Xvfb, so it needs no display.
#
#   bench/startup_xvfb.sh [BUILD_DIR] [RUNS]      defaults: build/release, 10 runs of each
#
# Needs Xvfb (xvfb) and the X11 headers for its watcher (libx11-dev). The watcher,
# velmora_mapwatch, listens for the X server's map events, so the time is exact to the event and
# the programs are not slowed by polling; it reads the peak memory from the kernel's accounting
# of the ended process (the "Maximum resident set size" of GNU time).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../build/release}"
runs="${2:-10}"
if [ ! -d "$build" ]; then
    echo "startup_xvfb.sh: no build folder $build (build it first, e.g. ./velmora.sh run)" >&2
    exit 2
fi
build="$(cd "$build" && pwd)"  # the runs start from another folder
bin="$build/bin"

if ! command -v Xvfb >/dev/null; then
    echo "startup_xvfb.sh: Xvfb is not installed (package xvfb)" >&2
    exit 2
fi
# Bring the three programs up to date when the build folder is a CMake one.
if [ -f "$build/CMakeCache.txt" ]; then
    cmake --build "$build" --target velmora velmora_startup_floor velmora_mapwatch >/dev/null
fi
for p in velmora velmora_startup_floor velmora_mapwatch Velmora.mdb; do
    if [ ! -e "$bin/$p" ]; then
        echo "startup_xvfb.sh: $bin/$p is missing (velmora_mapwatch needs libx11-dev)" >&2
        exit 2
    fi
done

# Our own X server on a free display; -displayfd tells us which.
fifo="$(mktemp -u)"
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null; rm -f "$fifo"' EXIT
read -r display <"$fifo"
export DISPLAY=":$display"
export QT_QPA_PLATFORM=xcb
unset QT_QPA_PLATFORMTHEME SESSION_MANAGER
# Qt warns on every start without one.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    XDG_RUNTIME_DIR="$(mktemp -d)"
    export XDG_RUNTIME_DIR
    trap 'kill "$xvfb_pid" 2>/dev/null; rm -f "$fifo"; rm -rf "$XDG_RUNTIME_DIR"' EXIT
fi

# One run: prints "MAP_MS MAXRSS_KIB". The table beside each program is the shipped one.
measure() {
    local title="$1" program="$2"
    (cd /tmp && "$bin/velmora_mapwatch" --timeout 60000 --linger 500 "$title" "$program")
}

median() {
    sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

velmora_ms=() velmora_kib=() floor_ms=() floor_kib=()
# One run of each first, unrecorded: it fills the file and font caches for both alike.
measure "Velmora" "$bin/velmora" >/dev/null
measure "Velmora floor" "$bin/velmora_startup_floor" >/dev/null
for ((i = 1; i <= runs; i++)); do
    out=$(measure "Velmora floor" "$bin/velmora_startup_floor")  # a failed run ends the script
    read -r ms kib <<<"$out"
    floor_ms+=("$ms") floor_kib+=("$kib")
    out=$(measure "Velmora" "$bin/velmora")
    read -r ms kib <<<"$out"
    velmora_ms+=("$ms") velmora_kib+=("$kib")
    printf 'run %2d: Velmora %8.2f ms %7d KiB   floor %8.2f ms %7d KiB\n' \
        "$i" "${velmora_ms[-1]}" "${velmora_kib[-1]}" "${floor_ms[-1]}" "${floor_kib[-1]}"
done

vm=$(printf '%s\n' "${velmora_ms[@]}" | median)
fm=$(printf '%s\n' "${floor_ms[@]}" | median)
vk=$(printf '%s\n' "${velmora_kib[@]}" | median)
fk=$(printf '%s\n' "${floor_kib[@]}" | median)
echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores; load average $(cut -d' ' -f1-3 /proc/loadavg)"
awk -v vm="$vm" -v fm="$fm" -v vk="$vk" -v fk="$fk" -v n="$runs" 'BEGIN {
    printf "start to main window mapped: %.1f ms (floor %.1f ms) ratio %.2f\n", vm, fm, vm / fm
    printf "peak RSS: %.1f MiB (floor %.1f MiB) ratio %.2f\n", vk / 1024, fk / 1024, vk / fk
    printf "# medians of %d alternating runs each, under Xvfb\n", n
}'
