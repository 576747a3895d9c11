#!/usr/bin/env bash
# Benchmarks personal messages between stations in network namespaces
# (scripts/netns.sh), every one a 100-character text to the same receiver
# (`corvane listen` as ALICE in namespace 1). Each figure has a baseline
# that does the same work in the same run:
#   1. in one process (corvane-msg-bench in namespace 2): a burst of N
#      messages through a station's outbox (messages/s) and N one at a time
#      (latency enqueue to result), against N messages sent by plain sockets
#      with the same exchanges (name query, session request, the SMB message
#      commands, close) in the same process;
#   2. one whole process per message (hyperfine in namespace 2): `corvane
#      send` handing over to a running station against the SMB suite's
#      `smbclient -M`;
#   3. `corvane send` without a running station (namespace 3), a few runs;
#      no baseline (it registers its names first).
# Checks that the receiver got every message. Builds an optimised copy in
# build-bench/. Needs root.
# Usage: scripts/bench-messaging.sh [--count N] [--runs R] [--stationless K] [--build DIR]
#   N messages per phase (200), R hyperfine runs (30), K stationless sends (3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
nsset=${CORVANE_NETNS:-corvane}  # the namespace set of scripts/netns.sh
build=$root/build-bench
count=200
runs=30
warmup=3
stationless=3

while (($#)); do
    case "$1" in
        --count) count=$2; shift 2 ;;
        --runs) runs=$2; shift 2 ;;
        --stationless) stationless=$2; shift 2 ;;
        --build) build=$2; shift 2 ;;
        *)
            echo "usage: $0 [--count N] [--runs R] [--stationless K] [--build DIR]" >&2
            exit 2
            ;;
    esac
done
for value in "$count" "$runs" "$stationless"; do
    if ! [[ $value =~ ^[1-9][0-9]*$ ]]; then
        echo "bench-messaging.sh: counts are positive whole numbers" >&2
        exit 2
    fi
done
if [[ $(id -u) -ne 0 ]]; then
    echo "bench-messaging.sh: network namespaces need root" >&2
    exit 1
fi
for tool in smbclient hyperfine python3; do
    if ! command -v "$tool" >/dev/null; then
        echo "bench-messaging.sh: $tool is not installed; scripts/deps.sh test installs it" >&2
        exit 1
    fi
done

echo "building an optimised copy in $build ..."
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target corvane corvane-msg-bench -j2 >/dev/null
corvane=$build/corvane
bench=$build/tests/netns/corvane-msg-bench

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    "$root/scripts/netns.sh" down
    rm -rf "$work"
}
trap cleanup EXIT
"$root/scripts/netns.sh" up 3
chmod 755 "$work"

workgroup=BENCHGRP
station_env() {  # station_env N USER COMPUTER: env assignments of station N
    local home=$work/home$1
    mkdir -p "$home/run" "$home/config" "$home/data"
    chmod 700 "$home/run"
    echo "XDG_RUNTIME_DIR=$home/run XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data" \
        "CORVANE_USER_NAME=$2 CORVANE_COMPUTER_NAME=$3 CORVANE_WORKGROUP=$workgroup"
}
listen() {  # listen N USER COMPUTER: corvane listen --json in station N, until registered
    local log=$work/listen$1
    # Not through a shell: $! is corvane itself (ip execs env, env execs it).
    # shellcheck disable=SC2046
    ip netns exec "$nsset-ns$1" env $(station_env "$@") "$corvane" listen --json \
        >"$log.out" 2>"$log.err" &
    pids+=($!)
    for _ in $(seq 150); do
        if grep -qs "name $2 personal: registered" "$log.err" &&
            grep -qs "$workgroup group: registered" "$log.err"; then
            return 0
        fi
        sleep 0.1
    done
    echo "station $1 ($2) did not register:" >&2
    cat "$log.err" >&2
    exit 1
}

# The same 100 characters for every whole-process send.
text=$(python3 -c 'print(("same text for both senders " * 4)[:100])')
printf '%s' "$text" >"$work/text"
cat >"$work/client.conf" <<CONF
[global]
    workgroup = $workgroup
    interfaces = eth0
    name resolve order = bcast
CONF
smbclient_args=(smbclient -s "$work/client.conf" -M ALICE -U BOB -N)

listen 1 ALICE PC1
echo "receiver: ALICE on PC1 (198.18.0.1); senders in 198.18.0.2 and 198.18.0.3"

# 1. In one process: the outbox, and plain sockets doing the same exchanges.
echo
echo "== in one process (BOB on PC2): $count messages through the outbox twice, then by plain sockets"
# shellcheck disable=SC2046
ip netns exec $nsset-ns2 env $(station_env 2 BOB PC2) "$bench" BOB PC2 "$workgroup" ALICE \
    --count "$count" --length 100 | tee "$work/bench.out"
grep '^result ' "$work/bench.out" | tr ' ' '\n' | sed -n 's/=/ /p' >"$work/bench.values"
value() { awk -v key="$1" '$1 == key {print $2}' "$work/bench.values"; }

# 2. Whole processes side by side, a station of BOB running in namespace 2.
echo
echo "== whole processes in namespace 2: corvane send (station running) vs smbclient -M"
listen 2 BOB PC2
send_env=$(station_env 2 BOB PC2)
ip netns exec $nsset-ns2 hyperfine --style basic --warmup "$warmup" --runs "$runs" \
    --export-json "$work/side.json" \
    -n "corvane send" "env $send_env $corvane send ALICE '$text'" \
    -n "smbclient -M" "${smbclient_args[*]} < $work/text"

# 3. corvane send with no station of its user running (CAROL in namespace 3).
echo
echo "== corvane send without a running station (namespace 3), $stationless runs"
stationless_env=$(station_env 3 CAROL PC3)
ip netns exec $nsset-ns3 hyperfine --style basic --runs "$stationless" \
    --export-json "$work/stationless.json" \
    -n "corvane send (own station)" "env $stationless_env $corvane send ALICE '$text'"

# Every message must have arrived: the bench's three phases, both hyperfine
# commands (warm-up included) and the stationless sends.
expected=$((3 * count + 2 * (warmup + runs) + stationless))
for _ in $(seq 100); do
    (($(wc -l <"$work/listen1.out") >= expected)) && break
    sleep 0.1
done
got=$(wc -l <"$work/listen1.out")
from_bob=$(grep -c '"sender":"BOB"' "$work/listen1.out" || true)

echo
python3 - "$work/side.json" "$work/stationless.json" "$count" "$got" "$expected" \
    "$(value rate)" "$(value plain_rate)" "$(value burst_ms)" "$(value plain_ms)" \
    "$(value mean_ms)" "$(value plain_mean_ms)" "$(value p50_ms)" "$(value plain_p50_ms)" \
    "$(value p95_ms)" "$(value plain_p95_ms)" <<'PY'
import json, sys
side = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
own = json.load(open(sys.argv[2]))["results"][0]
count, got, expected = (int(v) for v in sys.argv[3:6])
(rate, plain_rate, burst, plain, mean, plain_mean, p50, plain_p50, p95,
 plain_p95) = (float(v) for v in sys.argv[6:16])
print(f"{'in one process, ' + str(count) + ' messages':44} {'outbox':>10} {'plain':>10} {'ratio':>7}")
for name, ours, theirs in [
    ("burst, per message", burst / count, plain / count),
    ("one at a time, mean", mean, plain_mean),
    ("one at a time, p50", p50, plain_p50),
    ("one at a time, p95", p95, plain_p95),
]:
    print(f"  {name:42} {ours:8.3f}ms {theirs:8.3f}ms {ours / theirs:7.2f}")
print(f"  {'burst throughput':42} {rate:6.1f} msg/s {plain_rate:6.1f} msg/s {plain_rate / rate:7.2f}")
print("  plain: the same exchanges by plain sockets, one message after the other")
print()
ours = side["corvane send"]
theirs = side["smbclient -M"]
print(f"{'one process per message':44} {'corvane':>10} {'smbclient':>10} {'ratio':>7}")
for name, key in [("mean", "mean"), ("median", "median")]:
    print(f"  {'send, station running, ' + name:42} {ours[key] * 1000:8.3f}ms "
          f"{theirs[key] * 1000:8.3f}ms {ours[key] / theirs[key]:7.2f}")
print(f"  {'send, no station, mean':42} {own['mean'] * 1000:8.1f}ms "
      f"(min {own['min'] * 1000:.1f}, max {own['max'] * 1000:.1f}; registers its names first)")
print("ratio = corvane / baseline per message (below 1: corvane is faster); "
      "for throughput baseline / corvane")
print(f"receiver got {got} of {expected} messages")
PY
if ((got != expected)); then
    echo "FAIL: the receiver got $got messages, $expected were sent" >&2
    exit 1
fi
echo "messages signed BOB: $from_bob"
