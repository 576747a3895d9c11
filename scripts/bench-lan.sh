#!/usr/bin/env bash
# Benchmarks LAN discovery between network namespaces (scripts/netns.sh):
# three corvane stations (two in WGA, one in WGB) and a fourth namespace that
# runs `corvane ping` of a present name next to `nmblookup -S` of the same
# name (each a broadcast name query followed by a node status of the station
# that answered, one process), and `corvane search` (one host scanner pass
# plus the probes of the computers found). Fails when the ping's mean is over
# 100 ms or the search's over 2000 ms. Builds an optimised copy in
# build-bench/ unless --build names a build folder. Needs root and hyperfine.
# Usage: scripts/bench-lan.sh [--build DIR] [--runs N]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
nsset=${CORVANE_NETNS:-corvane}  # the namespace set of scripts/netns.sh
build=$root/build-bench
runs=30
while (($#)); do
    case $1 in
        --build) build=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        *) echo "usage: $0 [--build DIR] [--runs N]" >&2; exit 2 ;;
    esac
done
if [[ $(id -u) -ne 0 ]]; then
    echo "bench-lan.sh: network namespaces need root" >&2
    exit 1
fi
if [[ ! -x $build/corvane ]]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$build" --target corvane -j2 >/dev/null
fi
corvane=$build/corvane
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    "$root/scripts/netns.sh" down
    rm -rf "$work"
}
trap cleanup EXIT
"$root/scripts/netns.sh" up 4

station() {  # station N USER COMPUTER WORKGROUP
    local home=$work/home$1
    mkdir -p "$home/run" "$home/config" "$home/data"
    chmod 700 "$home/run"
    ip netns exec "$nsset-ns$1" env XDG_RUNTIME_DIR="$home/run" XDG_CONFIG_HOME="$home/config" \
        XDG_DATA_HOME="$home/data" CORVANE_USER_NAME="$2" CORVANE_COMPUTER_NAME="$3" \
        CORVANE_WORKGROUP="$4" "$corvane" listen >/dev/null 2>"$work/listen$1.err" &
    pids+=($!)
    for _ in $(seq 100); do
        grep -q "$4 group: registered" "$work/listen$1.err" && return 0
        sleep 0.1
    done
    echo "station $1 did not register" >&2
    cat "$work/listen$1.err" >&2
    exit 1
}
station 1 ALICE PC1 WGA
station 2 BOB PC2 WGA
station 3 CAROL PC3 WGB

home=$work/home4
mkdir -p "$home/run"
chmod 700 "$home/run"
in4="ip netns exec $nsset-ns4 env XDG_RUNTIME_DIR=$home/run XDG_CONFIG_HOME=$home XDG_DATA_HOME=$home CORVANE_WORKGROUP=WGA"
# Both ask the adapter's broadcast address for ALICE<03> and then ask the
# station that answered for its name table.
nmblookup_ping="nmblookup -B 198.18.0.255 -S ALICE#03"
$in4 "$corvane" ping ALICE
# shellcheck disable=SC2086
answer=$($in4 $nmblookup_ping 2>&1 || true)
if ! grep -Eq '^\s+ALICE +<03> ' <<<"$answer"; then
    echo "nmblookup -S did not read the name table of ALICE's station:" >&2
    echo "$answer" >&2
    exit 1
fi
hyperfine --runs "$runs" --warmup 3 --export-json "$work/ping.json" \
    -n "corvane ping ALICE" "$in4 $corvane ping ALICE" \
    -n "nmblookup -S ALICE#03" "$in4 $nmblookup_ping"
hyperfine --runs 5 --warmup 1 --export-json "$work/search.json" \
    -n "corvane search" "$in4 $corvane search"
python3 - "$work/ping.json" "$work/search.json" <<'PY'
import json, sys
ping = {r["command"]: r["mean"] * 1000 for r in json.load(open(sys.argv[1]))["results"]}
search = json.load(open(sys.argv[2]))["results"][0]["mean"] * 1000
ours, theirs = ping["corvane ping ALICE"], ping["nmblookup -S ALICE#03"]
print(f"ping of a present name (name query, then node status): {ours:.1f} ms (limit 100 ms); "
      f"nmblookup -S, the same two questions: {theirs:.1f} ms; ratio {ours / theirs:.2f}")
print(f"search over 3 stations (scanner pass + probes): {search:.0f} ms (limit 2000 ms)")
over = [f"{what} took {value:.0f} ms, over its limit of {limit} ms"
        for what, value, limit in [("ping", ours, 100), ("search", search, 2000)] if value > limit]
for line in over:
    print(f"FAIL: {line}")
sys.exit(1 if over else 0)
PY
