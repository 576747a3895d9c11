#!/usr/bin/env bash
# Installs what is missing, builds and runs every test:
#   1. the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer;
#   2. the unit suite again under ThreadSanitizer, built without the desktop
#      program (which also shows that the core builds without Qt);
#   3. every fuzz target for a short while (CORVANE_FUZZ_SECONDS, default 10
#      per target; scripts/fuzz.sh runs them longer).
#   4. the Debian package: built, checked with lintian, installed, its
#      programs run, removed again (scripts/package-test.sh).
# Fails if anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh test
jobs=$(nproc)

echo "== build and test: address,undefined"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCORVANE_SANITIZE=address,undefined -DCORVANE_WERROR=ON >/dev/null
cmake --build build-asan
ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== build and test: thread"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVANE_DESKTOP=OFF \
    -DCORVANE_SANITIZE=thread -DCORVANE_WERROR=ON >/dev/null
cmake --build build-tsan
ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L unit

echo "== fuzz: ${CORVANE_FUZZ_SECONDS:-10} s per target"
scripts/fuzz.sh "${CORVANE_FUZZ_SECONDS:-10}"

echo "== package: build, lintian, install, remove"
scripts/package-test.sh
