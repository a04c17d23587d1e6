#!/usr/bin/env bash
# Builds Morwick and starts it in the folder you run this from.
set -euo pipefail
here=$(pwd)
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORWICK_TESTS=OFF
cmake --build build-release
cd "$here"
exec "$OLDPWD/build-release/morwick" "$@"
