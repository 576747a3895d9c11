#!/usr/bin/env bash
# Benchmarks the desktop program on a private X server with a session bus, a
# notification daemon, a sound server and a tray host (as the end-to-end
# test sets them up), each figure next to a baseline measured in the same run:
#   1. start to tray icon shown (names registered aside), median of N starts,
#      against corvane-tray-baseline (a bare Qt program with a tray icon);
#   2. idle: wake-ups per second (context switches of all threads) over S
#      seconds once the tray icon is up and the names are registered, and
#      memory (RSS) and threads at the end of those S seconds, against the
#      baseline program;
#   3. a burst of K personal messages from a station in namespace 2: the
#      burst on the wire, then how long after its last reply every message
#      is in the archive and the popup counts them all (measured, negative
#      when before), and how fast the popup answers a click; against the
#      same burst to corvane listen, which files into the archive too.
# Fails when a figure is over its limit: start to tray icon 300 ms (median),
# idle memory 60 MB, a burst of up to 2000 messages filed and shown 5 s after
# its first message went out.
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

registered() {
    for _ in $(seq 150); do
        ip netns exec $nsset-ns2 nmblookup -B 198.18.0.255 'ALICE#03' 2>/dev/null |
            grep -q 'ALICE<03>' && return 0
        sleep 0.1
    done
    return 1
}
switches() {  # switches PID: context switches of every thread so far
    cat /proc/"$1"/task/*/status 2>/dev/null |
        awk '/^(non)?voluntary_ctxt_switches/ {s += $2} END {print s + 0}'
}
rss_kib() { awk '/^VmRSS/ {print $2}' /proc/"$1"/status; }
idle_figures() {  # idle_figures PROGRAM: "RSS-KiB wakeups-per-second threads"
    launch "$1"
    for _ in $(seq 500); do
        tray_window_up && break
        sleep 0.01
    done
    if [[ $1 == "$messenger" ]]; then
        registered || echo "ALICE did not register; idle figures without the names" >&2
    fi
    sleep 5
    local before after rss threads
    before=$(switches "$pid")
    sleep "$idle"
    after=$(switches "$pid")
    # Memory and threads as the idle period leaves them.
    rss=$(rss_kib "$pid")
    threads=$(ls /proc/"$pid"/task | wc -l)
    finish
    echo "$rss $(python3 -c "print(f'{($after - $before) / $idle:.1f}')") $threads"
}
echo "== 2. idle for $idle s each (after the tray icon, the names and 5 s of settling)"
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
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# Watches the receiving side of a burst (burst_watch MODE K DEADLINE-S):
# the archive's row count every 10 ms and, for the desktop program, the
# popup's title through `xprop -spy` (each change as it happens). Prints
# "FILED-NS SHOWN-NS ROWS POLL-MS": when the archive first held K rows and
# when the popup first counted K messages, on CLOCK_MONOTONIC (0: not within
# the deadline), the rows at the end and the mean period of the archive poll.
burst_watch() {
    python3 - "$archive" "$1" "$2" "$3" <<'PY'
import re, sqlite3, subprocess, sys, threading, time, urllib.parse
archive, mode, burst, limit = sys.argv[1], sys.argv[2], int(sys.argv[3]), float(sys.argv[4])
deadline = time.monotonic_ns() + int(limit * 1e9)
shown = 0
def watch_popup():
    global shown
    windows = []
    while not windows and time.monotonic_ns() < deadline:
        windows = subprocess.run(["xdotool", "search", "--name", "^Messages received"],
                                 capture_output=True, text=True).stdout.split()
        time.sleep(0.02)
    final = re.compile(r"/%d\)" % burst)
    spies = [subprocess.Popen(["stdbuf", "-oL", "xprop", "-spy", "-id", w, "WM_NAME"],
                              stdout=subprocess.PIPE, text=True) for w in windows]
    def read(spy):
        global shown
        for line in spy.stdout:
            if final.search(line):
                shown = shown or time.monotonic_ns()
                break
    readers = [threading.Thread(target=read, args=(spy,), daemon=True) for spy in spies]
    for reader in readers:
        reader.start()
    while not shown and time.monotonic_ns() < deadline:
        time.sleep(0.01)
    for spy in spies:
        spy.kill()
popup = threading.Thread(target=watch_popup, daemon=True)
if mode == "desktop":
    popup.start()
uri = "file:" + urllib.parse.quote(archive) + "?mode=ro"
filed = rows = polls = 0
first = time.monotonic_ns()
while time.monotonic_ns() < deadline:
    try:
        db = sqlite3.connect(uri, uri=True, timeout=5)
        rows = db.execute("select count(*) from messages").fetchone()[0]
        db.close()
    except sqlite3.Error:
        pass
    polls += 1
    if rows >= burst:
        filed = time.monotonic_ns()
        break
    time.sleep(0.01)
period = (time.monotonic_ns() - first) / max(polls, 1) / 1e6
if mode == "desktop":
    popup.join(max(0, (deadline - time.monotonic_ns()) / 1e9))
print(filed, shown, rows, f"{period:.1f}")
PY
}
burst_to() {  # burst_to desktop|listen: "WIRE FILED SHOWN WHOLE CLICK ROWS POLL" (see below)
    rm -f "$archive"
    if [[ $1 == desktop ]]; then
        launch "$messenger"
    else
        # shellcheck disable=SC2086
        ip netns exec $nsset-ns1 env $alice_env "$corvane" listen >/dev/null 2>>"$work/program.log" &
        pid=$!
    fi
    registered || { echo "ALICE did not register" >&2; finish; return 1; }
    burst_watch "$1" "$burst" 120 >"$work/watch-$1.out" &
    local watcher=$!
    ip netns exec $nsset-ns2 env XDG_RUNTIME_DIR="$work" "$msgbench" BOB PC2 BENCHGRP ALICE \
        --count "$burst" --length 100 --burst-only >"$work/burst-$1.out" 2>&1
    wait "$watcher"
    local result wire start_ns end_ns filed_ns shown_ns rows poll clicked=0
    result=$(grep '^result ' "$work/burst-$1.out")
    wire=$(sed -n 's/.* burst_ms=\([0-9.]*\).*/\1/p' <<<"$result")
    start_ns=$(sed -n 's/.* start_ns=\([0-9]*\).*/\1/p' <<<"$result")
    end_ns=$(sed -n 's/.* end_ns=\([0-9]*\).*/\1/p' <<<"$result")
    read -r filed_ns shown_ns rows poll <"$work/watch-$1.out"
    if [[ -z $end_ns || -z $filed_ns ]]; then
        cat "$work/burst-$1.out" >&2
        finish
        return 1
    fi
    if [[ $1 == desktop ]] && ((shown_ns > 0)); then
        local popup before after t0
        popup=$(xdotool search --name "^Messages received .*/$burst\)" 2>/dev/null | head -1)
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
    # WIRE: the sender's burst, first message out to last reply in. FILED and
    # SHOWN: from that last reply to every message in the archive and to the
    # popup counting them all, in ms; negative when it came before the last
    # reply (a receiver files a message before it replies), "-" when it did
    # not happen within the deadline. WHOLE: from the first message out to
    # both. Each is known to within the watch's period.
    python3 - "$wire" "$start_ns" "$end_ns" "$filed_ns" "$shown_ns" "$1" "$clicked" "$rows" \
        "$poll" <<'PY'
import sys
wire, start, end, filed, shown, mode, clicked, rows, poll = sys.argv[1:]
start, end, filed, shown = int(start), int(end), int(filed), int(shown)
lag = lambda t: f"{(t - end) / 1e6:.1f}" if t else "-"
last = max(filed, shown) if mode == "desktop" else filed
whole = f"{(last - start) / 1e6:.1f}" if filed and (shown or mode != "desktop") else "-"
print(wire, lag(filed), lag(shown), whole, clicked, rows, poll)
PY
}
burst_ours=$(burst_to desktop) || exit 1
burst_base=$(burst_to listen) || exit 1
read -r wire_ours lag_ours shown_ours whole_ours click_ms filed_ours poll_ours <<<"$burst_ours"
read -r wire_base lag_base _ whole_base _ filed_base poll_base <<<"$burst_base"

python3 - "$start_ours" "$start_base" "$rss_ours" "$rss_base" "$wake_ours" "$wake_base" \
    "$threads_ours" "$threads_base" "$wire_ours" "$lag_ours" "$shown_ours" "$whole_ours" \
    "$click_ms" "$filed_ours" "$poll_ours" "$wire_base" "$lag_base" "$whole_base" "$filed_base" \
    "$poll_base" "$burst" "$idle" <<'PY'
import sys
(start, start_b, rss, rss_b, wake, wake_b, thr, thr_b, wire, lag, shown, whole, click_ms, filed,
 poll, wire_b, lag_b, whole_b, filed_b, poll_b, burst, idle) = sys.argv[1:]
f = float
def ms(value, width=10):
    return f"{f(value):{width}.0f}ms" if value != "-" else f"{'never':>{width + 2}}"
def ratio(a, b):  # none against a baseline of 0
    return f"{f(a) / f(b):7.2f}" if "-" not in (a, b) and f(b) > 0 else ""
print()
print(f"{'measure':48} {'desktop':>12} {'baseline':>12} {'ratio':>7}")
print(f"{'start to tray icon, median (limit 300 ms)':48} {ms(start)} {ms(start_b)} {ratio(start, start_b)}")
print(f"{'idle memory RSS at the end (limit 60 MB)':48} {f(rss) * 1024 / 1e6:10.1f}MB {f(rss_b) * 1024 / 1e6:10.1f}MB {ratio(rss, rss_b)}")
print(f"{'idle wake-ups per second over ' + idle + ' s':48} {f(wake):12.1f} {f(wake_b):12.1f} {ratio(wake, wake_b)}")
print(f"{'threads at the end':48} {thr:>12} {thr_b:>12}")
print(f"{burst + ' messages on the wire (sender)':48} {ms(wire)} {ms(wire_b)} {ratio(wire, wire_b)}")
print(f"{'  last reply to all in the archive':48} {ms(lag)} {ms(lag_b)}")
print(f"{'  last reply to the popup counting all':48} {ms(shown)}")
limit = " (limit 5 s)" if int(burst) <= 2000 else ""
print(f"{'  first out to all filed and shown' + limit:48} {ms(whole)} {ms(whole_b)} {ratio(whole, whole_b)}")
print(f"{'then the popup answers a click':48} {ms(click_ms)}")
print(f"baseline: corvane-tray-baseline (start, idle), corvane listen (burst: filed, nothing shown);")
print(f"filed {filed} and {filed_b} of {burst}; the archive was read every {poll} and {poll_b} ms, "
      f"the popup's title followed as it changed; a negative time: before the last reply")
# The limits; the burst's holds for up to 2000 messages.
limits = [("start to tray icon", f(start), 300, "ms"),
          ("idle memory", f(rss) * 1024 / 1e6, 60, "MB")]
if int(burst) <= 2000:
    limits.append(("burst filed and shown", f(whole) if whole != "-" else float("inf"), 5000, "ms"))
over = [f"{what} {value:.0f} {unit}, over its limit of {limit} {unit}"
        for what, value, limit, unit in limits if value > limit]
for line in over:
    print(f"FAIL: {line}")
sys.exit(1 if over else 0)
PY
