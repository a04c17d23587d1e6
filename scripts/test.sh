#!/usr/bin/env bash
# Builds Morwick and runs every test, headless.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=${MORWICK_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORWICK_TESTS=ON "$@"
cmake --build "$build"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure --no-tests=error
