#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan, in build-fuzz/) and runs each for a set
# time, then prints executions and coverage per target.
#   fuzz/run.sh [seconds per target, default 600] [target ...]
# MORWICK_FUZZ_JOBS=2 runs two targets at a time. Corpora grow in build-fuzz/corpus/<target>,
# seeded from the MP3 files in tests/data/ and fuzz/seeds/; crashes land in build-fuzz/crashes/<target>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
shift || true
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(fuzz_mp3info fuzz_tagfile fuzz_tag_removal fuzz_id3v2 fuzz_naming)
jobs=${MORWICK_FUZZ_JOBS:-1}
build=${MORWICK_FUZZ_BUILD_DIR:-$root/build-fuzz}
fixtures=${MORWICK_FIXTURES:-$root/tests/data}

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORWICK_FUZZ=ON -DMORWICK_TESTS=OFF >/dev/null
nice cmake --build "$build" -j2 --target "${targets[@]}"

# The targets write their files on a tmpfs where there is one.
scratch_base=/dev/shm
[ -w "$scratch_base" ] || scratch_base=${TMPDIR:-/tmp}
scratch=$(mktemp -d "$scratch_base/morwick-fuzz-run.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

run_one() {
    local t=$1 corpus=$build/corpus/$1 crashes=$build/crashes/$1/ log=$build/logs/$1.log
    mkdir -p "$corpus" "$crashes" "$(dirname "$log")" "$scratch/$t"
    case $t in
    fuzz_naming) ;;
    *) [ -d "$fixtures" ] && cp -n "$fixtures"/*.mp3 "$corpus"/ 2>/dev/null || true ;;
    esac
    [ -d "$root/fuzz/seeds/$t" ] && cp -n "$root/fuzz/seeds/$t"/* "$corpus"/ 2>/dev/null || true
    local status=0
    (cd "$scratch/$t" && TMPDIR="$scratch/$t" nice "$build/fuzz/$t" -max_total_time="$seconds" -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$crashes" "$corpus" >"$log" 2>&1) || status=$?
    echo "$status" >"$log.status"
}

running=0
for t in "${targets[@]}"; do
    run_one "$t" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
done
wait

printf '%-18s %8s %12s %8s %6s %7s %8s %s\n' target seconds execs exec/s cov ft crashes status
failed=0
for t in "${targets[@]}"; do
    log=$build/logs/$t.log
    last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    crashes=$(find "$build/crashes/$t" -type f | wc -l)
    status=$(cat "$log.status")
    [ "$status" -ne 0 ] && failed=1
    printf '%-18s %8s %12s %8s %6s %7s %8s %s\n' "$t" "$seconds" "${execs:-?}" "${rate:-?}" "${cov:-?}" \
        "${ft:-?}" "$crashes" "$status"
done
exit "$failed"
