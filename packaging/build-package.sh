#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian packages from this source tree as Debian builds them, in a copy of the tree:
# the checkout stays as it is, and every build starts from scratch.
#
#   packaging/build-package.sh [--source | --source-only] OUT_DIR
#
# Copies the tree's files as they are in the working tree (in a git checkout the tracked ones and
# the untracked ones .gitignore does not exclude; else all but build/) to
# OUT_DIR/velmora-UPSTREAM_VERSION, then runs
#   (default)      dpkg-buildpackage -us -uc -b: the binary packages
#   --source       dpkg-buildpackage -us -uc: the source package as well, from an upstream
#                  tarball made of the same files but debian/
#   --source-only  dpkg-source -b: the source package alone
# The results and the build's log, OUT_DIR/build.log, land in OUT_DIR; what an earlier build left
# there is removed first, and the copy of the tree after a build that succeeded.
# DEB_BUILD_OPTIONS is passed on (nocheck, parallel=N); parallel is the number of cores unless set.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")

usage() {
    echo "usage: $0 [--source | --source-only] OUT_DIR" >&2
    exit 2
}
mode=binary
case "${1:-}" in
    --source) mode=full && shift ;;
    --source-only) mode=source && shift ;;
    -*) usage ;;
esac
[ $# -eq 1 ] || usage
mkdir -p "$1"
out=$(cd "$1" && pwd)

for tool in dpkg-parsechangelog dpkg-source dpkg-buildpackage tar xz; do
    command -v "$tool" >/dev/null || {
        echo "build-package: $tool is missing (packages: dpkg-dev xz-utils)" >&2
        exit 1
    }
done
changelog=$source_dir/debian/changelog
version=$(dpkg-parsechangelog -l "$changelog" -S Version)
upstream=${version%-*}
# The upstream tarball's times are the changelog entry's, as are the packages'.
timestamp=$(dpkg-parsechangelog -l "$changelog" -S Timestamp)
tree=$out/velmora-$upstream

rm -rf "$out"/velmora-* "$out"/velmora_* "$out/build.log"

# The tree's files, NUL-separated, relative to it.
tree_files() {
    if [ "$(git -C "$source_dir" rev-parse --show-toplevel 2>/dev/null)" = "$source_dir" ]; then
        local f
        git -C "$source_dir" ls-files -z --cached --others --exclude-standard |
            while IFS= read -r -d '' f; do
                # A tracked file deleted in the working tree is not part of it.
                [ -e "$source_dir/$f" ] || [ -L "$source_dir/$f" ] && printf '%s\0' "$f"
            done
    else
        (cd "$source_dir" && find . -path ./build -prune -o -path ./.git -prune -o \
            \( -type f -o -type l \) -printf '%P\0')
    fi
}
mkdir "$tree"
tree_files | tar -C "$source_dir" --null --no-recursion -T - -cf - | tar -C "$tree" -xf -

if [ "$mode" != binary ]; then
    # The program's release: all but the Debian packaging, which the source package adds. Sorted,
    # with fixed owners and times: the same files give the same tarball.
    (cd "$out" && tar --sort=name --owner=0 --group=0 --numeric-owner --mtime="@$timestamp" \
        --mode=go-w --format=gnu --exclude="velmora-$upstream/debian" -cf - "velmora-$upstream" |
        xz -6 -T1 >"velmora_$upstream.orig.tar.xz")
fi

if [ "$mode" = source ]; then
    (cd "$out" && dpkg-source -b "velmora-$upstream") >"$out/build.log" 2>&1 || {
        cat "$out/build.log" >&2
        exit 1
    }
else
    options=${DEB_BUILD_OPTIONS:-}
    [[ " $options " == *" parallel="* ]] || options+=" parallel=$(nproc)"
    flags=(-us -uc)
    [ "$mode" = binary ] && flags+=(-b)
    (cd "$tree" && DEB_BUILD_OPTIONS=${options# } dpkg-buildpackage "${flags[@]}") 2>&1 |
        tee "$out/build.log"
fi
rm -rf "$tree"
echo "build-package: made in $out:" $(cd "$out" && ls velmora*_* 2>/dev/null)
