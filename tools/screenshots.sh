#!/bin/bash
# Takes the user guide's screenshots: starts the program under Xvfb in a
# folder of pictures and works it by keys alone, as a user without a mouse
# would (xdotool), saving what the screen shows.
#
# Usage: tools/screenshots.sh <velmora binary> <folder of pictures> <output folder> [scale]
# The folder should sort a small picture first and hold one larger than the
# screen second. Needs Xvfb, xdotool and ImageMagick (import, convert).
set -euo pipefail
program=$(realpath "$1")
pictures=$(realpath "$2")
out=$(realpath -m "$3")
scale=${4:-1}
mkdir -p "$out"

display=:$((60 + RANDOM % 30))
width=$((800 * scale))
height=$((600 * scale))
Xvfb "$display" -screen 0 "${width}x${height}x24" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $app $xvfb 2>/dev/null || true' EXIT
export DISPLAY=$display
sleep 1

cd "$pictures"
QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale LANG=ja_JP.UTF-8 "$program" >/dev/null 2>&1 &
app=$!
sleep 2

key() { xdotool key --delay 150 "$@"; sleep 0.7; }
shot() { import -window root "$out/$1"; }
crop() { convert "$out/$1" -crop "$2" +repage "$out/$1"; }

# Browser: the focus starts in the path box; four tabs reach the file list.
key Tab Tab Tab Tab space Down
shot browser.png
crop browser.png "$((450 * scale))x$((350 * scale))+0+0"

# Viewer: Ctrl+S opens the chosen (large) picture, Ctrl+B steps back to the small one.
key ctrl+s
shot viewer-large.png
key ctrl+b
shot viewer-small.png
# The tool bar's help tip, half-width katakana.
xdotool mousemove $((110 * scale)) $((35 * scale))
sleep 2
shot viewer-tip.png
crop viewer-tip.png "$((300 * scale))x$((90 * scale))+0+0"
key ctrl+s
echo "screenshots in $out"
