#!/usr/bin/env bash
# Compiles the core that knows nothing of widgets (decoder/, link/, timing/, common/) for
# Windows with MinGW-w64, syntax only, so that it stays portable: organisers mostly race on
# Windows laptops. Debian has no Qt for Windows, so the window is not built for it here.
set -euo pipefail
cd "$(dirname "$0")/.."
compiler=x86_64-w64-mingw32-g++-posix
count=0
for source in decoder/*.cpp link/*.cpp timing/*.cpp common/*.cpp; do
    "$compiler" -std=c++20 -fsyntax-only -Wall -Wextra -Wno-missing-field-initializers -I. \
        "$source"
    count=$((count + 1))
done
echo "$count source files of the core compile for Windows"
