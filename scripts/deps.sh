#!/bin/bash
# Installs the Debian 12 packages Velmora needs, when they are missing.
# Usage: scripts/deps.sh run|test
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config
          qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
          libjpeg62-turbo-dev liblcms2-dev libxcb1-dev zlib1g-dev
          fonts-ipafont-gothic fonts-liberation2 fonts-dejavu-extra)
if [ "${1:-run}" = test ]; then
    # Sanitizer and fuzzing builds use clang; screenshots and fixtures use Xvfb and ImageMagick;
    # the window-manager tests run openbox on Xvfb and move windows with xdotool;
    # the colour tests use colord's test and reference profiles; scripts/lint checks formatting
    # and runs clang-tidy.
    packages+=(clang libclang-rt-14-dev clang-format clang-tidy xvfb xauth imagemagick openbox xdotool x11-utils colord-data)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
