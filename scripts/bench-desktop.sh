#!/usr/bin/env bash
# Benchmarks the desktop program on a private X server with a session bus, a
# notification daemon, a sound server and a tray host (as the end-to-end
# test sets them up), each figure next to a baseline measured in the same run:
#   1. start to tray icon shown (names registered aside), median of N starts,
#      against corvane-tray-baseline (a bare Qt program with a tray icon);
#   2. idle: memory (RSS) and wake-ups per second (context switches of all
#      threads) over S seconds once the names are registered, against the
#      baseline program;
#   3. a burst of K personal messages from a station in namespace 2: time
#      until every one is in the archive and the popup counts them, and until
#      the popup answers a click; against the same burst to corvane listen,
#      which files into the archive too.
# Builds an optimised copy in build-bench/. Needs root.
# Usage: scripts/bench-desktop.sh [--runs N] [--idle S] [--burst K] [--build DIR]
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-bench
runs=10
idle=60
burst=2000
while (($#)); do
    case $1 in
        --runs) runs=$2; shift 2 ;;
        --idle) idle=$2; shift 2 ;;
        --burst) burst=$2; shift 2 ;;
        --build) build=$2; shift 2 ;;
        *) echo "usage: $0 [--runs N] [--idle S] [--burst K] [--build DIR]" >&2; exit 2 ;;
    esac
done
if [[ $(id -u) -ne 0 ]]; then
    echo "bench-desktop.sh: network namespaces need root" >&2
    exit 1
fi
echo "building an optimised copy in $build ..."
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
cmake --build "$build" --target corvane corvane-messenger corvane-tray-baseline \
    corvane-msg-bench -j2 >/dev/null || exit 1
corvane=$build/corvane
messenger=$build/corvane-messenger
baseline=$build/ui/corvane-tray-baseline
msgbench=$build/tests/netns/corvane-msg-bench

probe=$corvane
source "$root/tests/netns/netns_lib.sh"
source "$root/tests/netns/desktop_session.sh"
netns_setup 2
session_start || exit 1

home=$work/home1
mkdir -p "$home/run" "$home/config" "$home/data"
chmod 700 "$home/run"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Corvane Software\\Corvane Messenger\\Options]\r\n"RecvMsgPopWndAutoclose"=dword:00000000\r\n' \
    >"$home/user.reg"
alice_env="XDG_RUNTIME_DIR=$home/run XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data
    CORVANE_USER_REGISTRY=$home/user.reg CORVANE_USER_NAME=ALICE CORVANE_COMPUTER_NAME=PC1
    CORVANE_WORKGROUP=BENCHGRP"
session_env="DISPLAY=$DISPLAY DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS PULSE_SERVER=$PULSE_SERVER"

launch() {  # launch PROGRAM: starts it in namespace 1 as ALICE; sets $pid
    # shellcheck disable=SC2086
    ip netns exec $nsset-ns1 env $alice_env $session_env "$1" >>"$work/program.log" 2>&1 &
    pid=$!
}
finish() {  # stops $pid
    kill -TERM "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    for _ in $(seq 50); do
        [[ -z $(tray_icon_centre) ]] && return 0
        sleep 0.05
    done
}
tray_window_up() {  # any tray icon embedded in the tray host
    xwininfo -root -tree 2>/dev/null | awk '{match($0, /^ */); indent = RLENGTH}
        /\("panel" "trayer"\)/ {panel = indent; next}
        panel && indent <= panel {panel = 0}
        panel && /": \(/ {found = 1} END {exit !found}'
}
startup_ms() {  # startup_ms PROGRAM: ms from launch to its tray icon
    local start end
    start=$(date +%s%N)
    launch "$1"
    for _ in $(seq 2000); do
        tray_window_up && break
        sleep 0.002
    done
    end=$(date +%s%N)
    finish
    echo $(((end - start) / 1000000))
}
median() { sort -n | awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'; }

echo
echo "== 1. start to tray icon, $runs starts each"
for _ in $(seq "$runs"); do startup_ms "$messenger"; done >"$work/start-messenger"
for _ in $(seq "$runs"); do startup_ms "$baseline"; done >"$work/start-baseline"
start_ours=$(median <"$work/start-messenger")
start_base=$(median <"$work/start-baseline")

switches() {  # switches PID: context switches of every thread so far
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^(non)?voluntary_ctxt_switches/ {s += $2} END {print s + 0}'
}
rss_kib() { awk '/^VmRSS/ {print $2}' /proc/"$1"/status; }
idle_figures() {  # idle_figures PROGRAM: "RSS-KiB wakeups-per-second threads"
    launch "$1"
    sleep 5
    local before after rss threads
    rss=$(rss_kib "$pid")
    threads=$(ls /proc/"$pid"/task | wc -l)
    before=$(switches "$pid")
    sleep "$idle"
    after=$(switches "$pid")
    finish
    echo "$rss $(python3 -c "print(f'{($after - $before) / $idle:.1f}')") $threads"
}
echo "== 2. idle for $idle s each (after 5 s of settling)"
read -r rss_ours wake_ours threads_ours <<<"$(idle_figures "$messenger")"
read -r rss_base wake_base threads_base <<<"$(idle_figures "$baseline")"

echo "== 3. a burst of $burst messages from namespace 2"
archive=$home/data/Corvane\ Messenger/3.x/messages
count_rows() {
    python3 -c 'import sqlite3, sys
try:
    print(sqlite3.connect(sys.argv[1], timeout=5).execute("select count(*) from messages").fetchone()[0])
except Exception:
    print(0)' "$archive"
}
registered() {
    for _ in $(seq 150); do
        ip netns exec $nsset-ns2 nmblookup -B 198.18.0.255 'ALICE#03' 2>/dev/null |
            grep -q 'ALICE<03>' && return 0
        sleep 0.1
    done
    return 1
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }
burst_to() {  # burst_to desktop|listen: "wire lag shown click filed" in ms (see below)
    rm -f "$archive"
    if [[ $1 == desktop ]]; then
        launch "$messenger"
    else
        # shellcheck disable=SC2086
        ip netns exec $nsset-ns1 env $alice_env "$corvane" listen >/dev/null 2>>"$work/program.log" &
        pid=$!
    fi
    registered || { echo "ALICE did not register" >&2; finish; return 1; }
    ip netns exec $nsset-ns2 env XDG_RUNTIME_DIR="$work" "$msgbench" BOB PC2 BENCHGRP ALICE \
        --count "$burst" --length 100 --burst-only >"$work/burst-$1.out" 2>&1 &
    local sender=$! sent=0 all=0 rows=0 deadline
    deadline=$(($(now_ms) + 120000))
    while (($(now_ms) < deadline)); do
        ((sent == 0)) && ! kill -0 "$sender" 2>/dev/null && sent=$(now_ms)
        if ((all == 0)); then
            rows=$(count_rows)
            ((rows >= burst)) && all=$(now_ms)
        fi
        ((sent > 0 && all > 0)) && break
        sleep 0.01
    done
    wait "$sender"
    local wire shown=$all clicked=0
    wire=$(sed -n 's/^result .*burst_ms=\([0-9.]*\).*/\1/p' "$work/burst-$1.out")
    if [[ $1 == desktop ]]; then
        local popup before after t0
        for _ in $(seq 1000); do
            popup=$(xdotool search --name "^Messages received .*/$burst\)" 2>/dev/null | head -1)
            [[ -n $popup ]] && break
            sleep 0.01
        done
        shown=$(now_ms)
        # The popup answers: ">" moves it on by one message.
        before=$(xdotool getwindowname "$popup")
        eval "$(xdotool getwindowgeometry --shell "$popup")"
        t0=$(now_ms)
        xdotool mousemove $((X + 6 + (WIDTH - 12) * 5 / 8)) $((Y + HEIGHT - 12)) click 1
        for _ in $(seq 1000); do
            after=$(xdotool getwindowname "$popup")
            [[ $after != "$before" ]] && break
            sleep 0.005
        done
        clicked=$(($(now_ms) - t0))
    fi
    finish
    # wire: the sender's burst, first message out to last reply in; lag: from
    # the last reply to every message in the archive; shown: from the last
    # reply to the popup counting them all.
    echo "${wire%.*} $((all > sent ? all - sent : 0)) $((shown > sent ? shown - sent : 0)) $clicked $rows"
}
read -r wire_ours lag_ours shown_ours click_ms filed_ours <<<"$(burst_to desktop)"
read -r wire_base lag_base _ _ filed_base <<<"$(burst_to listen)"

python3 - "$start_ours" "$start_base" "$rss_ours" "$rss_base" "$wake_ours" "$wake_base" \
    "$threads_ours" "$threads_base" "$wire_ours" "$lag_ours" "$shown_ours" "$click_ms" \
    "$filed_ours" "$wire_base" "$lag_base" "$filed_base" "$burst" "$idle" <<'PY'
import sys
(start, start_b, rss, rss_b, wake, wake_b, thr, thr_b, wire, lag, shown, click_ms, filed,
 wire_b, lag_b, filed_b, burst, idle) = sys.argv[1:]
f = float
print()
print(f"{'measure':44} {'desktop':>12} {'baseline':>12} {'ratio':>7}")
print(f"{'start to tray icon, median (limit 300 ms)':44} {f(start):10.0f}ms {f(start_b):10.0f}ms {f(start) / f(start_b):7.2f}")
print(f"{'idle memory RSS (limit 60 MB)':44} {f(rss) / 1024:10.1f}MB {f(rss_b) / 1024:10.1f}MB {f(rss) / f(rss_b):7.2f}")
print(f"{'idle wake-ups per second over ' + idle + ' s':44} {f(wake):12.1f} {f(wake_b):12.1f} {f(wake) / max(f(wake_b), 0.1):7.2f}")
print(f"{'threads':44} {thr:>12} {thr_b:>12}")
print(f"{burst + ' messages on the wire (sender)':44} {f(wire):10.0f}ms {f(wire_b):10.0f}ms {f(wire) / f(wire_b):7.2f}")
print(f"{'  then all in the archive':44} {f(lag):10.0f}ms {f(lag_b):10.0f}ms")
print(f"{'  then the popup counts all':44} {f(shown):10.0f}ms")
print(f"{'  whole burst filed and shown (limit 5 s)':44} {f(wire) + f(shown):10.0f}ms")
print(f"{'then the popup answers a click':44} {f(click_ms):10.0f}ms")
print(f"baseline: corvane-tray-baseline (start, idle), corvane listen (burst); filed {filed} and {filed_b} of {burst}")
PY
