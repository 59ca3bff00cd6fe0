#!/usr/bin/env bash
# Builds everything and runs the main job: the show threnody in a window.
# On a desktop it uses $DISPLAY and plays until its window is closed (or
# Escape, q, Ctrl-C); arguments go to the show (threnody --help). Where no
# display can be opened it plays the first two minutes on a private Xvfb at
# scale 1, saves a screenshot every 10 seconds in shots/ and ends it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKVOR_TESTS=OFF >/dev/null
cmake --build build-release -j 2

# The show and the viewer run on data/, which kvordata writes from a seed.
if [ ! -d data ]; then
    build-release/tools/kvordata data
fi

program=(build-release/demo/threnody)

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec "${program[@]}" "$@"
fi

. scripts/xvfb.sh
start_private_xvfb 1024x768x24
mkdir -p shots
rm -f shots/*.png
"${program[@]}" --scale 1 &
pid=$!
for i in $(seq -w 1 12); do
    sleep 10
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid" || true
        echo "threnody ended by itself before $((10#$i * 10)) seconds" >&2
        exit 1
    fi
    xwd -root -silent | xwdtopnm 2>/dev/null | pnmcut -left 0 -top 0 -width 320 -height 200 | pnmtopng >"shots/show-${i}0s.png"
done
kill "$pid"
wait "$pid" 2>/dev/null || true
echo "no display here: played two minutes of the show on a private Xvfb ($DISPLAY); screenshots in $(pwd)/shots/"
