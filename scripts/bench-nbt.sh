#!/usr/bin/env bash
# Benchmarks the NetBIOS-over-TCP/IP stack between two stations in network
# namespaces (scripts/netns.sh): a call with one 1 KiB message and its reply,
# and datagram throughput, against plain TCP and UDP doing the same exchanges
# on the same path (corvane_nbt_bench.cpp says which); name registration as
# time, beside the wait the protocol prescribes. Builds an optimised copy in
# build-bench/. Needs root.
# Usage: scripts/bench-nbt.sh [--rounds N] [--datagrams K]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
nsset=${CORVANE_NETNS:-corvane}  # the namespace set of scripts/netns.sh
build=$root/build-bench

if [[ $(id -u) -ne 0 ]]; then
    echo "bench-nbt.sh: network namespaces need root" >&2
    exit 1
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target corvane-nbt-bench -j2 >/dev/null
bench=$build/tests/netns/corvane-nbt-bench

log=$(mktemp)
server=
cleanup() {
    if [[ -n "$server" ]]; then
        kill "$server" 2>/dev/null || true
        wait "$server" 2>/dev/null || true
    fi
    "$root/scripts/netns.sh" down
    rm -f "$log"
}
trap cleanup EXIT
"$root/scripts/netns.sh" up 2

ip netns exec $nsset-ns1 "$bench" server BENCHSERVER >"$log" 2>&1 &
server=$!
for _ in $(seq 100); do
    grep -q '^ready' "$log" && break
    if ! kill -0 "$server" 2>/dev/null; then
        cat "$log" >&2
        exit 1
    fi
    sleep 0.1
done
grep -q '^ready' "$log" || { echo "the server did not start:" >&2; cat "$log" >&2; exit 1; }

echo "station 1 (198.18.0.1) serves BENCHSERVER; station 2 measures"
ip netns exec $nsset-ns2 "$bench" client BENCHSERVER 198.18.0.1 "$@"
