#!/usr/bin/env bash
# A station under a hostile or broken LAN peer, in network namespaces, bounded
# in time. ALICE runs `corvane listen` in namespace 1; the hostile peer is in
# namespace 2; well-behaved senders are in namespace 3 (BOB's station, and
# smbclient -M).
#   1. 10 000 name-service and datagram packets per second for 10 s: the
#      station survives with bounded memory, and a message sent during the
#      flood arrives.
#   2. 200 concurrent connections to ALICE (sessions that trickle, sessions
#      that flood 128 KiB frames, connections that never finish their
#      request): every well-behaved sender's message arrives within its
#      time-out.
#   3. SIGKILL of the receiving station during a burst of 200 messages:
#      every message whose sender got success is in the archive afterwards.
# Prints the figures. Usage:
#   flood_netns_test.sh PATH/TO/corvane PATH/TO/corvane-hostile-peer PATH/TO/corvane-msg-bench
set -uo pipefail

corvane=$(realpath "$1")
hostile=$(realpath "$2")
msgbench=$(realpath "$3")
probe=$corvane  # netns_lib.sh expects a program in $probe
source "$(dirname "$0")/netns_lib.sh"
for tool in smbclient python3; do
    if ! command -v "$tool" >/dev/null; then
        echo "FAIL: $tool is not installed; scripts/deps.sh test installs it"
        exit 1
    fi
done
netns_setup 3

station_env() {  # station_env N USER COMPUTER
    local home=$work/home$1
    mkdir -p "$home/run" "$home/config" "$home/data"
    chmod 700 "$home/run"
    echo "XDG_RUNTIME_DIR=$home/run XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data" \
        "CORVANE_USER_NAME=$2 CORVANE_COMPUTER_NAME=$3 CORVANE_WORKGROUP=FLOODGRP"
}
alice_env=$(station_env 1 ALICE PC1)
bob_env=$(station_env 3 BOB PC3)
alice_pid=
alice_out=$work/alice.out
start_alice() {
    # shellcheck disable=SC2086
    # A small allocator quarantine under AddressSanitizer: its default 256 MiB
    # of freed memory would read as growth.
    ip netns exec $nsset-ns1 env $alice_env ASAN_OPTIONS="${ASAN_OPTIONS:-}:quarantine_size_mb=4" \
        "$corvane" listen --json \
        >>"$alice_out" 2>>"$work/alice.err" &
    alice_pid=$!
    pids+=("$alice_pid")
    for _ in $(seq 150); do
        [[ $(grep -c "name ALICE personal: registered" "$work/alice.err") -ge $1 ]] && return 0
        sleep 0.1
    done
    echo "ALICE did not register:"
    cat "$work/alice.err"
    return 1
}
arrived() {  # arrived TEXT: within 10 s in ALICE's output
    for _ in $(seq 100); do
        grep -Fq "\"text\":\"$1\"" "$alice_out" && return 0
        sleep 0.1
    done
    return 1
}
rss_kib() { awk '/^VmRSS/ {print $2}' /proc/"$1"/status 2>/dev/null; }

start_alice 1 || exit 1
# shellcheck disable=SC2086
ip netns exec $nsset-ns3 env $bob_env "$corvane" listen >/dev/null 2>"$work/bob.err" &
pids+=($!)
bob_registered() {
    for _ in $(seq 150); do
        grep -q "name BOB personal: registered" "$work/bob.err" &&
            grep -q "FLOODGRP group: registered" "$work/bob.err" && return 0
        sleep 0.1
    done
    echo "BOB did not register:"
    cat "$work/bob.err"
    return 1
}
check "BOB's station registers" bob_registered

echo "== 1. 10 000 packets per second for 10 s"
rss_before=$(rss_kib "$alice_pid")
ip netns exec $nsset-ns2 "$hostile" udp-flood 198.18.0.1 --rate 10000 --seconds 10 \
    >"$work/udp-flood.out" 2>&1 &
flooder=$!
rx_packets() { ip netns exec $nsset-ns1 cat /sys/class/net/eth0/statistics/rx_packets; }
rx_before=$(rx_packets)
flood_reaches_alice() {  # 10 000 of its packets have arrived (up to 10 s)
    for _ in $(seq 100); do
        (($(rx_packets) - rx_before >= 10000)) && return 0
        sleep 0.1
    done
    echo "ALICE's interface received $(($(rx_packets) - rx_before)) packets"
    return 1
}
check "the flood reaches ALICE's interface" flood_reaches_alice
start=$(date +%s%N)
# shellcheck disable=SC2086
ip netns exec $nsset-ns3 env $bob_env timeout 30 "$corvane" send ALICE "sent during the flood" \
    >"$work/send-flood.out" 2>&1
send_status=$?
send_ms=$((($(date +%s%N) - start) / 1000000))
check "the send ended while the flood still ran" kill -0 "$flooder"
rss_peak=$(rss_kib "$alice_pid")
wait "$flooder"
rss_after=$(rss_kib "$alice_pid")
check "the flooder sent its packets" grep -q "^sent" "$work/udp-flood.out"
check "a message sent during the flood is delivered" test "$send_status" -eq 0
check "and arrives" arrived "sent during the flood"
check "the station survived the flood" kill -0 "$alice_pid"
check "its memory stayed bounded (under 64 MiB more)" test $((rss_after - rss_before)) -lt 65536
echo "figure: $(cat "$work/udp-flood.out"); send during the flood ${send_ms} ms;" \
    "RSS ${rss_before} -> ${rss_peak} (during) -> ${rss_after} KiB (after)"

echo "== 2. 200 connections to ALICE: 60 trickling, 40 flooding, 100 idle"
ip netns exec $nsset-ns2 "$hostile" sessions 198.18.0.1 ALICE --trickle 60 --flood 40 \
    --idle 100 --seconds 40 >"$work/sessions.out" 2>&1 &
attacker=$!
for _ in $(seq 100); do
    grep -q "^opened" "$work/sessions.out" && break
    sleep 0.1
done
cat "$work/sessions.out"
cat >"$work/client.conf" <<CONF
[global]
    workgroup = FLOODGRP
    interfaces = eth0
    name resolve order = bcast
CONF
rss_before=$(rss_kib "$alice_pid")
worst=0
failed_sends=0
for i in $(seq 10); do
    start=$(date +%s%N)
    # shellcheck disable=SC2086
    ip netns exec $nsset-ns3 env $bob_env timeout 30 "$corvane" send ALICE "honest message $i" \
        >>"$work/send-sessions.out" 2>&1 || failed_sends=$((failed_sends + 1))
    ms=$((($(date +%s%N) - start) / 1000000))
    ((ms > worst)) && worst=$ms
done
for i in $(seq 5); do
    start=$(date +%s%N)
    printf 'honest smbclient %s' "$i" | ip netns exec $nsset-ns3 timeout 30 \
        smbclient -s "$work/client.conf" -M ALICE -U CAROL -N >>"$work/smbclient.out" 2>&1 ||
        failed_sends=$((failed_sends + 1))
    ms=$((($(date +%s%N) - start) / 1000000))
    ((ms > worst)) && worst=$ms
done
rss_during=$(rss_kib "$alice_pid")
check "every well-behaved send succeeded" test "$failed_sends" -eq 0
all_arrived() {
    for i in $(seq 10); do arrived "honest message $i" || return 1; done
    for i in $(seq 5); do arrived "honest smbclient $i" || return 1; done
}
check "and every message arrived" all_arrived
wait "$attacker"
check "the station survived the sessions" kill -0 "$alice_pid"
check "its memory stayed bounded under the flooding sessions (under 64 MiB more)" \
    test $((rss_during - rss_before)) -lt 65536
echo "figure: slowest well-behaved send ${worst} ms; RSS ${rss_before} -> ${rss_during} KiB" \
    "while 40 sessions flooded; $(grep flooded "$work/sessions.out")"

echo "== 3. SIGKILL of the receiver during a burst of 200"
kill "${pids[@]}" 2>/dev/null
wait 2>/dev/null
pids=()
alice_out=$work/alice-burst.out
start_alice 2 || exit 1
carol_env=$(station_env 2 CAROL PC2)
# shellcheck disable=SC2086
ip netns exec $nsset-ns2 env $carol_env "$msgbench" CAROL PC2 FLOODGRP ALICE --count 200 \
    --length 60 --burst-only --codes "$work/codes" >"$work/burst.out" 2>&1 &
bencher=$!
# Kill ALICE once a few dozen messages are in (the sender registers its
# names first), while the sender still sends.
for _ in $(seq 3000); do
    (($(wc -l <"$alice_out") >= 40)) && break
    kill -0 "$bencher" 2>/dev/null || break
    sleep 0.01
done
kill -0 "$bencher" 2>/dev/null
sending_at_kill=$?
kill -9 "$alice_pid"
wait "$alice_pid" 2>/dev/null
killed_at=$(wc -l <"$alice_out")
during_burst() {
    ((killed_at >= 40 && killed_at < 200 && sending_at_kill == 0)) && return 0
    echo "killed after ${killed_at} of 200 messages; the sender $( ((sending_at_kill == 0)) &&
        echo "still sent" || echo "had ended")"
    cat "$work/burst.out"
    return 1
}
check "the SIGKILL came during the burst, after 40 messages" during_burst
# The station comes back, as a person would restart it; the rest of the
# burst goes to it.
start_alice 3 || exit 1
wait "$bencher"
kill "$alice_pid"
wait "$alice_pid" 2>/dev/null
archive="$work/home1/data/Corvane Messenger/3.x/messages"
python3 - "$work/codes" "$archive" >"$work/burst-check.out" <<'PY'
import sqlite3, sys
codes = [line.rstrip("\n").split(" ", 1) for line in open(sys.argv[1])]
archived = {row[0] for row in sqlite3.connect(sys.argv[2]).execute(
    "select message from messages where sender = 'CAROL'")}
succeeded = [text for code, text in codes if code == "1"]
missing = [text for text in succeeded if text not in archived]
print(f"sent {len(codes)}, succeeded {len(succeeded)}, archived {len(archived)}, "
      f"succeeded but missing {len(missing)}")
for text in missing[:5]:
    print("missing:", text)
sys.exit(1 if missing or not succeeded else 0)
PY
burst_status=$?
echo "figure: killed after ${killed_at} messages had arrived; $(cat "$work/burst-check.out")"
((burst_status == 0)) || cat "$work/burst.out"
check "every message whose sender got success is in the archive" test "$burst_status" -eq 0
netns_finish
