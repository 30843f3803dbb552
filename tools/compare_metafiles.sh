#!/bin/sh
# Compares Velmora's metafile rendering with LibreOffice's on the corpus's
# valid WMF and EMF files. Not run by the tests; needs soffice
# (libreoffice-draw), ImageMagick, and render_picture (configure with
# -DVELMORA_TOOLS=ON).
#
#   tools/compare_metafiles.sh [build-dir] [corpus-dir] [out-dir] [kinds]
#
# Measure. LibreOffice puts each picture on an A4 page: centred, shrunk
# with margins when larger than the page, and for some WMF files sized by
# the window instead of the bounding box. None of that is drawing, so both
# images are reduced to the picture's ink before comparing:
#   1. flatten on white, add a white border and trim everything of that
#      white (1 % fuzz), so a picture's own pale background stays in; when
#      the reference's ink is more than 10 % wider or narrower than ours,
#      ours is drawn again at the reference's scale and trimmed, so line
#      and text weights compare at the same resolution;
#   2. if the two trimmed boxes differ in aspect ratio by more than
#      ASPECT_TOL (default 0.15, relative) beyond what 1.5 pixels of
#      trimming per side explain, the file does not match ("aspect"): a
#      squashed or cut-off picture is a real difference;
#   3. otherwise scale both to the same box, BOX pixels on the longer side
#      (default 128) with the reference's aspect ratio, then blur both with
#      a Gaussian as wide as one pixel of the smaller original and at least
#      one box pixel (forgives anti-aliasing, hinting, one-pixel placement
#      and font rasterisation alike for tiny and large pictures);
#   4. score = normalised RMSE over all channels, and relative = score
#      divided by the larger of the two pictures' RMSE from blank paper (the
#      amount of ink). A file matches when score < THRESHOLD (default 0.12)
#      and either relative < REL_THRESHOLD (default 0.5) or score < 0.02
#      (near-identical). The absolute score alone lets sparse line charts
#      pass whatever their content: pairing each reference with another
#      file's rendering, genuinely different pictures scored 0.04-0.09 but
#      relative 0.58 and more. A missing, misplaced or wrongly filled shape
#      or line of text fails one of the two.
# Files whose reference rendering is demonstrably wrong are listed below
# with the reason; they are scored and shown but counted apart ("ref-wrong"),
# never as matches.
#
# Writes out-dir/results.tsv, out-dir/sheet-<kind>.png (pairs: LibreOffice
# left, Velmora right, labelled with the score) and prints the match rate
# and the render-time median and 90th percentile per kind.
# REUSE_LO=1 keeps the LibreOffice images of an earlier run in out-dir/lo/<kind>.
set -eu

BUILD=${1:-build}
CORPUS=${2:-$(dirname "$0")/../../shared/corpus}
OUT=${3:-/tmp/velmora-compare}
KINDS=${4:-"emf wmf"}
THRESHOLD=${THRESHOLD:-0.12}
REL_THRESHOLD=${REL_THRESHOLD:-0.5}
ASPECT_TOL=${ASPECT_TOL:-0.15}
BOX=${BOX:-128}
RENDER="$BUILD/render_picture"

# Reference faults, checked against a second renderer (Inkscape) and the
# records themselves. Format: file<TAB>reason.
EXCEPTIONS=$(cat <<'EOF'
emf2svg-test-026.emf	pens of 4 logical units map to 0.15 pixel; GDI draws them one pixel wide, LibreOffice as faint sub-pixel hairlines that all but vanish
gdip-test.emf	StretchDIBits (0,0 100x100) covers the Rectangle (0,0)-(99,99) drawn before it; LibreOffice still shows the rectangle's bottom edge below the bitmap
emf2svg-test-185.emf	the four EXTTEXTOUTW records set ETO_GLYPH_INDEX: their values are glyph numbers of the face "David", which is not installed; LibreOffice (and Inkscape) draw them as the characters U+00A7 U+009F U+00A6 U+00B3, which is wrong, while Velmora draws nothing
lwmf-formula1.wmf	placeable frame (-4,-4)-(218,37) is 5.4:1 and SETWINDOWEXT 4416x736 (6:1) is stretched to it; LibreOffice keeps the window's 6:1 and so widens the formula
lwmf-fulltest.wmf	the test chart's hatched brushes (CREATEBRUSHINDIRECT BS_HATCHED, e.g. red HS_FDIAGONAL on a yellow background) come out solid black, its dashed and dotted one-pixel pens solid, and the title is cut at both sides; Velmora draws the hatches, styles and title
lwmf-cell.wmf	LibreOffice draws this placeable 1055x817 chart at 148x93 pixels, and asked for 1055x817 only scales that raster up, so its markers, ticks and labels blur into grey; Inkscape leaves the three plots out altogether; Velmora draws every marker and label
poi-nested_wmf.emf	the plot's background rectangle and its markers are filled with an 8x8 monochrome pattern brush whose bits are all 0 (META_DIBCREATEPATTERNBRUSH BS_PATTERN in the WMF image, EMR_CREATEMONOBRUSH in the EMF that WMF carries) after SETTEXTCOLOR white (background) or navy (markers) and SETBKCOLOR light blue; 0 bits take the text colour, so GDI paints a white background and solid navy markers; LibreOffice fills every monochrome pattern brush with the background colour whatever its bits (a test brush with half its bits 1 also comes out plain background colour), hence its light-blue page and hollow markers
lwmf-text.wmf	non-placeable; TEXTOUT records at x=150..170 (three strings, one at 60 degrees) lie inside the drawing, but LibreOffice's page cuts them off after two letters (Inkscape shows almost nothing)
EOF
)

[ -x "$RENDER" ] || { echo "no $RENDER (configure with -DVELMORA_TOOLS=ON)" >&2; exit 2; }
command -v soffice >/dev/null || { echo "soffice not found (apt-get install libreoffice-draw)" >&2; exit 2; }
command -v compare >/dev/null || { echo "ImageMagick not found" >&2; exit 2; }

export QT_QPA_PLATFORM=offscreen
mkdir -p "$OUT"
RESULTS="$OUT/results.tsv"
printf 'kind\tfile\twidth\theight\tscore\tmatch\tms\trelative\n' > "$RESULTS"

# rmse <a> <b>: normalised root mean square difference of two images.
rmse() {
    compare -metric RMSE "$1" "$2" null: 2>&1 | sed -n 's/.*(\([0-9.e-]*\)).*/\1/p'
}

# trimmed <in> <out>: the picture's ink on white, with its size printed.
trimmed() {
    convert "$1" -background white -alpha remove -alpha off -bordercolor white -border 2 -fuzz 1% -trim +repage \
        "$2" 2>/dev/null
    identify -format '%w %h' "$2"
}

for kind in $KINDS; do
    files=$(ls "$CORPUS/$kind/good/"*."$kind" 2>/dev/null || true)
    [ -n "$files" ] || continue
    # Per kind: the corpus has WMF and EMF files of the same base name.
    PAIRS="$OUT/pairs/$kind"
    rm -rf "$PAIRS"
    mkdir -p "$PAIRS" "$OUT/lo/$kind" "$OUT/vm/$kind"
    # One LibreOffice start for the whole batch.
    # shellcheck disable=SC2086
    [ "${REUSE_LO:-0}" = 1 ] ||
        soffice --headless --convert-to png --outdir "$OUT/lo/$kind" $files >/dev/null 2>&1 || true
    for f in $files; do
        name=$(basename "$f")
        base=${name%.*}
        lo="$OUT/lo/$kind/$base.png"
        vm="$OUT/vm/$kind/$base.png"
        if [ ! -s "$lo" ]; then
            printf '%s\t%s\t\t\t\tno-reference\t\t\n' "$kind" "$name" >> "$RESULTS"
            continue
        fi
        if ! stats=$("$RENDER" "$f" "$vm" max2000 2>/dev/null); then
            printf '%s\t%s\t\t\t\tvelmora-failed\t\t\n' "$kind" "$name" >> "$RESULTS"
            continue
        fi
        ms=$(echo "$stats" | awk '{print $5}')
        w=$(echo "$stats" | awk '{print $3}')
        h=$(echo "$stats" | awk '{print $4}')
        # shellcheck disable=SC2046
        set -- $(trimmed "$lo" "$PAIRS/$base.lot.png") $(trimmed "$vm" "$PAIRS/$base.vmt.png")
        # The reference may have drawn the picture at another scale (shrunk
        # onto the page, or sized by its window): draw ours again at that
        # scale so that lines and text have the same weight in both.
        scaled=$(awk -v lw="$1" -v vw="$3" -v w="$w" -v h="$h" 'BEGIN {
            if (lw < 2 || vw < 2) exit
            s = lw / vw; if (s > 0.9 && s < 1.1) exit
            W = int(w * s + 0.5); H = int(h * s + 0.5); if (W < 1) W = 1; if (H < 1) H = 1
            if (W <= 4000 && H <= 4000) printf "%dx%d\n", W, H }')
        if [ -n "$scaled" ] && "$RENDER" "$f" "$PAIRS/$base.vms.png" "$scaled" >/dev/null 2>&1; then
            # shellcheck disable=SC2046
            set -- "$1" "$2" $(trimmed "$PAIRS/$base.vms.png" "$PAIRS/$base.vmt.png")
        fi
        verdict=$(awk -v lw="$1" -v lh="$2" -v vw="$3" -v vh="$4" -v tol="$ASPECT_TOL" -v box="$BOX" 'BEGIN {
            if (lw < 2 || lh < 2 || vw < 2 || vh < 2) { print "blank"; exit }
            # Each side may be off by a pixel and a half of trimming.
            va = vw / vh; lo = (lw - 1.5) / (lh + 1.5) / (1 + tol); hi = (lw + 1.5) / (lh - 1.5) * (1 + tol)
            if (lh <= 1.5 || va < lo || va > hi) { print "aspect"; exit }
            if (lw >= lh) { bw = box; bh = int(box * lh / lw + 0.5) } else { bh = box; bw = int(box * lw / lh + 0.5) }
            if (bw < 8) bw = 8; if (bh < 8) bh = 8
            # Blur by one source pixel of the smaller picture, at least one box pixel.
            sigma = box / (lw > lh ? lw : lh); s2 = box / (vw > vh ? vw : vh); if (s2 > sigma) sigma = s2
            if (sigma < 1) sigma = 1
            printf "%dx%d %.2f\n", bw, bh, sigma }')
        score=1
        ink=0
        case $verdict in
        blank)
            # Both empty is agreement; one empty is not.
            [ "$1" -lt 2 ] && [ "$3" -lt 2 ] && score=0 ;;
        aspect) ;;
        *)
            for side in lo vm; do
                convert "$PAIRS/$base.${side}t.png" -resize "${verdict% *}!" -blur "0x${verdict#* }" \
                    "$PAIRS/$base.$side.cmp.png"
            done
            score=$(rmse "$PAIRS/$base.lo.cmp.png" "$PAIRS/$base.vm.cmp.png")
            # The ink: how far each picture is from blank paper.
            convert "$PAIRS/$base.lo.cmp.png" -fill white -colorize 100 "$PAIRS/$base.white.png"
            ink=$(awk -v a="$(rmse "$PAIRS/$base.lo.cmp.png" "$PAIRS/$base.white.png")" \
                -v b="$(rmse "$PAIRS/$base.vm.cmp.png" "$PAIRS/$base.white.png")" 'BEGIN { print (a > b ? a : b) }')
            ;;
        esac
        match=$(awk -v r="${score:-1}" -v i="${ink:-0}" -v t="$THRESHOLD" -v rt="$REL_THRESHOLD" 'BEGIN {
            print (r < t && (r < 0.02 || (i > 0 && r / i < rt))) ? "yes" : "no" }')
        [ "$verdict" = aspect ] && match=aspect
        if [ "$match" != yes ] && printf '%s\n' "$EXCEPTIONS" | grep -q "^$name	"; then
            match=ref-wrong
        fi
        printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$kind" "$name" "$w" "$h" "$score" "$match" "$ms" \
            "$(awk -v r="${score:-1}" -v i="$ink" 'BEGIN { if (i > 0) printf "%.3f", r / i }')" >> "$RESULTS"
        label=$(printf '%s %.3f %s' "$base" "${score:-1}" "$match")
        convert "$PAIRS/$base.lot.png" -resize 240x180 -set label "LO $base" "$PAIRS/$base.a.png"
        convert "$PAIRS/$base.vmt.png" -resize 240x180 -set label "$label" "$PAIRS/$base.b.png"
    done
    # shellcheck disable=SC2046
    montage -font DejaVu-Sans -pointsize 10 -geometry 240x180+4+4 -tile 6x -depth 8 \
        $(ls "$PAIRS/"*.a.png "$PAIRS/"*.b.png | sort) \
        "$OUT/sheet-$kind.png" 2>/dev/null || true
done

awk -F'\t' 'NR > 1 {
        n[$1]++; if ($6 == "yes") m[$1]++; if ($6 == "ref-wrong") x[$1]++
        if ($7 != "") t[$1, ++c[$1]] = $7
    }
    END {
        for (k in n) {
            # Render times, sorted for the median and 90th percentile.
            for (i = 1; i <= c[k]; i++) v[i] = t[k, i]
            for (i = 2; i <= c[k]; i++) for (j = i; j > 1 && v[j - 1] + 0 > v[j] + 0; j--) { s = v[j]; v[j] = v[j - 1]; v[j - 1] = s }
            med = c[k] ? v[int((c[k] + 1) / 2)] : 0; p90 = c[k] ? v[int(0.9 * c[k] + 0.999)] : 0
            printf "%s: matched %d of %d (%.0f%%); %d reference faults; of the rest %d of %d (%.0f%%); render ms median %s p90 %s\n", k, m[k], n[k], 100 * m[k] / n[k], x[k], m[k], n[k] - x[k], (n[k] > x[k] ? 100 * m[k] / (n[k] - x[k]) : 0), med, p90
        }
    }' "$RESULTS"
