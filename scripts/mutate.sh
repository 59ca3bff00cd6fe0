#!/usr/bin/env bash
# Plants faults one at a time and tells whether the tests catch each: for
# every fault it changes one line of the source, rebuilds, runs the tests
# (stopping at the first failure), prints "caught" or "ESCAPED" ("NOBUILD"
# when the changed line does not compile, "NOT FOUND" when the text is not
# in the file), and puts the line back. The tree is left as it was, also when the script is stopped.
#
#   scripts/mutate.sh FAULTS [BUILD_DIR] [CTEST_REGEX]
#
# FAULTS holds one fault a line, three fields separated by tabs: a file
# (relative to the project), the exact text of one of its lines to change
# (the first line holding it), and the text to put in its place. Blank lines
# and lines starting with # are skipped. BUILD_DIR (default build-mutate) is
# configured when missing; CTEST_REGEX limits the tests run (ctest -R). The
# window tests need DISPLAY; without one the script starts a private Xvfb.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
faults=${1:?usage: mutate.sh FAULTS [BUILD_DIR] [CTEST_REGEX]}
build=${2:-build-mutate}
regex=${3:-}

if [ -z "${DISPLAY:-}" ]; then
    . scripts/xvfb.sh
    start_private_xvfb 1024x768x24
fi
[ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DKVOR_BENCH=OFF >/dev/null || exit 1
cmake --build "$build" -j 2 >/dev/null || { echo "mutate.sh: the unchanged tree does not build" >&2; exit 1; }

saved=""
restore() { [ -n "$saved" ] && cp "$saved" "$target" && rm -f "$saved"; saved=""; }
stop_xvfb() { if declare -F stop_private_xvfb >/dev/null; then stop_private_xvfb; fi; }
trap 'restore; stop_xvfb; exit 130' INT TERM
trap 'restore; stop_xvfb' EXIT

caught=0 total=0
while IFS=$'\t' read -r target search replace; do
    case "$target" in ''|'#'*) continue ;; esac
    total=$((total + 1))
    label="$target: $search => $replace"
    if ! grep -qF -- "$search" "$target"; then
        printf 'NOT FOUND  %s\n' "$label"
        continue
    fi
    saved=$(mktemp)
    cp "$target" "$saved"
    SEARCH="$search" REPLACE="$replace" perl -i -pe 'if (!$done && (my $at = index($_, $ENV{SEARCH})) >= 0) { substr($_, $at, length $ENV{SEARCH}) = $ENV{REPLACE}; $done = 1 }' "$target"
    if ! cmake --build "$build" -j 2 >/dev/null 2>&1; then
        result="NOBUILD"
    elif ctest --test-dir "$build" -j 2 --stop-on-failure ${regex:+-R "$regex"} >/dev/null 2>&1; then
        result="ESCAPED"
    else
        result="caught"
    fi
    restore
    [ "$result" = caught ] && caught=$((caught + 1))
    printf '%-10s %s\n' "$result" "$label"
done < "$faults"
cmake --build "$build" -j 2 >/dev/null 2>&1
echo "caught $caught of $total"
