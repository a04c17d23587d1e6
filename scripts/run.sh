#!/usr/bin/env bash
# Builds Morwick and starts it in the folder you run this from.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh"
cmake -S "$root" -B "$root/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORWICK_TESTS=OFF >/dev/null
cmake --build "$root/build-release"
exec "$root/build-release/morwick" "$@"
