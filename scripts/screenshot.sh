#!/usr/bin/env bash
# Takes the README's picture of the window, docs/window.png: starts the window on a virtual X
# display, opens a copy of the demo workbook, chooses running with three laps, lets a decoder
# played by the scripted run (tests/app/demo_run.h) send a warm-up, the common start and a few
# laps, and saves the picture. Nothing is written to ~/zomradata.
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
cp examples/demo-race.xlsx "$work/dovo-demo.xlsx"
mkdir -p docs
TIVARO_DATA_DIR="$work/zomradata" xvfb-run -a -s "-screen 0 1024x768x24" \
    "$picture_tool" "$work/dovo-demo.xlsx" "$PWD/docs/window.png"
echo "Wrote docs/window.png"
