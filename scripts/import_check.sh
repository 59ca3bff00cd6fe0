#!/usr/bin/env bash
# Imports every OBJ, glTF 2, 3DS, LWO, FBX and Collada model of Debian's
# assimp-testmodels (and models-nonbsd where present) with kvorimport,
# renders one frame of each with kvorshot, prints a table of what was
# imported, refused (with the reason) or crashed (a signal, a hang or a
# sanitizer report), and puts the frames on one contact sheet.
#
#   scripts/import_check.sh [BUILD] [OUT]
#
# BUILD is the build folder (default build-rel), OUT the folder for the
# scenes, the frames and contact.png (default a new temporary folder).
# Exit status 1 when any model crashed, else 0. Not part of the tests.
set -uo pipefail
cd "$(dirname "$0")/.."
build="$(realpath "${1:-build-rel}")"
out="${2:-$(mktemp -d)}"
mkdir -p "$out"
out="$(realpath "$out")"
import="$build/tools/kvorimport"
shot="$build/tools/kvorshot"
limit=60
for tool in "$import" "$shot"; do
    [ -x "$tool" ] || { echo "import_check: no $tool (build it first)" >&2; exit 2; }
done
for tool in pngtopnm pnmscale pnmcat pnmpad pbmtext pnmtopng; do
    command -v "$tool" >/dev/null || { echo "import_check: needs netpbm ($tool)" >&2; exit 2; }
done

roots=()
for root in /usr/share/assimp/models /usr/share/assimp/models-nonbsd; do
    [ -d "$root" ] && roots+=("$root")
done
mapfile -t models < <(find "${roots[@]}" -type f \( -iname '*.obj' -o -iname '*.gltf' -o -iname '*.glb' \
    -o -iname '*.3ds' -o -iname '*.lwo' -o -iname '*.fbx' -o -iname '*.dae' \) | sort)

# A crash is a signal, a hang (timeout's 124) or a sanitizer's report of a
# fault; memory left allocated at exit is told apart as a leak.
verdict() {
    local status="$1" err="$2"
    if grep -q -E 'ERROR: AddressSanitizer|runtime error:' "$err"; then
        echo crashed
    elif grep -q 'ERROR: LeakSanitizer' "$err"; then
        echo leaked
    elif [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        echo hung
    elif [ "$status" -gt 128 ]; then
        echo "crashed"
    elif [ "$status" -eq 0 ]; then
        echo imported
    else
        echo refused
    fi
}

printf '%-8s %-9s %s\n' FORMAT RESULT MODEL
n=0
imported=0 refused=0 crashed=0 leaked=0
thumbs=()
for model in "${models[@]}"; do
    n=$((n + 1))
    ext="${model##*.}"
    ext="${ext,,}"
    case "$ext" in
        gltf|glb) format=glTF2 ;; dae) format=Collada ;; *) format="${ext^^}" ;;
    esac
    # glTF 1 files are read by another importer; they are listed as such.
    if [ "$format" = glTF2 ] && grep -q -E '"version" *: *"1' "$model" 2>/dev/null; then
        format=glTF1
    fi
    stem="m$(printf '%03d' "$n")"
    (cd "$out" && timeout -s KILL "$limit" "$import" "$model" "$stem.kvor" >/dev/null 2>"$stem.err")
    status=$?
    result="$(verdict "$status" "$out/$stem.err")"
    detail="${model#/usr/share/assimp/}"
    case "$result" in
        imported)
            imported=$((imported + 1))
            (cd "$out" && timeout -s KILL "$limit" "$shot" "$stem.kvor" "$stem.png" >/dev/null 2>"$stem.shot")
            shotStatus=$?
            shotResult="$(verdict "$shotStatus" "$out/$stem.shot")"
            if [ "$shotResult" != imported ]; then
                result="render-$shotResult"
                detail="$detail: kvorshot: $(tail -n 1 "$out/$stem.shot")"
                [ "$shotResult" = crashed ] || [ "$shotResult" = hung ] && crashed=$((crashed + 1))
            else
                thumbs+=("$stem|$format $(basename "$model")")
            fi ;;
        refused)
            refused=$((refused + 1))
            detail="$detail: $(tail -n 1 "$out/$stem.err" | sed 's/^kvorimport: [^:]*: //')" ;;
        leaked)
            leaked=$((leaked + 1))
            where="$(grep -m 1 -o -E '#1 0x[0-9a-f]+ +(in [^ ]+ )?\(?[^ )]+' "$out/$stem.err" | awk '{print $NF}')"
            detail="$detail: status $status, first leak allocated in ${where#(}" ;;
        *)
            crashed=$((crashed + 1))
            detail="$detail (status $status)" ;;
    esac
    printf '%-8s %-9s %s\n' "$format" "$result" "$detail"
done
echo "models: $n, imported: $imported, refused: $refused, leaked: $leaked, crashed or hung: $crashed"

# The contact sheet: 160 x 100 thumbnails with their names, eight a row.
cells=()
for entry in "${thumbs[@]}"; do
    stem="${entry%%|*}"
    label="${entry#*|}"
    pngtopnm "$out/$stem.png" | pnmscale -xsize 160 -ysize 100 >"$out/$stem.cell.ppm" &&
        pbmtext -builtin fixed "${label:0:22}" 2>/dev/null | pnmpad -width 160 -halign 0 -black |
            pnmcat -tb -white "$out/$stem.cell.ppm" - >"$out/$stem.label.ppm" 2>/dev/null &&
        cells+=("$out/$stem.label.ppm")
done
rows=()
for ((i = 0; i < ${#cells[@]}; i += 8)); do
    row="$out/row$i.ppm"
    pnmcat -lr -jtop -black "${cells[@]:i:8}" >"$row" && rows+=("$row")
done
if [ ${#rows[@]} -gt 0 ]; then
    pnmcat -tb -jleft -black "${rows[@]}" | pnmtopng >"$out/contact.png"
    echo "contact sheet: $out/contact.png"
fi
[ "$crashed" -eq 0 ]
