#!/usr/bin/env bash
# Takes the README's picture of the window, docs/window.png: starts the window on a virtual X
# display, opens a copy of the demo workbook, chooses running with three laps, lets a decoder
# played by the window's scripted run send a warm-up, the common start and a few laps, and
# saves the picture. Nothing is written to ~/zomradata.
#   scripts/screenshot.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
if [ ! -x "$build/app/tivaro" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$build" --target tivaro
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp examples/demo-race.xlsx "$work/dovo-demo.xlsx"
mkdir -p docs
TIVARO_DATA_DIR="$work/zomradata" xvfb-run -a -s "-screen 0 1024x768x24" \
    "$build/app/tivaro" --demo-workbook="$work/dovo-demo.xlsx" \
    --demo-picture="$PWD/docs/window.png"
echo "Wrote docs/window.png"
