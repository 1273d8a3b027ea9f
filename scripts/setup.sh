#!/usr/bin/env bash
# Installs every Debian package the project needs that is not installed yet.
set -euo pipefail

# libreoffice-calc, not libreoffice-calc-nogui (the two conflict): the Calc engine drives Calc
# with its window as well as headless. libreoffice-dev holds the UNO SDK it is built with.
packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-serialport-dev qt6-translations-l10n
    qt6-websockets-dev libqrencode-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libzip-dev libpugixml-dev libcli11-dev libexpat1-dev
    clang libclang-rt-14-dev
    python3-openpyxl libreoffice-calc libreoffice-dev
    xvfb xauth xdotool poppler-utils
    # The live page is tested in a real browser.
    chromium chromium-driver python3-selenium
    time g++-mingw-w64-x86-64-posix
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
