#!/usr/bin/env bash
# The desktop program stopped by SIGTERM (as the end of the session stops it)
# while two stations send to it at once: every message whose sender was told
# it arrived is in the archive afterwards. corvane-messenger runs as ALICE in
# namespace 1 (offscreen: this is about the station, not the windows); CAROL
# in namespace 2 and BOB in namespace 3 each send a burst with
# corvane-msg-bench; ALICE gets SIGTERM once a few dozen messages are filed.
# Usage: desktop_stop_netns_test.sh PATH/TO/corvane PATH/TO/corvane-messenger \
#            PATH/TO/corvane-msg-bench
set -uo pipefail

corvane=$(realpath "$1")
messenger=$(realpath "$2")
msgbench=$(realpath "$3")
probe=$corvane  # netns_lib.sh expects a program in $probe
source "$(dirname "$0")/netns_lib.sh"
if ! command -v python3 >/dev/null; then
    echo "FAIL: python3 is not installed; scripts/deps.sh test installs it"
    exit 1
fi
netns_setup 3

station_env() {  # station_env N USER COMPUTER
    local home=$work/home$1
    mkdir -p "$home/run" "$home/config" "$home/data"
    chmod 700 "$home/run"
    echo "XDG_RUNTIME_DIR=$home/run XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data" \
        "CORVANE_USER_REGISTRY=$home/user.reg CORVANE_USER_NAME=$2 CORVANE_COMPUTER_NAME=$3" \
        "CORVANE_WORKGROUP=STOPGRP"
}
alice_env=$(station_env 1 ALICE PC1)
carol_env=$(station_env 2 CAROL PC2)
bob_env=$(station_env 3 BOB PC3)
archive="$work/home1/data/Corvane Messenger/3.x/messages"
count=300

# shellcheck disable=SC2086
ip netns exec $nsset-ns1 env $alice_env QT_QPA_PLATFORM=offscreen \
    ASAN_OPTIONS="${ASAN_OPTIONS:-}:quarantine_size_mb=4" "$messenger" >"$work/alice.log" 2>&1 &
alice=$!
pids+=("$alice")
alice_answers() {
    for _ in $(seq 150); do
        # shellcheck disable=SC2086
        ip netns exec $nsset-ns2 env $carol_env "$corvane" ping ALICE >/dev/null 2>&1 && return 0
        kill -0 "$alice" 2>/dev/null || break
        sleep 0.1
    done
    cat "$work/alice.log"
    return 1
}
if alice_answers; then
    echo "ok: ALICE's desktop program registers its name"
else
    echo "FAIL: ALICE's desktop program registers its name"
    failures=$((failures + 1))
    netns_finish
fi

archived() {  # messages in ALICE's archive (0 while it cannot be read)
    python3 - "$archive" <<'PY' 2>/dev/null || echo 0
import sqlite3, sys
db = sqlite3.connect(f"file:{sys.argv[1]}?mode=ro", uri=True, timeout=0.2)
print(db.execute("select count(*) from messages").fetchone()[0])
PY
}

benchers=()
for who in "2 CAROL PC2 $carol_env" "3 BOB PC3 $bob_env"; do
    read -r ns user computer env <<<"$who"
    # shellcheck disable=SC2086
    ip netns exec $nsset-ns$ns env $env "$msgbench" "$user" "$computer" STOPGRP ALICE \
        --count $count --length 60 --burst-only --codes "$work/codes-$user" \
        >"$work/bench-$user.out" 2>&1 &
    benchers+=($!)
done
pids+=("${benchers[@]}")
# SIGTERM once a few dozen messages are filed, while both still send.
for _ in $(seq 600); do
    (($(archived) >= 40)) && break
    sleep 0.05
done
sending=0
for bencher in "${benchers[@]}"; do
    kill -0 "$bencher" 2>/dev/null && sending=$((sending + 1))
done
at_term=$(archived)
kill -TERM "$alice"
ended() {
    for _ in $(seq 300); do
        if ! kill -0 "$alice" 2>/dev/null; then
            wait "$alice"
            status=$?
            return 0
        fi
        sleep 0.1
    done
    return 1
}
status=
check "the program ends within 30 s of SIGTERM" ended
check "with exit code 0" test "${status:-1}" -eq 0
during_burst() {
    ((at_term >= 40 && at_term < 2 * count && sending == 2)) && return 0
    echo "SIGTERM after ${at_term} filed messages, ${sending} sender(s) still sending"
    cat "$work"/bench-*.out
    return 1
}
check "the SIGTERM came while both sent, after 40 messages" during_burst
for bencher in "${benchers[@]}"; do
    wait "$bencher"
done
python3 - "$archive" "$work/codes-CAROL" "$work/codes-BOB" >"$work/check.out" <<'PY'
import os, sqlite3, sys
db = sqlite3.connect(sys.argv[1])
missing = 0
report = []
for path in sys.argv[2:]:
    sender = os.path.basename(path).split("-", 1)[1]
    codes = [line.rstrip("\n").split(" ", 1) for line in open(path)]
    archived = {row[0] for row in db.execute(
        "select message from messages where sender = ?", (sender,))}
    succeeded = [text for code, text in codes if code == "1"]
    lost = [text for text in succeeded if text not in archived]
    missing += len(lost)
    report.append(f"{sender}: sent {len(codes)}, succeeded {len(succeeded)}, "
                  f"archived {len(archived)}, succeeded but missing {len(lost)}")
    report += [f"missing: {text[:40]}" for text in lost[:3]]
print("; ".join(report))
sys.exit(1 if missing else 0)
PY
check_status=$?
echo "figure: SIGTERM after ${at_term} filed messages; $(cat "$work/check.out")"
check "every message whose sender got success is in the archive" test "$check_status" -eq 0
netns_finish
