#!/usr/bin/env bash
# Cuts the power under Tag files, Remove all tags and the undo of a removal, and checks that nothing is torn: an ext4 file
# system on a loop device holds the songs and the journal; each trial starts the crash driver
# (crash/CrashDriver.cpp, the real core functions) on a fresh copy of the songs, shuts the file
# system down at a random moment without flushing its journal (FS_IOC_GOINGDOWN with
# NOLOGFLUSH, what xfstests uses to stand in for a power cut: whatever was not committed is lost),
# mounts it again (the file system replays its journal, as after a reboot), runs what a start of
# Morwick runs and compares every file byte for byte with its old and its new content. Root only
# (loop devices); not part of the test run.
#
#   scripts/powercut-test.sh [TRIALS (default 40)] [FILES (default 120)]
#
# Prints trials, torn files and leftover temporaries; fails unless the last two are zero.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
trials=${1:-40}
files=${2:-120}
[ "$(id -u)" = 0 ] || { echo "powercut-test.sh needs root (loop devices)" >&2; exit 2; }

build=${MORWICK_CRASH_BUILD_DIR:-$root/build-crash}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORWICK_TESTS=OFF \
    -DMORWICK_CRASH_DRIVER=ON >/dev/null
cmake --build "$build" --target morwick_crash_driver >/dev/null
driver=$build/crash/morwick_crash_driver

work=$(mktemp -d "${TMPDIR:-/tmp}/morwick-powercut.XXXXXX")
mnt=$work/mnt
mkdir -p "$mnt"
cleanup() {
    mountpoint -q "$mnt" && umount "$mnt"
    rm -rf "$work"
}
trap cleanup EXIT
truncate -s 512M "$work/disk.img"
mkfs.ext4 -q "$work/disk.img"

# EXT4_IOC_SHUTDOWN (= XFS_IOC_GOINGDOWN) with EXT4_GOING_FLAGS_NOLOGFLUSH.
power_cut() {
    python3 -c 'import fcntl, os, struct, sys
fd = os.open(sys.argv[1], os.O_RDONLY)
fcntl.ioctl(fd, 0x8004587D, struct.pack("I", 2))' "$mnt"
}

"$driver" make "$work/old" "$files"
export XDG_STATE_HOME=$mnt/state

# Each op's run time on the loop device, so that the cut can fall anywhere within it.
fresh_copy() {
    rm -rf "$mnt/dir" "$mnt/state"
    cp -a "$work/old" "$mnt/dir"
    [ "$1" = undo ] && "$driver" remove "$mnt/dir"
    sync
}
declare -A took
for op in tag remove; do
    cp -a "$work/old" "$work/new-$op"
    "$driver" "$op" "$work/new-$op"
done
ops=(tag remove undo)
for op in "${ops[@]}"; do
    mount -o loop "$work/disk.img" "$mnt"
    fresh_copy "$op"
    start=$(date +%s%N)
    "$driver" "$op" "$mnt/dir"
    took[$op]=$(( ($(date +%s%N) - start) / 1000 ))
    umount "$mnt"
    echo "$op over $files files on the loop device: ${took[$op]} us"
done

torn=0 leftovers=0 cut=0
for ((i = 0; i < trials; i++)); do
    op=${ops[i % 3]}
    mount -o loop "$work/disk.img" "$mnt"
    fresh_copy "$op"
    "$driver" "$op" "$mnt/dir" &
    pid=$!
    delay=$(( (RANDOM * 32768 + RANDOM) % (took[$op] + 1) ))
    sleep "$(printf '%d.%06d' $((delay / 1000000)) $((delay % 1000000)))"
    if kill -0 "$pid" 2>/dev/null; then
        power_cut
        cut=$((cut + 1))
    fi
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    umount "$mnt"
    mount -o loop "$work/disk.img" "$mnt"
    "$driver" recover "$mnt/dir"
    if [ "$op" = undo ]; then
        read -r t l < <("$driver" check "$mnt/dir" "$work/new-remove" "$work/old")
    else
        read -r t l < <("$driver" check "$mnt/dir" "$work/old" "$work/new-$op")
    fi
    torn=$((torn + t))
    leftovers=$((leftovers + l))
    umount "$mnt"
done
echo "trials: $trials ($cut cut mid-run), files per trial: $files"
echo "torn files: $torn, leftover temporaries: $leftovers"
[ "$torn" = 0 ] && [ "$leftovers" = 0 ]
