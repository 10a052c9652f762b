# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the tests: a fresh folder to work in and the checks they share.

set -euo pipefail
cd "$AUTOPKGTEST_TMP"

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# expect_line LINE FILE: FILE holds LINE as a whole line.
expect_line() {
    grep -qxF -- "$1" "$2" || {
        sed 's/^/  | /' "$2" >&2
        fail "$2 lacks the line \"$1\""
    }
}
