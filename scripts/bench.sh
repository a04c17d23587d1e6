#!/usr/bin/env bash
# Builds Morwick's benchmark suite in Release and runs it: every batch task against the least
# work the kernel allows (the floor) and against the general tag tools, side by side.
#
#   scripts/bench.sh [--quick] [--runs N] [--no-peers] [--only tag,read,rename,open,remove,rss,scale,startup]
#                    [--scale] [--scale-files 1000,10000,100000]
#
# --quick uses fewer files and runs (a minute or two instead of about ten). The data goes to a
# temporary folder under TMPDIR (default /tmp): the full run needs about 6 GB there for a while.
# Every task that writes is also timed until its writes are on disk (a syncfs at the end of the
# same run: the " + sync" rows), Morwick's and each peer's alike.
# --scale runs only the scale section (the per-file cost of opening a folder, Tag files and
# Rename from tags at 1,000, 10,000 and 100,000 files, and the window's memory): about two
# minutes and 2 GB; the full run includes it, --quick stops it at 10,000 files.
# morwick-cli, built beside the suite, runs as a whole process in the tag and rename tables, and
# its start-up for one file (tag one, show one) stands beside the peers' in a table of its own.
# As root the script installs the peer tools that are missing (id3v2, kid3-cli, mid3v2 from
# python3-mutagen, eyeD3, mp3info); a tool that cannot be had is reported and left out.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/deps.sh"

peers=1
for arg in "$@"; do
    [ "$arg" = "--no-peers" ] && peers=0
done

if [ "$peers" = 1 ]; then
    # Debian package -> the command it provides.
    declare -A tools=([id3v2]=id3v2 [kid3-cli]=kid3-cli [python3-mutagen]=mid3v2 [eyed3]=eyeD3 [mp3info]=mp3info)
    missing=()
    for package in "${!tools[@]}"; do
        command -v "${tools[$package]}" >/dev/null || missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        if [ "$(id -u)" -eq 0 ]; then
            export DEBIAN_FRONTEND=noninteractive
            apt-get update -qq || true
            for package in "${missing[@]}"; do
                if apt-cache show "$package" >/dev/null 2>&1 &&
                    apt-get install -y -qq --no-install-recommends "$package" >/dev/null; then
                    echo "installed $package"
                else
                    echo "$package is not available here: its rows are skipped"
                fi
            done
        else
            echo "not root: the missing peers (${missing[*]}) are skipped;" \
                "sudo apt-get install ${missing[*]} to compare with them"
        fi
    fi
fi

fixtures=${MORWICK_FIXTURES:-$root/tests/data}
if [ ! -f "$fixtures/short-under-10k.mp3" ]; then
    echo "Morwick's MP3 fixtures are not in $fixtures: set MORWICK_FIXTURES to their folder" >&2
    exit 1
fi

build=${MORWICK_BENCH_BUILD_DIR:-$root/build-bench}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORWICK_BENCH=ON -DMORWICK_TESTS=OFF >/dev/null
cmake --build "$build" --target bench_suite
echo "free space in ${TMPDIR:-/tmp}: $(df -h --output=avail "${TMPDIR:-/tmp}" | tail -1 | tr -d ' ')"
# The data (gigabytes of it) goes however the run ends: finished, failed or interrupted.
data=$(mktemp -d "${TMPDIR:-/tmp}/morwick-bench.XXXXXX")
trap 'rm -rf "$data"' EXIT
MORWICK_FIXTURES=$(cd "$fixtures" && pwd) TMPDIR="$data" "$build/bench/bench_suite" "$@"
