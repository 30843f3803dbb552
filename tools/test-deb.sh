#!/bin/bash
# Builds the Debian package, installs it into a clean Debian 12 tree with apt
# resolving its dependencies, and starts the installed program there under
# Xvfb to a screenshot. Slow (a few minutes, network for apt), so it is not
# part of scripts/test. Needs root (chroot, mount), debootstrap, dpkg-dev,
# ImageMagick (to turn the screenshot into a PNG) and a reachable Debian mirror.
#
# Usage: tools/test-deb.sh [screenshot.png]
# Environment: VELMORA_DEB_BASE  a pristine tree to copy (made by debootstrap
#                                 when missing; default /tmp/deb-root)
#              VELMORA_DEB_BUILD the build folder (default /tmp/velmora-deb-build)
#              DEBIAN_MIRROR     default http://deb.debian.org/debian
set -euo pipefail
cd "$(dirname "$0")/.."
src=$(pwd)
shot=$(realpath -m "${1:-/tmp/velmora-deb-screenshot.png}")
base=${VELMORA_DEB_BASE:-/tmp/deb-root}
build=${VELMORA_DEB_BUILD:-/tmp/velmora-deb-build}
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}

[ "$(id -u)" -eq 0 ] || { echo "test-deb: run as root (chroot and mount need it)" >&2; exit 2; }
for tool in debootstrap dpkg-shlibdeps convert; do
    command -v "$tool" >/dev/null || { echo "test-deb: $tool is missing (apt-get install debootstrap dpkg-dev imagemagick)" >&2; exit 2; }
done

echo "== build and package"
if [ -f "$build/CMakeCache.txt" ]; then
    cmake "$build" >/dev/null # an existing build folder keeps its settings
else
    cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2
rm -f "$build"/velmora_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/velmora_*.deb)
echo "package: $deb"
dpkg-deb --field "$deb" Package Version Architecture Depends Recommends

echo "== clean Debian 12 tree"
if [ ! -x "$base/usr/bin/apt-get" ]; then
    debootstrap --variant=minbase bookworm "$base" "$mirror"
fi
work=$(mktemp -d /tmp/velmora-deb-test.XXXXXX)
root="$work/root"
cp -a "$base" "$root"
cleanup() {
    umount "$root/proc" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mount -t proc proc "$root/proc"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root DEBIAN_FRONTEND=noninteractive "$@"; }

echo "== apt installs the package and what it needs"
in_root apt-get update -qq
in_root apt-get install -y -qq "/tmp/$(basename "$deb")" >/dev/null
in_root dpkg -s velmora | grep -E '^(Status|Version|Depends|Recommends)'
for f in /usr/bin/velmora /usr/share/applications/io.velmora.Velmora.desktop \
         /usr/share/metainfo/io.velmora.Velmora.metainfo.xml /usr/share/icons/hicolor/48x48/apps/velmora.png \
         /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf /usr/share/qt6/translations/qtbase_ja.qm; do
    [ -e "$root$f" ] || { echo "test-deb: missing after install: $f" >&2; exit 1; }
done
if in_root ldd /usr/bin/velmora | grep -q 'not found'; then
    in_root ldd /usr/bin/velmora | grep 'not found' >&2
    exit 1
fi

echo "== the installed program starts"
in_root apt-get install -y -qq --no-install-recommends xvfb xauth >/dev/null
mkdir -p "$root/tmp/fb"
in_root sh -c '
    Xvfb :57 -screen 0 800x600x24 -nolisten tcp -fbdir /tmp/fb >/tmp/xvfb.log 2>&1 &
    xvfb=$!
    sleep 2
    DISPLAY=:57 LANG=C.UTF-8 velmora >/tmp/velmora.log 2>&1 &
    app=$!
    sleep 5
    alive=0; kill -0 $app 2>/dev/null && alive=1
    cp /tmp/fb/Xvfb_screen0 /tmp/screen.xwd
    kill $app 2>/dev/null; kill $xvfb 2>/dev/null; wait 2>/dev/null
    cat /tmp/velmora.log
    [ $alive = 1 ]
' || { echo "test-deb: the installed program did not stay up" >&2; exit 1; }
convert "xwd:$root/tmp/screen.xwd" -crop 520x420+0+0 +repage "$shot"
echo "screenshot: $shot"
echo "test-deb: passed in ${SECONDS}s"
