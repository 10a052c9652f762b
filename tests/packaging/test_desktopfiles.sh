#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The menu entry and the food tables' MIME type as a desktop reads them: the entry is valid and
# opens the type, the type's XML is well-formed and builds a MIME database without complaint, and
# in that database a built table is a food table by its content, under any name, while an SQLite
# file without Velmora's application_id and an Access database are not.
# Usage: test_desktopfiles.sh PACKAGING_DIR TABLE BIN_DIR. Exits 77 (skipped) when a tool is missing.
set -eu
packaging=$1 table=$2 bin=$3
type=application/x-velmora-food-table

for tool in desktop-file-validate update-desktop-database update-mime-database xmllint; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
command -v xdg-mime >/dev/null || command -v gio >/dev/null ||
    { echo "SKIP: neither xdg-mime (xdg-utils) nor gio (libglib2.0-bin)"; exit 77; }
[ -f /usr/share/mime/packages/freedesktop.org.xml ] ||
    { echo "SKIP: shared-mime-info's types are missing"; exit 77; }

fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

desktop-file-validate "$packaging/velmora.desktop" || fail "the menu entry is not valid"
grep -qx "MimeType=$type;" "$packaging/velmora.desktop" || fail "the menu entry does not open $type"
grep -qx 'Exec=velmora %f' "$packaging/velmora.desktop" || fail "the menu entry takes no file"
grep -qx 'Exec=velmora --choose-table' "$packaging/velmora.desktop" ||
    fail "the menu entry has no action that chooses a table"
# Debian ships no schema of shared-mime-info's XML: well-formed, then what update-mime-database
# accepts.
xmllint --noout "$packaging/velmora-mime.xml" || fail "the MIME type's XML is not well-formed"

mkdir -p "$work/share/mime/packages" "$work/share/applications" "$work/home"
cp /usr/share/mime/packages/freedesktop.org.xml "$work/share/mime/packages/"
cp "$packaging/velmora-mime.xml" "$work/share/mime/packages/velmora.xml"
cp "$packaging/velmora.desktop" "$work/share/applications/"
export XDG_DATA_DIRS="$work/share" XDG_DATA_HOME="$work/home" XDG_CURRENT_DESKTOP=GNOME
report=$(update-mime-database "$work/share/mime" 2>&1)
[ -z "$report" ] || fail "update-mime-database: $report"
update-desktop-database "$work/share/applications"
grep -qx "$type=velmora.desktop;" "$work/share/applications/mimeinfo.cache" ||
    fail "the desktop database does not give $type to velmora.desktop"

filetype() {
    if command -v xdg-mime >/dev/null; then
        xdg-mime query filetype "$1"
    else
        gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'
    fi
}
cp "$table" "$work/no-name"
cp "$table" "$work/plain"  # its application_id cleared: a plain SQLite database
printf '\0\0\0\0' | dd of="$work/plain" bs=1 seek=68 conv=notrunc 2>/dev/null
{ printf '\0\1\0\0Standard Jet DB\0'; head -c 300 /dev/zero; } >"$work/old.mdb"
status=0
for case in "$table=$type" "$work/no-name=$type" "$work/plain=application/vnd.sqlite3" \
    "$work/old.mdb=application/vnd.ms-access"; do
    file=${case%=*} want=${case##*=}
    got=$(filetype "$file")
    [ "$got" = "$want" ] || { echo "FAIL: $file is of the type '$got', not $want" >&2; status=1; }
done
# The menu entry opens the type: the application a file manager starts on a double-click (GIO
# lists an entry only when its program is found).
if command -v gio >/dev/null; then
    PATH="$bin:$PATH" gio mime "$type" | grep -q "^Default application for .*: velmora.desktop$" ||
        { echo "FAIL: $type does not open in velmora.desktop" >&2; status=1; }
fi
[ "$status" = 0 ] && echo "the menu entry and the MIME type are valid"
exit "$status"
