#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# lintian as the package checks run it: every finding shown, the informational and pedantic ones
# too, and any error or warning fails. The findings accepted are listed with their reasons in
# docs/design.md (Packages); overrides with theirs in debian/*.lintian-overrides.
#
#   packaging/run-lintian.sh FILE...     .changes, .dsc or .deb files
set -euo pipefail

command -v lintian >/dev/null || {
    echo "run-lintian: lintian is missing (package lintian)" >&2
    exit 1
}
[ $# -gt 0 ] || {
    echo "usage: $0 FILE..." >&2
    exit 2
}

suppressed=()
# A lintian older than the Debian Policy the source declares warns newer-standards-version: that
# is the age of the lintian (Debian 12's knows Policy 4.6.2), not a fault of the package.
declared=""
for file in "$@"; do
    case "$file" in
        *.dsc) dsc=$file ;;
        *.changes) dsc=$(dirname "$file")/$(grep -oE '[^ ]+\.dsc$' "$file" | head -n 1 || true) ;;
        *) continue ;;
    esac
    [ -f "$dsc" ] && declared=$(sed -n 's/^Standards-Version: *//p' "$dsc")
done
releases=/usr/share/lintian/data/debian-policy/releases.json
if [ -n "$declared" ] && [ -f "$releases" ] &&
    ! grep -qE "\"version\" *: *\"${declared//./\\.}(\\.0)*\"" "$releases"; then
    suppressed+=(newer-standards-version)
fi
# Newer lintian validates the AppStream data too, but without the two findings that
# check-package.sh lowers to notes for want of a domain and a homepage, so that check is left to
# appstreamcli; older lintian knows no such check and refuses to suppress it.
[ -n "$(lintian-explain-tags appstream-metadata-validation-failed 2>/dev/null)" ] &&
    suppressed+=(appstream-metadata-validation-failed)

options=(--display-info --pedantic --fail-on error,warning)
if [ ${#suppressed[@]} -gt 0 ]; then
    options+=(--suppress-tags "$(IFS=,; echo "${suppressed[*]}")")
    echo "run-lintian: lintian $(lintian --print-version) is run with ${suppressed[*]} suppressed"
fi
status=0
lintian "${options[@]}" "$@" || status=$?
[ "$status" -eq 0 ] || echo "run-lintian: FAILED: lintian found errors or warnings" >&2
exit "$status"
