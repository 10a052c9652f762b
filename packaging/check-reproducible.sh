#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the binary packages twice from one source package, the second time in another
# environment, and checks that the two builds give the same bytes (packages, debug symbols, and
# with them the food table built during the build). What differs between the builds:
#   build path   .../build-a/velmora-VERSION      .../build-b/a/longer/path/velmora-VERSION
#   clock        now                              398 days ahead (faketime)
#   umask        022                              002
#   time zone    UTC                              Pacific/Kiritimati (UTC+14)
#   locale       C.UTF-8                          C
#   jobs         parallel=2                       parallel=1
#   host name    this machine's                   another (as root only: a UTS namespace)
#   kernel       this one's                       2.6 as uname tells it (setarch --uname-2.6)
# Both builds leave out the test suite (nocheck), which makes nothing that is packaged. On a
# difference diffoscope says what it is. Logs and the diffoscope report stay in
# build/check-reproducible/; the builds themselves are removed.
#
#   packaging/check-reproducible.sh
#
# Needs: the build dependencies in debian/control, faketime, diffoscope (diffoscope-minimal will
# do); takes two package builds.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")

say() { echo "check-reproducible: $*"; }
fail() {
    echo "check-reproducible: FAILED: $*" >&2
    exit 1
}
for tool in dpkg-source dpkg-buildpackage faketime setarch diffoscope; do
    command -v "$tool" >/dev/null ||
        fail "$tool is missing (packages: dpkg-dev faketime util-linux diffoscope-minimal)"
done

logs=$source_dir/build/check-reproducible
rm -rf "$logs"
mkdir -p "$logs"
# On the disk, not in memory: each build takes about a gigabyte.
top=$(readlink -f "$(mktemp -d /var/tmp/velmora-reproducible.XXXXXX)")
trap 'rm -rf "$top"' EXIT
trap 'exit 130' INT TERM HUP

started=$SECONDS
"$here/build-package.sh" --source-only "$top/source" >/dev/null || fail "no source package"
dsc=$(ls "$top"/source/velmora_*.dsc)
say "source package $(basename "$dsc")"

# build NAME FOLDER ENV... -- WRAPPER...: unpacks the source package into FOLDER and builds the
# binary packages there with the environment and under the wrappers given; they land in
# $top/NAME.
build() {
    local name=$1 folder=$2 environment=() wrappers=() step=$SECONDS
    shift 2
    while [ "$1" != -- ]; do
        environment+=("$1")
        shift
    done
    shift
    wrappers=("$@")
    mkdir -p "$(dirname "$folder")" "$top/$name"
    dpkg-source -x "$dsc" "$folder" >/dev/null
    (cd "$folder" && env "${environment[@]}" "${wrappers[@]}" dpkg-buildpackage -us -uc -b) \
        >"$logs/build-$name.log" 2>&1 || {
        tail -n 30 "$logs/build-$name.log" >&2
        fail "build $name failed (see $logs/build-$name.log)"
    }
    find "$(dirname "$folder")" -maxdepth 1 \( -name '*.deb' -o -name '*.ddeb' \) \
        -exec mv -t "$top/$name/" {} +
    rm -rf "$top/build-$name"
    say "build $name: $((SECONDS - step)) s in $folder"
}

version=$(basename "$dsc" .dsc)
version=${version#velmora_}
upstream=${version%-*}
(umask 022 && build a "$top/build-a/velmora-$upstream" TZ=UTC LC_ALL=C.UTF-8 LANG=C.UTF-8 \
    DEB_BUILD_OPTIONS="nocheck parallel=2" --)

other_host=()
[ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null &&
    other_host=(unshare --uts -- sh -c 'hostname velmora-other-host && exec "$@"' sh)
[ ${#other_host[@]} -gt 0 ] || say "not root: the second build keeps this host name"
(umask 002 && build b "$top/build-b/a/longer/path/velmora-$upstream" TZ=Pacific/Kiritimati \
    LC_ALL=C LANG=C DEB_BUILD_OPTIONS="nocheck parallel=1" -- "${other_host[@]}" \
    setarch "$(uname -m)" --uname-2.6 faketime -f +398d)

differ=()
for file in "$top"/a/*; do
    name=$(basename "$file")
    [ -f "$top/b/$name" ] || fail "build b made no $name"
    if cmp -s "$file" "$top/b/$name"; then
        say "same bytes: $name ($(sha256sum <"$file" | cut -c1-16)...)"
    else
        differ+=("$name")
        diffoscope --text "$logs/diffoscope-$name.txt" "$file" "$top/b/$name" >/dev/null 2>&1 ||
            true
        say "DIFFERENT: $name; diffoscope says:"
        head -n 40 "$logs/diffoscope-$name.txt" | sed 's/^/  /'
    fi
done
[ "$(ls "$top/a" | wc -l)" -eq "$(ls "$top/b" | wc -l)" ] || fail "the builds made other files"
[ ${#differ[@]} -eq 0 ] ||
    fail "${differ[*]} differ between the builds (reports: $logs/diffoscope-*.txt)"
say "passed: both builds gave the same bytes ($((SECONDS - started)) s)"
