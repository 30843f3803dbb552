#!/bin/sh
# Compares Velmora's metafile rendering with LibreOffice's on the corpus's
# valid WMF/EMF files. Not run by the tests; needs soffice (libreoffice-draw),
# ImageMagick, and render_picture (configure with -DVELMORA_TOOLS=ON).
#
#   tools/compare_metafiles.sh [build-dir] [corpus-dir] [out-dir] [kinds]
#
# For every file: LibreOffice converts it to PNG (placed on a drawing page),
# render_picture draws it at its natural size (at most 2000 pixels a side), both are flattened on white,
# trimmed to their ink, shrunk to 128x128 after a slight blur, and the
# normalised RMSE between them is measured. A
# file "matches" below THRESHOLD (default 0.12): the measure forgives
# anti-aliasing, font and hinting differences but not missing or misplaced
# shapes. Writes out-dir/results.tsv and a contact sheet out-dir/sheet-*.png
# (LibreOffice left, Velmora right).
set -eu

BUILD=${1:-build}
CORPUS=${2:-$(dirname "$0")/../../shared/corpus}
OUT=${3:-/tmp/velmora-compare}
KINDS=${4:-"emf wmf"}
THRESHOLD=${THRESHOLD:-0.12}
RENDER="$BUILD/render_picture"

[ -x "$RENDER" ] || { echo "no $RENDER (configure with -DVELMORA_TOOLS=ON)" >&2; exit 2; }
command -v soffice >/dev/null || { echo "soffice not found (apt-get install libreoffice-draw)" >&2; exit 2; }
command -v compare >/dev/null || { echo "ImageMagick not found" >&2; exit 2; }

export QT_QPA_PLATFORM=offscreen
mkdir -p "$OUT/lo" "$OUT/vm"
RESULTS="$OUT/results.tsv"
printf 'file\twidth\theight\trmse\tmatch\tms\n' > "$RESULTS"

for kind in $KINDS; do
    files=$(ls "$CORPUS/$kind/good/"*."$kind" 2>/dev/null || true)
    [ -n "$files" ] || continue
    PAIRS="$OUT/pairs/$kind"
    mkdir -p "$PAIRS"
    # One LibreOffice start for the whole batch.
    # shellcheck disable=SC2086
    # REUSE_LO=1 keeps the references of an earlier run.
    [ "${REUSE_LO:-0}" = 1 ] ||
        soffice --headless --convert-to png --outdir "$OUT/lo" $files >/dev/null 2>&1 || true
    for f in $files; do
        name=$(basename "$f")
        base=${name%.*}
        lo="$OUT/lo/$base.png"
        vm="$OUT/vm/$base.png"
        if [ ! -s "$lo" ]; then
            printf '%s\t\t\t\tno-reference\t\n' "$name" >> "$RESULTS"
            continue
        fi
        if ! stats=$("$RENDER" "$f" "$vm" max2000 2>/dev/null); then
            printf '%s\t\t\t\tvelmora-failed\t\n' "$name" >> "$RESULTS"
            continue
        fi
        ms=$(echo "$stats" | awk '{print $5}')
        size=$(echo "$stats" | awk '{print $3 "x" $4}')
        for side in lo vm; do
            eval src=\$$side
            convert "$src" -background white -flatten -fuzz 3% -trim +repage -blur 0x1 -resize 128x128! \
                "$PAIRS/$base.$side.png" || true
        done
        rmse=$(compare -metric RMSE "$PAIRS/$base.lo.png" "$PAIRS/$base.vm.png" null: 2>&1 |
            sed -n 's/.*(\([0-9.e-]*\)).*/\1/p')
        match=$(awk -v r="${rmse:-1}" -v t="$THRESHOLD" 'BEGIN { print (r < t) ? "yes" : "no" }')
        printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "${size%x*}" "${size#*x}" "$rmse" "$match" "$ms" >> "$RESULTS"
        convert "$lo" -background white -flatten -fuzz 3% -trim +repage -resize 240x180 "$PAIRS/$base.a.png" || true
        convert "$vm" -background white -flatten -resize 240x180 "$PAIRS/$base.b.png" || true
    done
    # shellcheck disable=SC2046
    montage -font DejaVu-Sans -pointsize 10 -label '%t' -geometry 240x180+4+4 -tile 6x \
        $(ls "$PAIRS/"*.a.png "$PAIRS/"*.b.png | sort) \
        "$OUT/sheet-$kind.png" 2>/dev/null || true
done

awk -F'\t' 'NR > 1 { n++; if ($5 == "yes") m++ } END { printf "matched %d of %d (%.0f%%)\n", m, n, n ? 100 * m / n : 0 }' "$RESULTS"
