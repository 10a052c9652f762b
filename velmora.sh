#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Velmora on a Debian/Ubuntu machine, installing what it needs first.
#   ./velmora.sh run     build in Release and start the program on the shipped food table
#   ./velmora.sh test    build and run every test, again under the sanitizers, a short fuzz run and
#                        the package check (non-zero exit on any failure)
#   ./velmora.sh bench   build in Release and print the benchmark's figures
#   ./velmora.sh startup build in Release and time the splash and the main window mapping under Xvfb
#                        against a minimal Qt program, on the shipped table and one ten times its size
#   ./velmora.sh package build in Release and make the Debian package build/release/velmora_1.0_amd64.deb
set -euo pipefail
cd "$(dirname "$0")"

# The desktop tests need a window manager (openbox), X tools (x11-utils: xprop), a session bus
# (dbus) and a screen reader's view of the program (at-spi2-core, python3-pyatspi).
packages=(cmake g++ make qt6-base-dev libsqlite3-dev fonts-liberation2 xvfb xauth xdotool
          openbox x11-utils dbus at-spi2-core python3-pyatspi
          dpkg-dev file desktop-file-utils appstream lintian man-db clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

case "${1:-}" in
    run)
        cmake --preset release >/dev/null
        cmake --build --preset release
        exec build/release/bin/velmora
        ;;
    test)
        cmake --preset test >/dev/null
        cmake --build --preset test
        ctest --preset test
        # The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
        cmake --preset asan >/dev/null
        cmake --build --preset asan
        ctest --preset asan
        # Every parser fuzzed for a few seconds from its committed corpus.
        fuzz/run.sh 8
        # The Debian package: built, validated, installed, started, purged.
        packaging/check-package.sh
        ;;
    bench)
        cmake --preset release >/dev/null
        cmake --build --preset release --target velmora_bench
        QT_QPA_PLATFORM=offscreen build/release/bin/velmora_bench
        ;;
    package)
        cmake --preset release >/dev/null
        cmake --build --preset release
        (cd build/release && cpack -G DEB)
        ;;
    startup)
        cmake --preset release >/dev/null
        cmake --build --preset release --target velmora velmora_startup_floor velmora_mapwatch \
            velmora_scaletable
        bench/startup_xvfb.sh build/release
        ;;
    *)
        echo "usage: $0 run|test|bench|startup|package" >&2
        exit 2
        ;;
esac
