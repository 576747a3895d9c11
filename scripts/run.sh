#!/usr/bin/env bash
# Installs what is missing, builds the programs and starts the desktop
# program, corvane-messenger. With arguments, runs the command-line tool
# instead: scripts/run.sh listen, scripts/run.sh send BOB hello, ...
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh build
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build-release
if (($# > 0)); then
    exec ./build-release/corvane "$@"
fi
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    echo "run.sh: no display here (DISPLAY and WAYLAND_DISPLAY are unset), so the desktop" >&2
    echo "program cannot show its windows. Run the station without windows instead:" >&2
    echo "    ./build-release/corvane listen" >&2
    exit 1
fi
exec ./build-release/corvane-messenger
