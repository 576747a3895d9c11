#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for the given
# number of seconds (default 60), CORVANE_FUZZ_JOBS of them at a time
# (default: the number of cores). Exits non-zero if a target fails to build
# or finds a crash; crash inputs land in <build>/artifacts/, each target's
# output in <build>/fuzz-logs/.
#
# The build folder is CORVANE_FUZZ_BUILD (default build-fuzz/). scripts/test.sh
# points it at its AddressSanitizer build, which is configured with
# CORVANE_FUZZ=ON, so the targets link the objects the test suite already
# compiled instead of a second build of the core.
#
# Usage: scripts/fuzz.sh [seconds-per-target]
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${CORVANE_FUZZ_BUILD:-$root/build-fuzz}"
jobs="${CORVANE_FUZZ_JOBS:-$(nproc)}"

if [[ ! -f "$build/CMakeCache.txt" ]]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCORVANE_FUZZ=ON \
        -DCORVANE_BUILD_TESTS=OFF -DCORVANE_DESKTOP=OFF -DCORVANE_SANITIZE=address,undefined \
        >/dev/null
fi
if ! grep -q '^CORVANE_FUZZ:BOOL=ON' "$build/CMakeCache.txt"; then
    echo "fuzz.sh: $build is not configured with CORVANE_FUZZ=ON (and clang)" >&2
    exit 1
fi
cmake --build "$build" --target corvane_fuzz

mkdir -p "$build/artifacts" "$build/fuzz-logs"
run_target() {  # run_target TARGET: one target for $seconds, output to its log
    local target=$1 name=${1%_fuzz}
    local seeds="$root/tests/fuzz/corpus/$name"
    # New inputs go to the build tree; the checked-in seeds stay untouched.
    local work="$build/corpus/$name"
    mkdir -p "$work" "$seeds"
    "$build/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target-" "$work" "$seeds" \
        >"$build/fuzz-logs/$target.log" 2>&1
}

targets=()
for source in "$root"/tests/fuzz/*_fuzz.cpp; do
    targets+=("$(basename "$source" .cpp)")
done

declare -A pid_of=()
failed=()
finish() {  # finish TARGET: waits for it and reports one line
    local target=$1 log="$build/fuzz-logs/$1.log"
    if wait "${pid_of[$target]}"; then
        local runs cov
        runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
        cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
        echo "$target: ${seconds}s, ${runs:-?} runs, ${cov:-cov: ?}"
    else
        echo "$target: FAILED (log below)"
        tail -n 60 "$log"
        failed+=("$target")
    fi
    unset "pid_of[$target]"
}

running=()
for target in "${targets[@]}"; do
    if ((${#running[@]} >= jobs)); then
        finish "${running[0]}"
        running=("${running[@]:1}")
    fi
    run_target "$target" &
    pid_of[$target]=$!
    running+=("$target")
done
for target in "${running[@]}"; do
    finish "$target"
done

if ((${#failed[@]})); then
    echo "fuzz targets failed: ${failed[*]}" >&2
    exit 1
fi
echo "all ${#targets[@]} fuzz targets ran ${seconds}s without a crash"
