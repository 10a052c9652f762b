#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets (clang, AddressSanitizer, UndefinedBehaviorSanitizer) in build/fuzz and
# runs each for SECONDS seconds, starting from its committed corpus. Exits non-zero when any target
# finds a crash, a leak, a hang or a broken property; the input is kept in build/fuzz/artifacts.
#   fuzz/run.sh SECONDS [TARGET...]      targets: val numbertext jetlike criterion rtf csv srimport
#                                        xmlinput xlsx national
set -euo pipefail
seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift
src=$(cd "$(dirname "$0")/.." && pwd)
build="$src/build/fuzz"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(val numbertext jetlike criterion rtf csv srimport xmlinput xlsx national)

CC=clang CXX=clang++ cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELMORA_FUZZ=ON -DVELMORA_SANITIZE=address,undefined >/dev/null
cmake --build "$build" --target velmora_fuzzers -j2

export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS=suppressions="$src/tests/hardening/lsan.supp"
export QT_QPA_PLATFORM=offscreen
mkdir -p "$build/artifacts"
failed=()
for t in "${targets[@]}"; do
    # New inputs go to a scratch folder so the committed corpus only changes by hand.
    scratch=$(mktemp -d)
    options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
             -artifact_prefix="$build/artifacts/$t-")
    [ -f "$src/fuzz/dict/$t.dict" ] && options+=(-dict="$src/fuzz/dict/$t.dict")
    echo "== fuzz_$t for ${seconds}s"
    if ! "$build/bin/fuzz_$t" "${options[@]}" "$scratch" "$src/fuzz/corpus/$t" 2>"$build/fuzz_$t.log"; then
        tail -n 40 "$build/fuzz_$t.log"
        failed+=("$t")
    fi
    grep -m1 -E "^stat::number_of_executed_units" "$build/fuzz_$t.log" || true
    rm -rf "$scratch"
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing failed: ${failed[*]}" >&2
    exit 1
fi
