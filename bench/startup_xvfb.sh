#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start-up of the real program in a real X server, as a user waits for it: the time from starting
# the process to its splash window being mapped and to its main window being mapped, and its peak
# memory, for Velmora and for the floor (velmora_startup_floor: the least code that shows the same
# splash and the same first screen, reading only what that screen needs), in alternating runs, on
# the shipped table and on ones ten and 59 times its size. Prints the medians and the ratios. Starts its
# own Xvfb (no window manager), so it needs no display.
#
#   bench/startup_xvfb.sh [BUILD_DIR] [RUNS]      defaults: build/release, 11 runs of each per size
#
# Needs Xvfb (xvfb) and the X11 headers for its watcher (libx11-dev). The watcher,
# velmora_mapwatch, listens for the X server's map events, so the times are exact to the event and
# the programs are not slowed by polling; it tells the main window from the splash by window type
# and width, and reads the peak memory from the kernel's accounting of the ended process (the
# "Maximum resident set size" of GNU time).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../tests/support/xserver.sh"
build="${1:-$here/../build/release}"
runs="${2:-11}"
if [ ! -d "$build" ]; then
    echo "startup_xvfb.sh: no build folder $build (build it first, e.g. ./velmora.sh run)" >&2
    exit 2
fi
if ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
    echo "startup_xvfb.sh: RUNS must be a positive number, not '$runs'" >&2
    exit 2
fi
build="$(cd "$build" && pwd)"  # the runs start from another folder
bin="$build/bin"
programs=(velmora velmora_startup_floor velmora_mapwatch velmora_scaletable)

if ! command -v Xvfb >/dev/null; then
    echo "startup_xvfb.sh: Xvfb is not installed (package xvfb)" >&2
    exit 2
fi
# Bring the programs up to date when the build folder is a CMake one.
if [ -f "$build/CMakeCache.txt" ]; then
    cmake --build "$build" --target "${programs[@]}" >/dev/null
fi
for p in "${programs[@]}" Velmora.mdb; do
    if [ ! -e "$bin/$p" ]; then
        echo "startup_xvfb.sh: $bin/$p is missing (velmora_mapwatch needs libx11-dev)" >&2
        exit 2
    fi
done

scratch="$(mktemp -d)"
cleanup() {
    xserver_stop
    rm -rf "$scratch"
}
trap cleanup EXIT

# Both programs read the same file at each size, by path: the shipped table itself, and tables ten
# and 59 times its size (466,513 rows: a full FoodData Central table) written beside it by the
# benchmark's own table scaler.
tenfold="$scratch/Velmora-x10.mdb"
tenfold_rows=$("$bin/velmora_scaletable" "$tenfold" 10 "$bin/Velmora.mdb")
shipped_rows=$((tenfold_rows / 10))  # ten exact copies of the shipped rows
big="$scratch/Velmora-x59.mdb"
big_rows=$("$bin/velmora_scaletable" "$big" 59 "$bin/Velmora.mdb")

xserver_start "$scratch"

# One run: prints "SPLASH_MS MAIN_MS MAXRSS_KIB". A failed run ends the script.
measure() {
    (cd /tmp && "$bin/velmora_mapwatch" --timeout 120000 --linger 500 "$@")
}
run_floor() { measure "$bin/velmora_startup_floor" "$1"; }
run_velmora() { measure "$bin/velmora" --database "$1"; }

# The median of the numbers on stdin, one a line; "-" when there are none.
median() {
    sort -g | awk 'NF { v[++n] = $1 } END {
        if (n == 0) print "-"; else if (n % 2) print v[(n + 1) / 2]; else print (v[n / 2] + v[n / 2 + 1]) / 2 }'
}

# Prints "label: Velmora X (floor Y) ratio R"; "-" where a figure is missing.
figure() {
    awk -v label="$1" -v v="$2" -v f="$3" -v unit="$4" -v scale="$5" 'BEGIN {
        if (v == "-" || f == "-") { printf "  %-27s Velmora %s (floor %s)\n", label ":", v, f; exit }
        printf "  %-27s Velmora %7.1f %s (floor %7.1f %s) ratio %.2f\n",
            label ":", v / scale, unit, f / scale, unit, v / f
    }'
}

measure_size() {
    local name="$1" rows="$2" table="$3"
    local f_splash=() f_main=() f_kib=() v_splash=() v_main=() v_kib=()
    local out s m k
    # One run of each first, unrecorded: it fills the file and font caches for both alike.
    run_velmora "$table" >/dev/null
    run_floor "$table" >/dev/null
    echo "$name ($rows rows):"
    for ((i = 1; i <= runs; i++)); do
        out=$(run_floor "$table")
        read -r s m k <<<"$out"
        if [ "$s" != "-" ]; then f_splash+=("$s"); fi
        f_main+=("$m") f_kib+=("$k")
        local floor_line="floor splash $s main $m ms $k KiB"
        out=$(run_velmora "$table")
        read -r s m k <<<"$out"
        if [ "$s" != "-" ]; then v_splash+=("$s"); fi
        v_main+=("$m") v_kib+=("$k")
        printf '  run %2d: Velmora splash %s main %s ms %s KiB   %s\n' "$i" "$s" "$m" "$k" \
            "$floor_line"
    done
    figure "splash mapped" "$(printf '%s\n' "${v_splash[@]}" | median)" \
        "$(printf '%s\n' "${f_splash[@]}" | median)" ms 1
    figure "main window mapped" "$(printf '%s\n' "${v_main[@]}" | median)" \
        "$(printf '%s\n' "${f_main[@]}" | median)" ms 1
    figure "peak RSS" "$(printf '%s\n' "${v_kib[@]}" | median)" \
        "$(printf '%s\n' "${f_kib[@]}" | median)" MiB 1024
}

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores; load average $(cut -d' ' -f1-3 /proc/loadavg)"
measure_size "shipped table" "$shipped_rows" "$bin/Velmora.mdb"
measure_size "ten times the shipped table" "$tenfold_rows" "$tenfold"
measure_size "59 times the shipped table" "$big_rows" "$big"
echo "# medians of $runs alternating runs each after a warm-up pair, from the process start to the map event, under Xvfb without a window manager; ratios are Velmora / floor"
echo "# load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
