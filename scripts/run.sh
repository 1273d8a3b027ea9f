#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh
./scripts/build.sh build
if [ -x build/app/tivaro ]; then
    exec build/app/tivaro "$@"
fi
# Until the window exists: decode the sample capture of a race.
exec build/tools/tivaro-decode/tivaro-decode examples/race-capture.bin
