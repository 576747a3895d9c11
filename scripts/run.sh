#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it.
# Usage: scripts/run.sh [corvane arguments]   (default: settings)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh build
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build-release
if (($# == 0)); then
    set -- settings
fi
exec ./build-release/corvane "$@"
