#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Velmora on a Debian/Ubuntu machine, installing first what the command needs.
#   ./velmora.sh run      build the program and its food table in Release and start it
#   ./velmora.sh test     build and run every test, again under the sanitizers, a short fuzz run and
#                         the package check (non-zero exit on any failure); with CI=true also
#                         both README commands in a fresh chroot of the other Debian stable release
#   ./velmora.sh bench    build in Release and print the benchmark's figures: the window's work,
#                         velmora-report's, a full FoodData Central import beside sqlite3, a
#                         Ciqual import beside expat parsing it alone, and reading a workbook sheet
#                         of the largest national table's size
#   ./velmora.sh startup  build in Release and time the splash and the main window mapping under
#                         Xvfb against a minimal Qt program, on the shipped table and ones ten and
#                         59 times its size
#   ./velmora.sh package  build the Debian packages as Debian does (dpkg-buildpackage -us -uc -b, the
#                         test suite included): build/package/velmora_*.deb and velmora-data_*.deb
#   ./velmora.sh package-check
#                         build the packages and check them, including installing and purging them
#                         system-wide (the test command does that part only with CI=true)
set -euo pipefail
cd "$(dirname "$0")"

command=${1:-}
case "$command" in
    run | test | bench | startup | package | package-check) ;;
    *)
        echo "usage: $0 run|test|bench|startup|package|package-check" >&2
        exit 2
        ;;
esac

# What every command builds with, and what the program needs to show its window (Arial's
# metric-compatible stand-in). The builder reads .xlsx workbooks (ZIP archives) with minizip, whose
# headers need zlib's; CMake finds it through pkg-config. It parses their XML and the XML tables
# with expat, several times faster than Qt's XML reader.
packages=(cmake g++ make pkgconf qt6-base-dev libsqlite3-dev libminizip-dev zlib1g-dev
    libexpat1-dev fonts-liberation2)
# What the package check runs besides the package build (whose own needs debian/control names): the
# validators, the build log's flag check, the manual page renderer, the MIME database, its XML
# checked and a file's type asked of it, and an X server to start the packaged program in.
package_tools=(dpkg-dev desktop-file-utils appstream lintian blhc man-db shared-mime-info
    libxml2-utils libglib2.0-bin xvfb xauth xdotool)
case "$command" in
    test)
        # Under CI, the README's commands are tried in a fresh chroot of the other Debian stable
        # release as well (packaging/check-distro.sh), which needs debootstrap and git.
        if [ "${CI:-}" = true ]; then packages+=(debootstrap git); fi
        # The desktop tests need a window manager (openbox), X tools (x11-utils: xprop), a session
        # bus (dbus) and a screen reader's view of the program (at-spi2-core, python3-pyatspi); the
        # fuzz run needs clang with its compiler runtime (libFuzzer, the sanitizers).
        packages+=("${package_tools[@]}" openbox x11-utils dbus at-spi2-core python3-pyatspi clang)
        ;;
    # The import's benchmark compares with sqlite3's own CSV import.
    bench) packages+=(sqlite3) ;;
    startup) packages+=(xvfb xauth libx11-dev) ;;
    package) packages+=(dpkg-dev) ;;
    package-check) packages+=("${package_tools[@]}") ;;
esac

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# The compiler runtime must be the one of the clang that is (or will be) installed: clang is a
# dependency package naming its versioned compiler, clang-N, whose runtime is libclang-rt-N-dev.
# $1 is that dependency list, from dpkg (installed) or apt-cache (to be installed).
runtime_for_clang() {
    local version
    version=$(grep -oE '\bclang-[0-9]+\b' <<<"$1" | head -n 1 | cut -d- -f2) || true
    [ -n "$version" ] && echo "libclang-rt-$version-dev"
}
need_clang=false
[[ " ${packages[*]} " == *" clang "* ]] && need_clang=true
clang_runtime=""
if $need_clang && installed clang; then
    clang_runtime=$(runtime_for_clang "$(dpkg-query -W -f='${Depends}' clang)") || true
    [ -n "$clang_runtime" ] && packages+=("$clang_runtime")
fi

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ] || { $need_clang && [ -z "$clang_runtime" ]; }; then
    "${sudo[@]}" apt-get update -q
    if $need_clang && [ -z "$clang_runtime" ]; then
        clang_runtime=$(runtime_for_clang "$(apt-cache depends clang 2>/dev/null)") || {
            echo "velmora.sh: apt knows no clang-N that the package clang depends on" >&2
            exit 1
        }
        installed "$clang_runtime" || missing+=("$clang_runtime")
    fi
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
            apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
fi

# The package build needs what debian/control names (dpkg-checkbuilddeps knows how to read it, apt
# how to install it).
if [[ "$command" == test || "$command" == package* ]] && ! dpkg-checkbuilddeps >/dev/null 2>&1; then
    echo "Installing the build dependencies that debian/control names"
    build_dep() {
        "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
            apt-get build-dep -y -q --no-install-recommends ./
    }
    build_dep || { "${sudo[@]}" apt-get update -q && build_dep; }
fi

case "$command" in
    run)
        cmake --preset release >/dev/null
        cmake --build --preset release --target velmora
        exec build/release/bin/velmora
        ;;
    test)
        # Warnings stop the build where the project knows the compiler and libraries: under CI, or
        # for a developer who sets VELMORA_WERROR=ON. A user's newer release prints its new
        # warnings and goes on.
        werror=OFF
        if [ "${CI:-}" = true ] || [ "${VELMORA_WERROR:-}" = ON ]; then werror=ON; fi
        # Only the test programs and the programs they run (velmora_tests), not the benchmark.
        cmake --preset test -DVELMORA_WERROR=$werror >/dev/null
        cmake --build --preset test --target velmora_tests
        ctest --preset test
        # The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
        cmake --preset asan -DVELMORA_WERROR=$werror >/dev/null
        cmake --build --preset asan --target velmora_tests
        ctest --preset asan
        # Every parser fuzzed for a few seconds from its committed corpus.
        fuzz/run.sh 8
        # The Debian packages: built, validated and started from their extracted files; installed
        # and purged as well under CI only.
        packaging/check-package.sh
        # Under CI, both README commands again on a fresh system of each other Debian stable
        # release than this machine's (VELMORA_DISTROS names others; the runs inside the chroot
        # set it empty).
        if [ "${CI:-}" = true ]; then
            this=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
            distros=${VELMORA_DISTROS-$(printf '%s\n' bookworm trixie | grep -vx "$this" || true)}
            if [ -n "$distros" ]; then
                # shellcheck disable=SC2086 # a list of code names
                packaging/check-distro.sh $distros
            fi
        fi
        ;;
    bench)
        cmake --preset release >/dev/null
        cmake --build --preset release --target velmora_bench velmora_bench_report \
            velmora_fdcbench velmora_xlsxbench velmora-report velmora-mkdb
        QT_QPA_PLATFORM=offscreen build/release/bin/velmora_bench
        build/release/bin/velmora_bench_report
        build/release/bin/velmora_fdcbench
        build/release/bin/velmora_xlsxbench
        ;;
    package)
        packaging/build-package.sh build/package
        ;;
    package-check)
        packaging/check-package.sh --install
        ;;
    startup)
        cmake --preset release >/dev/null
        cmake --build --preset release --target velmora velmora_startup_floor velmora_mapwatch \
            velmora_scaletable
        bench/startup_xvfb.sh build/release
        ;;
esac
