#!/usr/bin/env bash
# Installs what is missing, builds and runs every test:
#   1. the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer,
#      built with clang (build-asan/); the namespace suites run beside the
#      unit and window tests, each on a network of its own;
#   2. the unit suite again under ThreadSanitizer, built with clang and without
#      the desktop program (which also shows that the core builds without Qt);
#   3. every fuzz target for a short while (CORVANE_FUZZ_SECONDS, default 10
#      per target; scripts/fuzz.sh runs them longer), linked in build-asan/;
#   4. the Debian package, built with GCC (the compiler the program is built
#      with by default): checked with lintian, installed,
#      its programs run, removed again (scripts/package-test.sh).
# Every compile goes through ccache (CCACHE_DIR, default ~/.cache/ccache;
# CCACHE_MAXSIZE, default 5G), keyed on paths relative to this folder, so a
# clone in another folder reuses what this one compiled. The packages that
# only running the tests needs are installed while the first build compiles.
# Prints the wall time of each phase and, at the end, what ran. Fails if
# anything fails.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
phases=()
phase_start=0
phase_name=
begin() {  # begin NAME: starts timing a phase
    phase_name=$1
    phase_start=$SECONDS
    echo "== $1"
}
end() {  # end SUMMARY: the phase's wall time and what it did
    local took=$((SECONDS - phase_start))
    phases+=("$(printf '%-22s %4d s  %s' "$phase_name" "$took" "$1")")
    echo "== $phase_name: $took s"
}
passed() {  # passed LOG: how many tests ctest's summary line in LOG counts
    awk '/tests passed, 0 tests failed out of/ {n += $NF} END {print n + 0}' "$1"
}

log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT

begin "packages"
scripts/deps.sh test-build
end "scripts/deps.sh test-build; the rest beside the first build"
scripts/deps.sh test >"$log/deps" 2>&1 &
deps_pid=$!

export CCACHE_BASEDIR=$PWD
export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-5G}
# Depend mode takes the included files from the compiler's own dependency
# output instead of running the preprocessor a second time on every miss.
export CCACHE_DEPEND=${CCACHE_DEPEND:-1}
ccache --zero-stats >/dev/null

# Line tables are all a sanitizer report needs; full debug info doubles the
# size of the objects and the time to link them.
debug_flags=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_FLAGS_DEBUG=-g1 -DCMAKE_CXX_FLAGS_DEBUG=-g1)

begin "build: address,undefined"
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja "${debug_flags[@]}" \
    -DCORVANE_SANITIZE=address,undefined -DCORVANE_WERROR=ON -DCORVANE_FUZZ=ON >/dev/null
cmake --build build-asan
end "clang; the programs, every test and the fuzz targets"

if ! wait "$deps_pid"; then
    cat "$log/deps"
    exit 1
fi

begin "test: address,undefined"
# The namespace suites mostly wait on the network; they run beside the unit
# and window tests instead of after them. The test programs' cases are listed
# first (GoogleTest discovery writes a file per program when CTest first
# reads it), so the two CTest runs do not write and read those files at once.
ctest --test-dir build-asan -N >/dev/null
ctest --test-dir build-asan --output-on-failure -j 3 -L netns >"$log/netns" 2>&1 &
netns_pid=$!
status=0
ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE netns 2>&1 | tee "$log/unit" ||
    status=1
wait "$netns_pid" || status=1
cat "$log/netns"
((status == 0)) || exit 1
end "$(passed "$log/unit") unit and window tests, $(passed "$log/netns") namespace suites"

begin "build: thread"
CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja "${debug_flags[@]}" -DCORVANE_DESKTOP=OFF \
    -DCORVANE_SANITIZE=thread -DCORVANE_WERROR=ON >/dev/null
cmake --build build-tsan
end "clang; the core, the command-line programs and the unit tests"

begin "test: thread"
ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L unit 2>&1 | tee "$log/tsan"
end "$(passed "$log/tsan") unit tests"

begin "fuzz"
CORVANE_FUZZ_BUILD=$PWD/build-asan scripts/fuzz.sh "${CORVANE_FUZZ_SECONDS:-10}" | tee "$log/fuzz"
end "$(tail -n 1 "$log/fuzz")"

begin "package"
scripts/package-test.sh
end "GCC -O2; built, lintian, installed, run, removed"

echo
echo "== what ran (wall time per phase)"
printf '%s\n' "${phases[@]}"
echo "total: $SECONDS s; ccache: $(ccache --show-stats | grep -E 'Hits:|Cache size' | tr -s ' ' | paste -sd';')"
