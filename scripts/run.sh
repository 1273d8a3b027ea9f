#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: the window.
#   ./scripts/run.sh           the window
#   ./scripts/run.sh --demo    the window and a simulated decoder on 127.0.0.1 (see README)
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh build

if [ ! -x build/app/tivaro ]; then
    # Without the window: decode the sample capture of a race.
    exec build/tools/tivaro-decode/tivaro-decode examples/race-capture.bin
fi

if [ "${1:-}" != "--demo" ]; then
    exec build/app/tivaro "$@"
fi

# The demo: a copy of the demo workbook to time into, and a decoder that starts a running
# race (three laps of about 12 s) as soon as the window connects.
demo_dir="${TIVARO_DATA_DIR:-${HOME}/zomradata}/demo"
mkdir -p "$demo_dir"
cp examples/demo-race.xlsx "$demo_dir/dovo-demo.xlsx"
echo "Demo workbook: $demo_dir/dovo-demo.xlsx"
build/tools/tivaro-sim/tivaro-sim --tcp 127.0.0.1:5403 --demo-sheet 1 --laps 3 \
    --lap-seconds 12 --warmup 1 --cooldown 1 --linger 3600 &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
build/app/tivaro
