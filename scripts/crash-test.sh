#!/usr/bin/env bash
# Kills Tag files (also with ID3v2 tags written: in place where the tag has room, else rewritten),
# Remove all tags and the undo of a removal at random moments and checks that nothing is torn: each
# trial copies a folder of songs (trailers straddling 4 KiB pages, half with ID3v2 heads, half of
# those with room for a new tag),
# starts the crash driver (the real core functions, crash/CrashDriver.cpp) on it, kills it,
# runs what a start of Morwick runs (recovery, then the folder opened) and compares every file
# byte for byte with its old and its new content. Not part of the test run.
#
#   scripts/crash-test.sh [TRIALS (default 200)] [FILES (default 300)]
#
# MORWICK_CRASH_LINKED=1 gives every third song a second name (in a subfolder), so that its tags
# go, and come back, by a copy through its own descriptor that recovery must finish.
#
# Half the trials kill from outside (kill -9 after a random delay within the command's run
# time); half make the driver kill itself after a random number of written bytes, cutting that
# write mid-way as the kernel does at a page boundary. An undo trial removes every tag first, then
# kills the undo; each file must then be as the removal left it or as it was. Prints trials, torn
# files and leftovers; fails unless all are zero.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
trials=${1:-200}
files=${2:-300}

build=${MORWICK_CRASH_BUILD_DIR:-$root/build-crash}
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMORWICK_TESTS=OFF \
    -DMORWICK_CRASH_DRIVER=ON >/dev/null
cmake --build "$build" --target morwick_crash_driver >/dev/null
driver=$build/crash/morwick_crash_driver

work=$(mktemp -d "${TMPDIR:-/tmp}/morwick-crash.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_STATE_HOME=$work/state
"$driver" make "$work/old" "$files" ${MORWICK_CRASH_LINKED:+linked}
old_bytes=$(du -sb "$work/old" | cut -f1)

declare -A took
for op in tag tag2 remove; do
    cp -a "$work/old" "$work/new-$op"
    start=$(date +%s%N)
    "$driver" "$op" "$work/new-$op"
    took[$op]=$(( ($(date +%s%N) - start) / 1000 ))
    echo "$op over $files files without a kill: ${took[$op]} us"
done
cp -a "$work/old" "$work/undo-timing"
"$driver" remove "$work/undo-timing"
start=$(date +%s%N)
"$driver" undo "$work/undo-timing"
took[undo]=$(( ($(date +%s%N) - start) / 1000 ))
echo "undo of remove over $files files without a kill: ${took[undo]} us"
ops=(tag tag2 remove undo)

torn=0 leftovers=0 journal_leftovers=0 killed=0
for ((i = 0; i < trials; i++)); do
    op=${ops[i % 4]}
    rm -rf "$work/dir"
    cp -a "$work/old" "$work/dir"
    [ "$op" = undo ] && "$driver" remove "$work/dir"
    if [ $((i / 4 % 2)) = 0 ]; then
        "$driver" "$op" "$work/dir" &
        pid=$!
        delay=$(( (RANDOM * 32768 + RANDOM) % (took[$op] + 1) ))
        sleep "$(printf '%d.%06d' $((delay / 1000000)) $((delay % 1000000)))"
        kill -9 "$pid" 2>/dev/null && killed=$((killed + 1)) || true
        wait "$pid" 2>/dev/null || true
    else
        case $op in
        tag) limit=$((files * 128)) ;;
        tag2) limit=$((old_bytes / 2)) ;; # a quarter of the songs are rewritten, the rest written in place
        *) limit=$old_bytes ;;
        esac
        cut=$(( (RANDOM * 32768 + RANDOM) % limit ))
        "$driver" "$op" "$work/dir" "$cut" &
        wait $! 2>/dev/null && true || killed=$((killed + 1))
    fi
    # MORWICK_CRASH_NO_RECOVERY=1 skips the start's recovery: the figures then show what the
    # kills leave behind without it (the script's own check of itself).
    [ -n "${MORWICK_CRASH_NO_RECOVERY:-}" ] || "$driver" recover "$work/dir"
    if [ "$op" = undo ]; then
        read -r t l < <("$driver" check "$work/dir" "$work/new-remove" "$work/old")
    else
        read -r t l < <("$driver" check "$work/dir" "$work/old" "$work/new-$op")
    fi
    torn=$((torn + t))
    leftovers=$((leftovers + l))
    journal_leftovers=$((journal_leftovers + $(find "$XDG_STATE_HOME" -name 'journal.new-*' | wc -l)))
done
echo "trials: $trials ($killed killed mid-run), files per trial: $files"
echo "torn files: $torn, leftover temporaries: $leftovers, leftover journal temporaries: $journal_leftovers"
[ "$torn" = 0 ] && [ "$leftovers" = 0 ] && [ "$journal_leftovers" = 0 ]
