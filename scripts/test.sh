#!/usr/bin/env bash
# Builds kvor3d and runs every test twice: a plain build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer; after the plain one, the
# library alone is installed and used by another project (check_install). The
# window tests run on a private Xvfb that this script starts and stops.
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

# The library as another project takes it: configured and built alone (so
# without GoogleTest, Google Benchmark, libpng or FreeType), installed into
# a temporary prefix, then tests/consumer built through the CMake package and
# through pkg-config and the examples built against the install. Both
# consumers must draw the same frame of a scene that the plain build writes,
# and the installed snapshot example the same picture as the tree's.
check_install() {
    local tmp
    tmp="$(mktemp -d)"
    local consumer="$root/tests/consumer" options=(-DKVOR_TOOLS=OFF -DKVOR_DEMO=OFF -DKVOR_VIEWER=OFF
        -DKVOR_TESTS=OFF -DKVOR_BENCH=OFF -DKVOR_EXAMPLES=OFF)
    local flags
    cmake -S "$root" -B "$root/build-lib" -G Ninja "${options[@]}" >/dev/null &&
        cmake --build "$root/build-lib" -j 2 >/dev/null &&
        cmake --install "$root/build-lib" --prefix "$tmp/prefix" >/dev/null &&
        cmake -S "$consumer" -B "$tmp/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$tmp/prefix" >/dev/null &&
        cmake --build "$tmp/consumer" >/dev/null &&
        cmake -S "$root/examples" -B "$tmp/examples" -G Ninja -DCMAKE_PREFIX_PATH="$tmp/prefix" >/dev/null &&
        cmake --build "$tmp/examples" -j 2 >/dev/null &&
        flags="$(PKG_CONFIG_PATH="$tmp/prefix/lib/pkgconfig" pkg-config --cflags --libs kvor3d)" &&
        g++ -std=c++17 -O2 "$consumer/consumer.cpp" -o "$tmp/consumer-pc" $flags &&
        "$root/build/bench/kvorscenes" "$tmp/scenes" &&
        (
            cd "$tmp/scenes" &&
                package="$("$tmp/consumer/consumer" torus.kvor)" && pc="$("$tmp/consumer-pc" torus.kvor)" &&
                echo "find_package: $package" && echo "pkg-config:   $pc" && [ "$package" = "$pc" ] &&
                "$tmp/examples/snapshot" torus.kvor 1.5 "$tmp/installed.png" &&
                "$root/build/examples/snapshot" torus.kvor 1.5 "$tmp/tree.png" &&
                cmp "$tmp/installed.png" "$tmp/tree.png"
        )
    local status=$?
    rm -rf "$tmp"
    [ $status -eq 0 ] && echo "installed library: works" || echo "installed library: FAILED"
    return $status
}

what="${1:-all}"
status=0
if [ "$what" = all ] || [ "$what" = plain ]; then
    run_config build || status=1
    check_install || status=1
fi
if [ "$what" = all ] || [ "$what" = sanitize ]; then
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
        run_config build-asan -DKVOR_SANITIZE=ON -DKVOR_BENCH=OFF || status=1
fi
exit $status
