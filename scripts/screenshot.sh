#!/usr/bin/env bash
# Takes the pictures of the window in docs/: starts the window on a virtual X display, opens a
# copy of the demo workbook, chooses running with three laps, lets a decoder played by the
# scripted run (tests/app/demo_run.h) send a warm-up, the common start and a few laps, and
# saves a picture of the window. Twice: on a 1366 x 768 laptop screen at 100 %, and on a
# 1920 x 1080 screen at 150 %; the first time also the live results' panel with its QR code.
# Nothing is written to ~/zomradata or the user's settings.
#   scripts/screenshot.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
picture_tool="$build/tests/app/tivaro_window_picture"
if [ ! -x "$picture_tool" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" --target tivaro_window_picture
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p docs

picture() {  # SCREEN SCALE PICTURE [PANEL]
    cp examples/demo-race.xlsx "$work/dovo-demo.xlsx"
    rm -rf "$work/zomradata" "$work/config"
    QT_SCALE_FACTOR=$2 TIVARO_DATA_DIR="$work/zomradata" XDG_CONFIG_HOME="$work/config" \
        xvfb-run -a -s "-screen 0 ${1}x24" "$picture_tool" "$work/dovo-demo.xlsx" "$PWD/$3" ${4:+"$PWD/$4"}
    echo "Wrote $3${4:+ and $4}"
}

picture 1366x768 1 docs/window-1366x768.png docs/live-panel.png
picture 1920x1080 1.5 docs/window-1920x1080-150.png
cp docs/window-1366x768.png docs/window.png
