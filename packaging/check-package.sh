#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian packages and proves they work on this machine.
#
# Always, leaving the system's packages alone: builds the source and binary packages with
# dpkg-buildpackage (packaging/build-package.sh --source, without the test suite, which the test
# command has run already), runs lintian on them (packaging/run-lintian.sh) and blhc on the build
# log; checks the packages' files, and that the changelog, the manual pages and the programs'
# --version name the project's version; validates the menu entry, the MIME type of the food tables
# and the AppStream data, renders the manual pages, starts the program from the packages'
# extracted files under its own Xvfb, quits it with Ctrl+Q, and checks its command-line options.
#
# With CI=true or --install also the round through the system: installs the packages with
# apt-get, checks that the system's MIME database knows a food table and gives it to the menu
# entry, starts the installed program the way the menu entry does from an unrelated folder,
# checks it the same way, and purges the packages together with whatever the installation pulled
# in.
#
#   packaging/check-package.sh [--install]
#
# The packages and the build log stay in build/package/. The install round needs root or sudo
# rights, on a machine where a velmora package may come and go (a velmora installed beforehand is
# purged as well).
# Needs: the build dependencies in debian/control, lintian, blhc, desktop-file-utils, appstream,
# xvfb, xdotool, man-db, shared-mime-info, libxml2-utils, and libglib2.0-bin or xdg-utils.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
source "$source_dir/tests/support/xserver.sh"

say() { echo "check-package: $*"; }
fail() {
    echo "check-package: FAILED: $*" >&2
    exit 1
}

install_round=false
[ "${CI:-}" = true ] && install_round=true
if [ "${1:-}" = --install ]; then
    install_round=true
    shift
fi

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
apt_get() { "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -q "$@"; }

for tool in dpkg-buildpackage dpkg-deb lintian blhc desktop-file-validate appstreamcli Xvfb \
    xdotool man update-mime-database xmllint; do
    command -v "$tool" >/dev/null ||
        fail "$tool is missing (packages: dpkg-dev lintian blhc desktop-file-utils appstream xvfb" \
            "xdotool man-db shared-mime-info libxml2-utils)"
done
command -v xdg-mime >/dev/null || command -v gio >/dev/null ||
    fail "neither xdg-mime nor gio is there to ask for a file's type (packages: xdg-utils," \
        "libglib2.0-bin)"

work=$(mktemp -d)
chmod 755 "$work"  # apt's unprivileged download user reads the packages from here
app_pid=""
installed_by_us=()

# Purges what the install round installed; non-zero when that fails or leaves files behind.
purge_ours() {
    local p present=()
    for p in "${installed_by_us[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" && present+=("$p")
    done
    installed_by_us=()
    [ ${#present[@]} -gt 0 ] || return 0
    say "purging ${present[*]}"
    if ! apt_get purge -y "${present[@]}" >"$work/purge.log" 2>&1; then
        cat "$work/purge.log" >&2
        echo "check-package: FAILED: could not purge ${present[*]}" >&2
        return 1
    elif [ -e /usr/bin/velmora ] || [ -e /usr/lib/velmora ] || [ -e /usr/share/velmora ]; then
        echo "check-package: FAILED: files of velmora are left after the purge" >&2
        return 1
    fi
}

cleanup() {
    local status=$?
    set +e
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
    xserver_stop
    purge_ours || status=1
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# --- Build the packages --------------------------------------------------------------------------
out=$source_dir/build/package
say "building the packages in $out (log: $out/build.log)"
DEB_BUILD_OPTIONS="nocheck ${DEB_BUILD_OPTIONS:-}" "$here/build-package.sh" --source "$out" \
    >/dev/null || {
    tail -n 40 "$out/build.log" >&2 2>/dev/null
    fail "dpkg-buildpackage could not build the packages (see $out/build.log)"
}
debian_version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
version=$(sed -n 's/^project(Velmora VERSION \([^ )]*\).*/\1/p' "$source_dir/CMakeLists.txt")
[ -n "$version" ] || fail "CMakeLists.txt names no project version"
changes=$out/velmora_${debian_version}_$(dpkg --print-architecture).changes
[ -f "$changes" ] || fail "dpkg-buildpackage made no $changes"
debs=()  # velmora, velmora-data
for p in velmora velmora-data; do
    deb=$(ls "$out/${p}_${debian_version}"_*.deb 2>/dev/null) || fail "no $p package in $out"
    cp "$deb" "$work/"
    debs+=("$work/$(basename "$deb")")
done
chmod 644 "${debs[@]}"
say "built $(cd "$out" && echo *.dsc *.deb)"

"$here/run-lintian.sh" "$changes" >"$work/lintian.log" 2>&1 || {
    cat "$work/lintian.log" >&2
    fail "lintian found errors or warnings"
}
sed 's/^/  /' "$work/lintian.log"
say "lintian finds no error or warning in the source and binary packages"
# The compiler and linker flags of every compilation, against those dpkg-buildflags gives (but
# -pie, which Debian's compiler applies without being asked: lintian checks the programs for it).
blhc --all --debian "$out/build.log" >"$work/blhc.log" 2>&1 || {
    cat "$work/blhc.log" >&2
    fail "blhc finds flags missing in the build log"
}
say "blhc finds every hardening flag in the build log"

# --- Check what they hold -----------------------------------------------------------------------
# Both packages unpacked into one tree, as they are installed together.
tree=$work/tree
for deb in "${debs[@]}"; do dpkg-deb -x "$deb" "$tree"; done
man_pages=(velmora.1.gz velmora-mkdb.1.gz velmora-report.1.gz)
for f in usr/lib/velmora/velmora usr/lib/velmora/velmora-report usr/share/velmora/Velmora.mdb \
    usr/bin/velmora-mkdb \
    usr/share/applications/velmora.desktop usr/share/metainfo/velmora.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/velmora.svg "${man_pages[@]/#/usr/share/man/man1/}"; do
    [ -f "$tree/$f" ] || fail "the packages lack /$f"
done
for p in velmora velmora-data; do
    for f in copyright changelog.gz changelog.Debian.gz; do
        [ -f "$tree/usr/share/doc/$p/$f" ] || fail "$p lacks /usr/share/doc/$p/$f"
    done
done
for size in 16 32 48 64 128 256; do
    [ -f "$tree/usr/share/icons/hicolor/${size}x${size}/apps/velmora.png" ] ||
        fail "the package lacks the ${size} px icon"
done
# check_link LINK TARGET: /LINK is the relative link TARGET.
check_link() {
    [ "$(readlink "$tree/$1")" = "$2" ] || fail "/$1 is not the link $2"
}
for program in velmora velmora-report; do
    check_link "usr/bin/$program" "../lib/velmora/$program"
done
check_link usr/lib/velmora/Velmora.mdb ../../share/velmora/Velmora.mdb
dpkg-deb -c "${debs[1]}" | grep -q '\./usr/lib/' && fail "velmora-data installs into /usr/lib"
[ "$(dpkg-deb -f "${debs[1]}" Architecture)" = all ] || fail "velmora-data is not Architecture: all"
depends=$(dpkg-deb -f "${debs[0]}" Depends)
for p in fonts-liberation2 qt6-qpa-plugins libqt6widgets6 libsqlite3-0 \
    "velmora-data (= $debian_version)"; do
    [[ ", $depends," == *", $p "* || ", $depends," == *", $p,"* ]] || fail "Depends lacks $p: $depends"
done

# Every text that names the version names the project's (CMakeLists.txt, project(VERSION)).
for deb in "${debs[@]}"; do
    shipped=$(dpkg-deb -f "$deb" Version)
    [ "${shipped%-*}" = "$version" ] ||
        fail "$(basename "$deb") is version $shipped, not of the project's $version"
done
shipped=$(zcat "$tree/usr/share/doc/velmora/changelog.gz" | sed -n '1s/^velmora (\([^)]*\)).*/\1/p')
[ "$shipped" = "$version" ] ||
    fail "the changelog's latest entry is for version '$shipped', not the project's $version"
for page in "${man_pages[@]}"; do
    shipped=$(zcat "$tree/usr/share/man/man1/$page" | sed -n 's/^\.TH .* "Velmora \([^"]*\)" .*/\1/p')
    [ "$shipped" = "$version" ] ||
        fail "the manual page $page describes version '$shipped', not the project's $version"
done
say "the packages, the changelog and the manual pages name version $version"

# "Clean" means not even a hint.
report=$(desktop-file-validate "$tree/usr/share/applications/velmora.desktop" 2>&1) || true
[ -z "$report" ] || fail "desktop-file-validate: $report"
# The project has no domain of its own to build a reverse-DNS id from, so the short id "velmora"
# (the program's desktop file name) stays, and it has no homepage yet: only those two findings are
# lowered to notes. AppStream before 1.0 has no homepage check and refuses to lower an unknown one.
# Only the last --override counts: they go in one, separated by commas.
appstream_overrides=cid-desktopapp-is-not-rdns=info
mkdir "$work/empty"
appstreamcli validate-tree --no-net --override=url-homepage-missing=info "$work/empty" \
    >/dev/null 2>&1 && appstream_overrides+=,url-homepage-missing=info
appstreamcli validate-tree --no-net --override="$appstream_overrides" "$tree" \
    >"$work/appstream.log" 2>&1 || {
    cat "$work/appstream.log" >&2
    fail "appstreamcli validate-tree found problems"
}

# filetype FILE: FILE's MIME type as the desktop sees it, in the MIME database of XDG_DATA_DIRS.
# xdg-mime asks GIO when the desktop is GNOME; without it (or without a desktop) it asks tools
# that do not read the database.
filetype() {
    if command -v xdg-mime >/dev/null; then
        XDG_CURRENT_DESKTOP=GNOME xdg-mime query filetype "$1"
    else
        gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'
    fi
}
food_table_type=application/x-velmora-food-table
mime_xml=$tree/usr/share/mime/packages/velmora.xml
[ -f "$mime_xml" ] || fail "the package lacks /usr/share/mime/packages/velmora.xml"
xmllint --noout "$mime_xml" || fail "the MIME type's XML is not well-formed"
grep -qx "MimeType=$food_table_type;" "$tree/usr/share/applications/velmora.desktop" ||
    fail "the menu entry does not open $food_table_type"
# The package's type in a database of its own, beside the system's types it builds on: the
# shipped table is a food table by its content, also under a name that says nothing.
mkdir -p "$work/mime/mime/packages"
cp /usr/share/mime/packages/freedesktop.org.xml "$mime_xml" "$work/mime/mime/packages/"
report=$(update-mime-database "$work/mime/mime" 2>&1) || true
[[ "$report" != *Error* ]] || fail "update-mime-database: $report"
cp "$tree/usr/share/velmora/Velmora.mdb" "$work/mime/no-name"
for f in "$tree/usr/share/velmora/Velmora.mdb" "$work/mime/no-name"; do
    type=$(XDG_DATA_HOME="$work/mime/none" XDG_DATA_DIRS="$work/mime" filetype "$f")
    [ "$type" = "$food_table_type" ] || fail "$f is of the type '$type', not $food_table_type"
done
say "package contents, menu entry, MIME type and AppStream data are valid"

# check_man_pages FOLDER: the manual pages are there and render without a warning.
check_man_pages() {
    local page warnings
    for page in "${man_pages[@]}"; do
        [ -f "$1/$page" ] || fail "$1/$page is not installed"
        warnings=$(MANWIDTH=80 man --warnings -l "$1/$page" 2>&1 >/dev/null) ||
            fail "man cannot render $1/$page: $warnings"
        [ -z "$warnings" ] || fail "man warns about $1/$page: $warnings"
    done
}
check_man_pages "$tree/usr/share/man/man1"
say "the manual pages ${man_pages[*]} render without warnings"

# --- Start it and try its options ---------------------------------------------------------------
xserver_start "$work" || fail "no X server to start the program in"
elsewhere=$work/elsewhere  # holds no Velmora.mdb
mkdir "$elsewhere"

# run_cli VAR=VALUE... PROGRAM ARG...: runs PROGRAM from $elsewhere, its output in $work/cli.out
# and cli.err, and sets cli_status and cli_window (non-empty when a window of it showed). It is
# given 20 s, as a program that ignored its options would open its window and stay.
run_cli() {
    (cd "$elsewhere" && exec env "$@") >"$work/cli.out" 2>"$work/cli.err" &
    app_pid=$!
    cli_window=""
    local deadline=$((SECONDS + 20))
    while kill -0 "$app_pid" 2>/dev/null; do
        xdotool search --onlyvisible --pid "$app_pid" >/dev/null 2>&1 && cli_window=yes
        [ $SECONDS -lt $deadline ] ||
            fail "$* did not end within 20 s${cli_window:+ and showed a window}"
        sleep 0.1
    done
    cli_status=0
    wait "$app_pid" || cli_status=$?
    app_pid=""
}
cli_err() { sed 's/^/  stderr: /' "$work/cli.err" >&2; }

app_log() { sed 's/^/  velmora: /' "$work/velmora.log" >&2; }
app_ended() {
    local status=0
    wait "$app_pid" || status=$?
    app_pid=""
    app_log
    fail "velmora ended with status $status $1"
}
# Whether the program started last has the food table $table open.
table_open() {
    local fd
    for fd in /proc/"$app_pid"/fd/*; do
        [ "$(readlink "$fd" 2>/dev/null)" = "$table" ] && return 0
    done
    return 1
}

# check_programs LIB_DIR VELMORA_COMMAND... -- REPORT_COMMAND: starts the program as
# VELMORA_COMMAND from $elsewhere, waits for its window on the table in LIB_DIR, quits it with
# Ctrl+Q, and tries the options of it and of the report program.
check_programs() {
    local lib=$1 velmora=() report
    shift
    while [ "$1" != -- ]; do
        velmora+=("$1")
        shift
    done
    report=$2
    table=$(readlink -f "$lib/Velmora.mdb")

    (cd "$elsewhere" && exec "${velmora[@]}") >"$work/velmora.log" 2>&1 &
    app_pid=$!

    # The window counts once the table is open (an error box has the same title) and it is the
    # only one left visible (the splash window closes after the main window shows).
    local window="" windows deadline=$((SECONDS + 30))
    while :; do
        kill -0 "$app_pid" 2>/dev/null || app_ended "before its window appeared"
        if table_open; then
            mapfile -t windows < <(xdotool search --onlyvisible --name '^Velmora$' 2>/dev/null || true)
            [ ${#windows[@]} -eq 1 ] && window=${windows[0]} && break
        fi
        if [ $SECONDS -ge $deadline ]; then
            app_log
            table_open || fail "velmora did not open $table within 30 s"
            fail "no single visible window titled Velmora within 30 s"
        fi
        sleep 0.2
    done
    say "window $window is up, the table $table is open"

    xdotool windowfocus --sync "$window" || fail "could not focus window $window"
    xdotool key --clearmodifiers ctrl+q || fail "could not send Ctrl+Q"
    deadline=$((SECONDS + 15))
    while kill -0 "$app_pid" 2>/dev/null; do
        if [ $SECONDS -ge $deadline ]; then
            app_log
            fail "velmora did not quit within 15 s of Ctrl+Q"
        fi
        sleep 0.1
    done
    local status=0
    wait "$app_pid" || status=$?
    app_pid=""
    [ "$status" -eq 0 ] || {
        app_log
        fail "velmora quit with status $status"
    }
    say "velmora started from $elsewhere as ${velmora[*]} and quit on Ctrl+Q with status 0"

    run_cli QT_QPA_PLATFORM=xcb "${velmora[@]}" --version
    [ "$cli_status" -eq 0 ] || { cli_err; fail "velmora --version ended with status $cli_status"; }
    printf 'Velmora %s\n' "$version" | cmp -s - "$work/cli.out" ||
        fail "velmora --version printed \"$(cat "$work/cli.out")\", not \"Velmora $version\""

    run_cli QT_QPA_PLATFORM=xcb "${velmora[@]}" --bogus
    [ "$cli_status" -eq 2 ] || { cli_err; fail "velmora --bogus ended with status $cli_status, not 2"; }
    [ -s "$work/cli.err" ] || fail "velmora --bogus printed no message on standard error"
    [ -z "$cli_window" ] || fail "velmora --bogus showed a window"

    # With no screen to show the message box on, the start-up error goes to standard error.
    run_cli QT_QPA_PLATFORM=offscreen "${velmora[@]}" --database /nonexistent/x.mdb
    [ "$cli_status" -eq 1 ] && grep -qF "Run-time error '3024':" "$work/cli.err" || {
        cli_err
        fail "velmora --database /nonexistent/x.mdb ended with status $cli_status," \
            "expected 1 and Run-time error '3024' on standard error"
    }
    say "velmora --version, an unknown option and a missing --database table end as they should"

    # The report program finds the table through its link, from any folder.
    run_cli "$report" 01001
    [ "$cli_status" -eq 0 ] && head -n 2 "$work/cli.out" | grep -qx ' Item:  Butter, salted' || {
        cli_err
        fail "$report 01001 ended with status $cli_status without the report of Butter, salted"
    }
    say "$report reads the table from $elsewhere"
}

check_programs "$tree/usr/lib/velmora" "$tree/usr/bin/velmora" -- "$tree/usr/bin/velmora-report"
say "the programs from the extracted packages work"

names="$(basename "${debs[0]}") and $(basename "${debs[1]}")"
if ! $install_round; then
    say "passed: $names from their extracted files; not installed" \
        "(the install round runs with CI=true or ./velmora.sh package-check)"
    exit 0
fi

# --- Install ------------------------------------------------------------------------------------
dpkg-query -W -f='${Status}' velmora velmora-data 2>/dev/null | grep -q "ok installed" &&
    say "velmora is installed already (an interrupted earlier run?); it is replaced and purged"
installed_packages() {
    dpkg-query -W -f='${db:Status-Abbrev} ${binary:Package}\n' | awk '$1 == "ii" { print $2 }' | sort
}
installed_packages >"$work/before"
installed_by_us=(velmora velmora-data)
if ! apt_get install -y "${debs[@]}" >"$work/install.log" 2>&1; then
    # Stale package lists are the usual cause on a fresh machine.
    apt_get update >/dev/null 2>&1 || true
    apt_get install -y "${debs[@]}" >"$work/install.log" 2>&1 || {
        cat "$work/install.log" >&2
        fail "apt-get install $names failed"
    }
fi
installed_packages >"$work/after"
mapfile -t pulled_in < <(comm -13 "$work/before" "$work/after" | grep -vx -e velmora -e velmora-data ||
    true)
installed_by_us+=("${pulled_in[@]}")
say "installed velmora and velmora-data${pulled_in[*]:+, and ${pulled_in[*]}}"

# Minimal container images tell dpkg to leave manual pages out; there the package's own were read.
if grep -qs '^path-exclude=/usr/share/man' /etc/dpkg/dpkg.cfg /etc/dpkg/dpkg.cfg.d/*; then
    say "dpkg is set to leave out manual pages here: they were checked in the package"
else
    check_man_pages /usr/share/man/man1
    say "the manual pages are installed and render without warnings"
fi

# The system's MIME database (updated by its trigger) knows a food table, and the menu entry
# opens one.
type=$(filetype /usr/share/velmora/Velmora.mdb)
[ "$type" = "$food_table_type" ] ||
    fail "the installed table is of the type '$type', not $food_table_type"
if command -v xdg-mime >/dev/null; then
    default=$(XDG_CURRENT_DESKTOP=GNOME xdg-mime query default "$food_table_type")
else
    default=$(gio mime "$food_table_type" | sed -n 's/^Default application for .*: //p')
fi
[ "$default" = velmora.desktop ] ||
    fail "$food_table_type opens in '$default', not in velmora.desktop"
say "the installed MIME database gives a food table to velmora.desktop"

# Started as the menu entry starts it (its own Exec line, not its action's).
exec_line=$(sed -n '/^\[Desktop Entry\]/,/^\[/s/^Exec=//p' /usr/share/applications/velmora.desktop)
read -ra exec_words <<<"$exec_line"
command=()
for w in "${exec_words[@]}"; do [[ "$w" == %? ]] || command+=("$w"); done  # no files to pass
[ ${#command[@]} -gt 0 ] || fail "the menu entry has no Exec line"
resolved=$(command -v "${command[0]}") || fail "the menu entry's Exec=${command[0]} is not on PATH"
[ "$(readlink -f "$resolved")" = /usr/lib/velmora/velmora ] ||
    fail "Exec=${command[0]} resolves to $resolved, not to the installed program"
check_programs /usr/lib/velmora "${command[@]}" -- velmora-report
purge_ours || exit 1
say "passed: $names from their extracted files, and installed, run and purged"
