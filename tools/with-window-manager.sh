#!/bin/bash
# Runs a command on a private X server (Xvfb) with a window manager (openbox),
# so that tests see windows placed as on a desktop. Without Xvfb or openbox
# it runs the command as it is (such tests then skip).
# Usage: tools/with-window-manager.sh COMMAND [ARGS...]
set -u
if ! command -v Xvfb >/dev/null || ! command -v openbox >/dev/null; then
    exec "$@"
fi
dir=$(mktemp -d)
trap 'kill $wm $server 2>/dev/null; wait 2>/dev/null; rm -rf "$dir"' EXIT
# -displayfd picks a free display number and tells it once the server is ready.
Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$dir/display" 2>/dev/null &
server=$!
for _ in $(seq 100); do
    [ -s "$dir/display" ] && break
    sleep 0.1
done
export DISPLAY=":$(cat "$dir/display")"
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break
    sleep 0.1
done
QT_QPA_PLATFORM=xcb "$@"
