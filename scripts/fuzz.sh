#!/bin/sh
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each one
# for the given number of seconds (default 60). Exits non-zero if a target
# fails to build or finds a crash; crash inputs land in build-fuzz/artifacts/.
#
# Usage: scripts/fuzz.sh [seconds-per-target]
set -eu

seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
    -DCORVANE_FUZZ=ON -DCORVANE_BUILD_TESTS=OFF -DCORVANE_DESKTOP=OFF -DCORVANE_SANITIZE=address,undefined
cmake --build "$build" --target corvane_fuzz -j2

mkdir -p "$build/artifacts"
failed=""
for source in "$root"/tests/fuzz/*_fuzz.cpp; do
    target="$(basename "$source" .cpp)"
    name="${target%_fuzz}"
    seeds="$root/tests/fuzz/corpus/$name"
    # New inputs go to the build tree; the checked-in seeds stay untouched.
    work="$build/corpus/$name"
    mkdir -p "$work" "$seeds"
    echo "== $target: ${seconds}s"
    if ! "$build/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
            -artifact_prefix="$build/artifacts/$target-" "$work" "$seeds"; then
        failed="$failed $target"
    fi
done

if [ -n "$failed" ]; then
    echo "fuzz targets failed:$failed" >&2
    exit 1
fi
echo "all fuzz targets ran ${seconds}s without a crash"
