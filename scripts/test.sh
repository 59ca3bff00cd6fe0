#!/usr/bin/env bash
# Builds kvor3d and runs every test twice: a plain build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer. The window tests run on a
# private Xvfb that this script starts and stops.
#
#   scripts/test.sh            both configurations
#   scripts/test.sh plain      only the plain one
#   scripts/test.sh sanitize   only the sanitizer one
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

bash scripts/deps.sh
. scripts/xvfb.sh
start_private_xvfb 1024x768x24
echo "X tests run on DISPLAY=$DISPLAY"

run_config() {
    local dir="$1"
    shift
    cmake -S "$root" -B "$root/$dir" -G Ninja "$@" >/dev/null
    cmake --build "$root/$dir" -j 2
    ctest --test-dir "$root/$dir" --output-on-failure -j 2
}

what="${1:-all}"
status=0
if [ "$what" = all ] || [ "$what" = plain ]; then
    run_config build || status=1
fi
if [ "$what" = all ] || [ "$what" = sanitize ]; then
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        run_config build-asan -DKVOR_SANITIZE=ON -DKVOR_BENCH=OFF || status=1
fi
exit $status
