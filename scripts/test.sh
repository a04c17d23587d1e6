#!/usr/bin/env bash
# Builds Morwick and runs every test, headless.
# MORWICK_SANITIZE=1 builds and runs them under AddressSanitizer and UndefinedBehaviorSanitizer
# instead, in build-asan/ (about three minutes from scratch on two cores).
set -euo pipefail
cd "$(dirname "$0")/.."
# As root (as CI runs) a test also makes a small btrfs file system on a loop device: it needs
# mkfs.btrfs, and is skipped without it.
if [ "$(id -u)" -eq 0 ]; then bash scripts/deps.sh btrfs-progs; else bash scripts/deps.sh; fi
sanitize=OFF
default_build=build
if [ "${MORWICK_SANITIZE:-0}" = 1 ]; then
    sanitize=ON
    default_build=build-asan
fi
build=${MORWICK_BUILD_DIR:-$default_build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMORWICK_TESTS=ON -DMORWICK_SANITIZE=$sanitize "$@"
cmake --build "$build"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$build" --output-on-failure --no-tests=error
