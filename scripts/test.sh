#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the unit and integration tests, the
# same core tests under AddressSanitizer and UndefinedBehaviorSanitizer, a short run of every
# fuzz target, and a compile of the core for Windows.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh

jobs=$(nproc)
./scripts/build.sh build
./scripts/build.sh build-asan -DTIVARO_SANITIZE=ON -DTIVARO_WITH_QT=OFF -DTIVARO_BENCH=OFF
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIVARO_FUZZ=ON \
    -DTIVARO_WITH_QT=OFF -DTIVARO_BENCH=OFF -DTIVARO_TESTS=OFF >/dev/null
cmake --build build-fuzz --parallel "$jobs" --target fuzz_binary_records fuzz_older_lines \
    fuzz_record_roundtrip fuzz_workbook_open fuzz_scenario

echo "== the core on Windows (MinGW-w64, syntax only) =="
./scripts/check-windows-core.sh

echo "== fuzz (short run of each target) =="
for target in build-fuzz/fuzz/fuzz_*; do
    [ -f "$target" ] && [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus="build-fuzz/corpus/$name"
    mkdir -p "$corpus"
    seeds="fuzz/seeds/$name"
    [ -d "$seeds" ] || seeds=""
    dict="fuzz/$name.dict"
    [ -f "$dict" ] && dict="-dict=$dict" || dict=""
    "$target" -max_total_time="${FUZZ_SECONDS:-20}" -rss_limit_mb=2048 -print_final_stats=0 \
        $dict "$corpus" $seeds 2>&1 | tail -n 2
done

echo "== core tests under ASan + UBSan =="
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j "$jobs")

echo "== all tests =="
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$jobs")
