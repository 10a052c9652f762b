#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Tries the project on a freshly installed minimal Debian: builds a chroot of RELEASE with
# debootstrap, clones the committed HEAD of this repository into it, mounts fresh /proc, /sys,
# /dev/pts and /dev/shm there, and runs as root inside either
#
# the README's two commands, as a new user would:
#   1. ./velmora.sh run, the window shown on an Xvfb of this machine's: passes when the main window
#      maps with the shipped table open and the program quits on Ctrl+Q with status 0;
#   2. CI=true ./velmora.sh test: passes when it exits with status 0;
#
# or, with --package, the Debian package built as a build daemon builds it:
#   1. the source package made with the release's dpkg-source -b (packaging/build-package.sh
#      --source-only), unpacked, its build dependencies installed, and built with
#      dpkg-buildpackage -us -uc -b by an unprivileged user whose home does not exist, the test
#      suite included; blhc checks the build log;
#   2. the packages installed with apt-get, lintian run on the source and binary packages
#      (packaging/run-lintian.sh), and the autopkgtests (debian/tests) run on the installed
#      packages with autopkgtest ... -- null, as that user.
# Prints what passed and how long each step took; the logs stay in build/check-distro-RELEASE/.
#
#   packaging/check-distro.sh [--package] [RELEASE...] [MIRROR]
#
# RELEASE is a Debian code name; without one: bookworm, trixie and forky (Debian testing). A
# failure on forky is reported but does not fail the run: it shows a break in the next release
# early. MIRROR (with ://) defaults to the Debian mirror this machine's apt uses. Needs root,
# debootstrap, git and xvfb + xdotool; takes long (a full build and test run inside per release)
# and needs the package mirror. The test command runs it under CI for the Debian stable release
# that the machine is not (VELMORA_DISTROS in velmora.sh). Uncommitted changes are not part of the
# run.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
source "$source_dir/tests/support/xserver.sh"

say() { echo "check-distro: $*"; }
fail() {
    echo "check-distro: FAILED: $*" >&2
    exit 1
}
usage() {
    echo "usage: $0 [--package] [RELEASE...] [MIRROR]   (RELEASE: bookworm, trixie, forky, ...)" >&2
    exit 2
}

package_mode=false
releases=()
mirror=""
for arg in "$@"; do
    case "$arg" in
        --package) package_mode=true ;;
        *://*) mirror=$arg ;;
        *) [[ "$arg" =~ ^[a-z]+$ ]] && releases+=("$arg") || usage ;;
    esac
done
informational=(forky)
[ ${#releases[@]} -gt 0 ] || releases=(bookworm trixie "${informational[@]}")

# Several releases: each in a run of its own, one after the other, and a summary.
if [ ${#releases[@]} -gt 1 ]; then
    status=0 summary=()
    for release in "${releases[@]}"; do
        step=$SECONDS result=passed
        "$0" $($package_mode && echo --package) "$release" ${mirror:+"$mirror"} || result=FAILED
        result+=" ($((SECONDS - step)) s)"
        if [ "${result%% *}" = FAILED ]; then
            if [[ " ${informational[*]} " == *" $release "* ]]; then
                result+=", for information only"
            else
                status=1
            fi
        fi
        summary+=("$release: $result")
    done
    printf 'check-distro: %s\n' "${summary[@]}"
    exit "$status"
fi
release=${releases[0]}

# The first Debian archive (not its security archive) that apt's sources name.
default_mirror() {
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources \
        2>/dev/null | grep -oE 'https?://[^ ]+/debian/?( |$)' | head -n 1 | tr -d ' ' || true
}
mirror=${mirror:-$(default_mirror)}
mirror=${mirror:-http://deb.debian.org/debian}

[ "$(id -u)" -eq 0 ] || fail "needs root (debootstrap, mount, chroot)"
for tool in debootstrap git xdotool chroot mount umount findmnt; do
    command -v "$tool" >/dev/null || fail "$tool is missing (packages: debootstrap git xdotool)"
done
head=$(git -C "$source_dir" rev-parse HEAD)
[ -z "$(git -C "$source_dir" status --porcelain)" ] ||
    say "uncommitted changes in $source_dir are not part of the run (it clones $head)"

logs=$source_dir/build/check-distro-$($package_mode && echo package- || true)$release
rm -rf "$logs"
mkdir -p "$logs"
# On the disk, not in memory: the build inside takes gigabytes.
top=$(readlink -f "$(mktemp -d /var/tmp/velmora-distro.XXXXXX)")
root=$top/root
mounted=()   # mount points under $root, in the order they were mounted
run_pid=""

# Every process whose root folder is the chroot, whoever started it there (daemons too).
chroot_pids() {
    local p
    for p in /proc/[0-9]*; do
        [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && echo "${p#/proc/}"
    done
    return 0
}
end_chroot_processes() {
    local pids signal
    for signal in TERM TERM TERM KILL; do
        mapfile -t pids < <(chroot_pids)
        [ ${#pids[@]} -gt 0 ] || return 0
        kill -"$signal" "${pids[@]}" 2>/dev/null || true
        sleep 1
    done
    mapfile -t pids < <(chroot_pids)
    [ ${#pids[@]} -eq 0 ] || {
        echo "check-distro: processes ${pids[*]} in $root did not end" >&2
        return 1
    }
}
mounts_under_root() { findmnt -rn -o TARGET | grep -E "^$root(/|$)" || true; }
cleanup() {
    local status=$? m i
    set +e
    [ -n "$run_pid" ] && kill "$run_pid" 2>/dev/null
    end_chroot_processes || status=1
    xserver_stop
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        m=${mounted[i]}
        umount "$m" 2>/dev/null || umount -l "$m" || echo "check-distro: cannot unmount $m" >&2
    done
    # What debootstrap may have left mounted when it failed half-way, deepest first.
    mounts_under_root | sort -r | while read -r m; do umount "$m" 2>/dev/null || umount -l "$m"; done
    if [ -n "$(mounts_under_root)" ]; then
        # Removing through a mount would delete what it shows: this machine's /dev, /proc, /sys.
        echo "check-distro: still mounted, $top is left in place:" $(mounts_under_root) >&2
        exit 1
    fi
    rm -rf --one-file-system "$top"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# mount_in SOURCE TARGET ARG...: mounts below the chroot and remembers it for the clean-up.
mount_in() {
    local target=$root/$2
    mkdir -p "$target"
    mount "${@:3}" "$1" "$target"
    mounted+=("$target")
}

# in_chroot COMMAND: runs a shell command in the project's clone, as root logs in on a fresh system
# (no locale set), with the environment given before it.
in_chroot() {
    chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

started=$SECONDS
say "$release from $mirror into $root"
# A debootstrap older than the release knows no script for it; testing's is sid's.
script=/usr/share/debootstrap/scripts/$release
[ -e "$script" ] || script=/usr/share/debootstrap/scripts/sid
debootstrap --variant=minbase "$release" "$root" "$mirror" "$script" \
    >"$logs/debootstrap.log" 2>&1 || {
    tail -n 20 "$logs/debootstrap.log" >&2
    fail "debootstrap $release failed (see $logs/debootstrap.log)"
}
say "debootstrap: $((SECONDS - started)) s"

# Fresh instances only, no bind of this machine's own folders: nothing inside reaches them, and
# a mount left behind cannot lead a removal into them. debootstrap has made the device nodes.
[ -c "$root/dev/null" ] && [ -c "$root/dev/urandom" ] || fail "debootstrap made no device nodes"
mount_in proc /proc -t proc
mount_in sysfs /sys -t sysfs -o ro
mount_in devpts /dev/pts -t devpts -o newinstance,ptmxmode=0666,mode=620
rm -f "$root/dev/ptmx"
ln -s pts/ptmx "$root/dev/ptmx"
mount_in tmpfs /dev/shm -t tmpfs -o mode=1777
mkdir -p -m 700 "$root/run/user/0"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# A mirror that is a snapshot serves testing's Release past its Valid-Until; apt would refuse it.
echo 'Acquire::Check-Valid-Until "false";' >"$root/etc/apt/apt.conf.d/99velmora-check"
# No service starts from a package's installation inside the chroot.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"

# As the project's user gets it; a fresh clone has nothing but the committed files.
clone_into() {
    git clone --quiet --no-checkout "$source_dir" "$root/$1"
    git -C "$root/$1" checkout --quiet --detach "$head"
    say "cloned $head into $1"
}

# --- 1. ./velmora.sh run --------------------------------------------------------------------------
readme_run() {
    local step window w pid fd deadline status table=/root/velmora/build/release/bin/Velmora.mdb
    # The window shows on an X server of this machine's: the chroot shares its network namespace, so
    # the server's abstract socket is reachable from inside without anything installed there.
    xserver_start "$top" || fail "no X server for the window"
    step=$SECONDS
    in_chroot DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR=/run/user/0 \
        bash -c 'cd /root/velmora && ./velmora.sh run' >"$logs/run.log" 2>&1 &
    run_pid=$!
    # The build comes first: up to an hour on two cores with the package downloads.
    window=""
    while [ -z "$window" ]; do
        kill -0 "$run_pid" 2>/dev/null || {
            tail -n 30 "$logs/run.log" >&2
            fail "./velmora.sh run ended before its window showed (see $logs/run.log)"
        }
        [ $((SECONDS - step)) -lt 3600 ] || fail "./velmora.sh run showed no window within an hour"
        for w in $(xdotool search --onlyvisible --name '^Velmora$' 2>/dev/null || true); do
            pid=$(xdotool getwindowpid "$w" 2>/dev/null) || continue
            # The main window, not an error box of the same title: the table is open (its path as
            # seen from outside the chroot).
            for fd in /proc/"$pid"/fd/*; do
                [ "$(readlink "$fd" 2>/dev/null)" = "$root$table" ] && window=$w
            done
        done
        sleep 2
    done
    say "./velmora.sh run: the main window $window mapped after $((SECONDS - step)) s"
    xdotool windowfocus --sync "$window" && xdotool key --clearmodifiers ctrl+q ||
        fail "could not send Ctrl+Q to the window"
    deadline=$((SECONDS + 30))
    while kill -0 "$run_pid" 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || fail "velmora did not quit within 30 s of Ctrl+Q"
        sleep 0.5
    done
    status=0
    wait "$run_pid" || status=$?
    run_pid=""
    [ "$status" -eq 0 ] || {
        tail -n 30 "$logs/run.log" >&2
        fail "./velmora.sh run ended with status $status"
    }
    run_seconds=$((SECONDS - step))
    say "PASSED ./velmora.sh run on $release: window shown, quit with status 0 ($run_seconds s)"
    xserver_stop
    end_chroot_processes
}

# --- 2. CI=true ./velmora.sh test ----------------------------------------------------------------
readme_test() {
    local step status
    step=$SECONDS
    status=0
    # Inside, the test command checks no further releases (it would start this script again).
    in_chroot CI=true VELMORA_DISTROS= bash -c 'cd /root/velmora && ./velmora.sh test' \
        >"$logs/test.log" 2>&1 ||
        status=$?
    test_seconds=$((SECONDS - step))
    [ "$status" -eq 0 ] || {
        tail -n 40 "$logs/test.log" >&2
        fail "CI=true ./velmora.sh test ended with status $status after $test_seconds s" \
            "(see $logs/test.log)"
    }
    grep -E '^(100% tests passed|check-package: passed)' "$logs/test.log" | sed 's/^/  /'
    say "PASSED CI=true ./velmora.sh test on $release ($test_seconds s)"
}

# --- --package 1. the build ---------------------------------------------------------------------
# in_builder COMMAND: a shell command as the unprivileged user "builder", whose home does not
# exist, in /build, as a build daemon runs the build.
in_builder() {
    chroot --userspec=builder:builder "$root" /usr/bin/env -i HOME=/nonexistent TERM=dumb \
        PATH=/usr/local/bin:/usr/bin:/bin bash -c "cd /build && $1"
}
apt_in_chroot() {
    in_chroot DEBIAN_FRONTEND=noninteractive apt-get -q -y --no-install-recommends "$@"
}
package_build() {
    local step=$SECONDS tree
    {
        apt_in_chroot update && apt_in_chroot install dpkg-dev xz-utils &&
            in_chroot useradd --home-dir /nonexistent --no-create-home builder &&
            mkdir -p "$root/build" && clone_into build/velmora && in_chroot chown -R builder: /build
    } >"$logs/setup.log" 2>&1 || fail "could not prepare the chroot (see $logs/setup.log)"
    # This release's dpkg-source makes the source package; the build sees only what it holds.
    in_builder 'velmora/packaging/build-package.sh --source-only source &&
        dpkg-source -x source/velmora_*.dsc' >"$logs/source.log" 2>&1 ||
        fail "no source package (see $logs/source.log)"
    tree=$(cd "$root/build" && ls -d velmora-[0-9]*)
    in_chroot bash -c "cd /build/$tree && DEBIAN_FRONTEND=noninteractive apt-get -q -y \
        --no-install-recommends build-dep ./" >"$logs/build-dep.log" 2>&1 ||
        fail "could not install the build dependencies (see $logs/build-dep.log)"
    say "source package $(cd "$root/build/source" && echo *.dsc) unpacked, build dependencies" \
        "installed ($((SECONDS - step)) s)"
    step=$SECONDS
    in_builder "cd $tree && DEB_BUILD_OPTIONS=parallel=$(nproc) dpkg-buildpackage -us -uc -b" \
        >"$logs/build.log" 2>&1 || {
        tail -n 40 "$logs/build.log" >&2
        fail "dpkg-buildpackage failed on $release (see $logs/build.log)"
    }
    grep -E '^[0-9]+% tests passed' "$logs/build.log" | sed 's/^/  /'
    build_seconds=$((SECONDS - step))
    say "PASSED the package build on $release, test suite included ($build_seconds s)"
}

# --- --package 2. installed, linted and tested --------------------------------------------------
package_check() {
    local step=$SECONDS changes
    changes=$(cd "$root/build" && ls velmora_*.changes)
    apt_in_chroot install lintian blhc autopkgtest >"$logs/tools.log" 2>&1 ||
        fail "could not install lintian, blhc and autopkgtest (see $logs/tools.log)"
    cp "$logs/build.log" "$root/build/build.log"
    in_chroot blhc --all --debian /build/build.log >"$logs/blhc.log" 2>&1 || {
        cat "$logs/blhc.log" >&2
        fail "blhc finds flags missing in the build log on $release"
    }
    say "blhc finds every hardening flag in the build log"
    in_chroot bash -c 'cd /build && apt-get -q -y --no-install-recommends install \
        ./velmora_*.deb ./velmora-data_*.deb' >"$logs/install.log" 2>&1 ||
        fail "could not install the packages (see $logs/install.log)"
    say "velmora and velmora-data installed"
    # Both run whatever the other finds, so one run reports on both.
    local linted=true
    in_chroot bash -c "cd /build && velmora/packaging/run-lintian.sh source/*.dsc $changes" \
        >"$logs/lintian.log" 2>&1 || linted=false
    sed 's/^/  /' "$logs/lintian.log"
    $linted && say "lintian $(in_chroot lintian --print-version) finds no error or warning"
    step=$SECONDS
    in_chroot bash -c 'cd /build && autopkgtest --user=builder --no-built-binaries \
        --output-dir=autopkgtest source/*.dsc -- null' >"$logs/autopkgtest.log" 2>&1 || {
        tail -n 40 "$logs/autopkgtest.log" >&2
        fail "autopkgtest failed on $release (see $logs/autopkgtest.log)"
    }
    sed -n '/^@@@@* summary/,$p' "$logs/autopkgtest.log" | sed 's/^/  /'
    test_seconds=$((SECONDS - step))
    say "PASSED the autopkgtests on $release ($test_seconds s)"
    $linted || fail "lintian finds errors or warnings on $release (see $logs/lintian.log)"
}

if $package_mode; then
    package_build
    package_check
    say "passed on $release ($head): package build ($build_seconds s), autopkgtest" \
        "($test_seconds s); all $((SECONDS - started)) s"
else
    clone_into root/velmora
    readme_run
    readme_test
    say "passed on $release ($head): run ($run_seconds s), test ($test_seconds s); all" \
        "$((SECONDS - started)) s"
fi
