#!/usr/bin/env bash
# Real stations started by the corvane executable in network namespaces:
# personal messages both ways, multi-block, a workgroup broadcast reaching two
# stations, an unknown name, non-ASCII text, a second listen refused, what
# nmblookup sees, and the SMB suite: smbclient -M delivering to corvane listen,
# and corvane send delivering to smbd's message command.
# Usage: messaging_netns_test.sh PATH/TO/corvane
set -uo pipefail

corvane=$(realpath "$1")
probe=$corvane  # netns_lib.sh expects a program in $probe
source "$(dirname "$0")/netns_lib.sh"
for tool in smbclient smbd nmbd nmblookup python3; do
    if ! command -v "$tool" >/dev/null; then
        echo "FAIL: $tool is not installed; scripts/deps.sh test installs it"
        exit 1
    fi
done

samba_pids=()
stop_samba() {
    # smbd and nmbd fork helpers; each runs in a session of its own, so the
    # whole process group goes.
    for pid in "${samba_pids[@]}"; do
        kill -- "-$pid" 2>/dev/null
    done
    sleep 0.5
    for pid in "${samba_pids[@]}"; do
        kill -9 -- "-$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    samba_pids=()
    [[ -n "${inbox:-}" ]] && rm -rf "$inbox"
}
cleanup_hooks+=(stop_samba)
netns_setup 4

# Station i: user, computer, workgroup and its own XDG folders.
station_env() {  # station_env N USER COMPUTER [EXTRA=...]
    local home=$work/home$1
    mkdir -p "$home/run" "$home/config" "$home/data"
    chmod 700 "$home/run"
    echo "XDG_RUNTIME_DIR=$home/run XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data" \
        "CORVANE_USER_NAME=$2 CORVANE_COMPUTER_NAME=$3 CORVANE_WORKGROUP=TESTGRP ${*:4}"
}
listen() {  # listen N USER COMPUTER [EXTRA...]: corvane listen --json in station N
    local log=$work/listen$1
    : >"$log.err"
    # shellcheck disable=SC2046
    ip netns exec "$nsset-ns$1" env $(station_env "$@") "$corvane" listen --json \
        >"$log.out" 2>"$log.err" &
    pids+=($!)
    for _ in $(seq 100); do
        if grep -q "name $2 personal: registered" "$log.err" &&
            grep -q "TESTGRP group: registered" "$log.err"; then
            return 0
        fi
        sleep 0.1
    done
    echo "station $1 did not register:"
    cat "$log.err"
    return 1
}
send() {  # send N USER COMPUTER [VAR=VALUE... [WRAPPER...]] -- corvane send arguments; sets $status
    local n=$1 user=$2 computer=$3 before=()
    shift 3
    while [[ $1 != -- ]]; do
        before+=("$1")
        shift
    done
    shift
    # shellcheck disable=SC2046
    ip netns exec "$nsset-ns$n" env $(station_env "$n" "$user" "$computer") "${before[@]}" \
        "$corvane" send "$@" >"$work/send.out" 2>"$work/send.err"
    status=$?
}
fails_with() {  # fails_with CODE TEXT: the last send's exit code and what it said
    if [[ $status -ne $1 ]] || ! grep -qF "failed: $2" "$work/send.err"; then
        echo "exit code $status, standard error:"
        cat "$work/send.err"
        return 1
    fi
}
texts() {  # texts N: the texts station N received, one JSON string per line
    python3 -c 'import json,sys
for line in open(sys.argv[1]):
    m = json.loads(line)
    print(json.dumps([m["type"], m["sender"], m["recipient"], m["text"]], ensure_ascii=False))' \
        "$work/listen$1.out"
}
received() {  # received N TYPE SENDER RECIPIENT TEXT: waits up to 5 s
    local want
    want=$(python3 -c 'import json,sys; print(json.dumps([int(sys.argv[1])] + sys.argv[2:], ensure_ascii=False))' \
        "${@:2}")
    for _ in $(seq 50); do
        texts "$1" | grep -qxF -- "$want" && return 0
        sleep 0.1
    done
    echo "station $1 did not receive $want; it has:"
    texts "$1"
    return 1
}

echo "== three stations of workgroup TESTGRP (OEM code page 866 on all)"
check "station 1 (ALICE on PC1) registers" listen 1 ALICE PC1 CORVANE_OEM_CODEPAGE=866
check "station 2 (BOB on PC2) registers" listen 2 BOB PC2 CORVANE_OEM_CODEPAGE=866
check "station 3 (CAROL on PC3) registers" listen 3 CAROL PC3 CORVANE_OEM_CODEPAGE=866

echo "== personal messages"
send 2 BOB PC2 -- alice "hello Alice"
check "send to a user exits 0" test "$status" -eq 0
check "Alice received Bob's message" received 1 1 BOB ALICE "hello Alice"
send 1 ALICE PC1 -- PC2 "hello computer of Bob"
check "Bob's computer received Alice's message" received 2 1 ALICE PC2 "hello computer of Bob"
long=$(python3 -c 'print(" ".join(f"word{i:03d}" for i in range(60)))')  # 479 characters
send 1 ALICE PC1 -- BOB "$long"
check "a multi-block message arrives whole" received 2 1 ALICE BOB "$long"
send 2 BOB PC2 -- ALICE "Привет, как дела?"
check "Cyrillic text arrives intact through code page 866" received 1 1 BOB ALICE "Привет, как дела?"
printf 'first line\nsecond line\n' >"$work/stdin.txt"
# shellcheck disable=SC2046
ip netns exec $nsset-ns2 env $(station_env 2 BOB PC2) "$corvane" send ALICE - <"$work/stdin.txt"
check "text from standard input keeps its line break" received 1 1 BOB ALICE $'first line\nsecond line'

echo "== corvane send with no station of its user running"
# Nothing runs in station 4: the command registers DAVE's names for this one
# message, sends it and ends.
send 4 DAVE PC4 -- ALICE "from a station of one message"
check "send without a running station exits 0" test "$status" -eq 0
check "Alice received it from DAVE" received 1 1 DAVE ALICE "from a station of one message"
# shellcheck disable=SC2046
ip netns exec $nsset-ns4 env $(station_env 4 DAVE PC4) "$corvane" history ALICE \
    >"$work/history4" 2>&1
check "and DAVE's archive keeps the message sent" grep -qF "from a station of one message" \
    "$work/history4"

echo "== terminal controls from a peer reach no terminal"
send 2 BOB PC2 -- ALICE $'esc \e[2J bel \a tab\tend'
check "Alice received the text, its controls escaped in JSON" \
    received 1 1 BOB ALICE $'esc \e[2J bel \a tab\tend'
# shellcheck disable=SC2046
ip netns exec $nsset-ns1 env $(station_env 1 ALICE PC1) "$corvane" history BOB \
    >"$work/history.out" 2>"$work/history.err"
check "corvane history shows the message with '?' for each control" \
    grep -qF $'    esc ?[2J bel ? tab\tend' "$work/history.out"
check "and no control character at all" \
    python3 -c 'import sys; t = open(sys.argv[1], "rb").read(); sys.exit(any(b < 32 and b not in (9, 10) or b == 127 for b in t))' \
    "$work/history.out"

echo "== failures"
start_time=$(date +%s%N)
send 1 ALICE PC1 -- NOBODY "is anybody there"
elapsed_ms=$((($(date +%s%N) - start_time) / 1000000))
check "an unknown name fails with code 3" test "$status" -eq 3
check "with the text \"Recipient not found\"" grep -q "Recipient not found" "$work/send.err"
check "within the send time-out (3500 ms, took ${elapsed_ms} ms)" test "$elapsed_ms" -lt 6000
# The next two sends start a station of their own whose names cannot
# register; it waits 2 s for them instead of 10 s.
# No network: a namespace of its own, with loopback only.
send 4 DAVE PC4 CORVANE_SEND_REGISTER_MS=2000 unshare --net -- ALICE "no network here"
check "with no network interface, send fails with 5 \"Network not found\"" \
    fails_with 5 "Network not found"
# Station 4 as ALICE on PC1: station 1 defends both names, so none of the
# sender's names may call.
send 4 ALICE PC1 CORVANE_SEND_REGISTER_MS=2000 -- BOB "my names are taken"
check "when every name of the sender is taken, send fails with 2 \"Unknown error\"" \
    fails_with 2 "Unknown error"
# shellcheck disable=SC2046
ip netns exec $nsset-ns1 env $(station_env 1 ALICE PC1) "$corvane" listen >"$work/second.out" \
    2>"$work/second.err"
second=$?
check "a second listen of the same user is refused" test "$second" -ne 0
check "with a clear message" grep -q "already runs" "$work/second.err"

echo "== broadcast to the workgroup"
send 1 ALICE PC1 -- --broadcast TESTGRP "to everybody"
check "broadcast exits 0" test "$status" -eq 0
check "Bob received the broadcast" received 2 2 ALICE TESTGRP "to everybody"
check "Carol received the broadcast" received 3 2 ALICE TESTGRP "to everybody"

echo "== what the SMB suite's nmblookup sees"
ip netns exec $nsset-ns4 nmblookup -A 198.18.0.1 >"$work/nmblookup" 2>&1
for entry in "ALICE *<03> - *B <ACTIVE>" "PC1 *<03> - *B <ACTIVE>" "PC1 *<00> - *B <ACTIVE>" \
    "TESTGRP *<00> - <GROUP> B <ACTIVE>"; do
    check "nmblookup -A lists $entry" grep -Eq "$entry" "$work/nmblookup"
done

echo "== smbclient -M delivers to corvane listen"
cat >"$work/client.conf" <<CONF
[global]
    workgroup = TESTGRP
    interfaces = eth0
    name resolve order = bcast
CONF
printf "short note from smbclient" | ip netns exec $nsset-ns4 timeout 20 \
    smbclient -s "$work/client.conf" -M ALICE -U DAVE -N >"$work/smbclient.out" 2>&1
check "smbclient -M with a short text exits 0" test $? -eq 0
check "Alice received smbclient's short text" received 1 1 DAVE ALICE "short note from smbclient"
python3 -c 'print("x" * 1100, end="")' >"$work/long.txt"
ip netns exec $nsset-ns4 timeout 20 smbclient -s "$work/client.conf" -M ALICE -U DAVE -N \
    <"$work/long.txt" >"$work/smbclient.out" 2>&1
check "Alice received smbclient's 1100-character text" received 1 1 DAVE ALICE "$(cat "$work/long.txt")"

echo "== NetBIOS ports held by another program"
# Station 4 has no corvane station yet: another program takes the session
# and name ports there, and a station started now must say so and carry on.
ip netns exec $nsset-ns4 python3 -c '
import socket, time
tcp = socket.socket(); tcp.bind(("0.0.0.0", 139)); tcp.listen(1)
udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); udp.bind(("198.18.0.4", 137))
print("held", flush=True); time.sleep(30)' >"$work/holder.out" 2>&1 &
holder=$!
wait_for holder.out held
# shellcheck disable=SC2046
ip netns exec $nsset-ns4 env $(station_env 4 DAVE PC4) timeout --preserve-status -s INT 4 "$corvane" listen \
    >/dev/null 2>"$work/held.err"
held_status=$?
kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null
check "a station whose ports are held reports Network not found" \
    grep -q "name DAVE personal: Network not found" "$work/held.err"
check "and still stops cleanly" grep -q "corvane: stopped" "$work/held.err"
check "with exit code 0" test "$held_status" -eq 0

echo "== corvane send delivers to smbd's message command"
# smbd runs the message command as the guest user, which needs a folder it
# can write (not below the test's private folder).
inbox=$(mktemp -d -p /var/tmp corvane-inbox.XXXXXX)
chmod 1777 "$inbox"
chmod 755 "$work"
samba_conf "$work/smb.conf" TESTGRP "server min protocol = NT1" "smb ports = 139" \
    "message command = /bin/sh -c 'cat %s >> $inbox/messages; echo >> $inbox/messages; rm -f %s' &"
setsid ip netns exec $nsset-ns4 env TMPDIR="$inbox" nmbd --foreground --no-process-group \
    --configfile="$work/smb.conf" >"$work/nmbd.out" 2>&1 &
samba_pids+=($!)
start_smbd() {  # start_smbd CONF
    setsid ip netns exec $nsset-ns4 env TMPDIR="$inbox" smbd --foreground --no-process-group \
        --configfile="$1" >>"$work/smbd.out" 2>&1 &
    smbd_pid=$!
    samba_pids+=("$smbd_pid")
}
start_smbd "$work/smb.conf"
peer_ready() {  # nmbd answers for PEER<03> and smbd listens (bounded)
    for _ in $(seq 30); do
        if timeout 5 ip netns exec $nsset-ns2 nmblookup -B 198.18.0.255 'PEER#03' 2>/dev/null |
            grep -q "198.18.0.4 PEER<03>" &&
            ip netns exec $nsset-ns4 ss -ltn | grep -q ":139 "; then
            return 0
        fi
        sleep 1
    done
    return 1
}
check "nmbd and smbd run as PEER in station 4" peer_ready
send 1 ALICE PC1 -- PEER "hello smbd"
check "send of a short text to smbd exits 0" test "$status" -eq 0
python3 -c 'print(" ".join(["samba"] * 250), end="")' >"$work/long2.txt"  # 1499 characters
send 1 ALICE PC1 -- PEER "$(cat "$work/long2.txt")"
check "send of a long text to smbd exits 0" test "$status" -eq 0
smbd_got() {  # smbd_got TEXT: waits up to 5 s
    for _ in $(seq 50); do
        grep -qxF -- "$1" "$inbox/messages" 2>/dev/null && return 0
        sleep 0.1
    done
    echo "smbd's message command wrote:"
    cat "$inbox/messages" 2>/dev/null
    return 1
}
check "smbd received the short text" smbd_got "hello smbd"
check "smbd received the long text" smbd_got "$(cat "$work/long2.txt")"

echo "== a peer that refuses messages"
# smbd without a message command answers a message with an error (its
# messenger service is off).
kill -- "-$smbd_pid"
wait "$smbd_pid" 2>/dev/null
grep -v "message command" "$work/smb.conf" >"$work/smb-refusing.conf"
start_smbd "$work/smb-refusing.conf"
check "smbd runs again, without a message command" peer_ready
send 1 ALICE PC1 -- PEER "nobody takes this"
check "a refused message fails with 4 \"Message transmission error\"" \
    fails_with 4 "Message transmission error"

stop_all
for station in 1 2 3; do
    check "station $station stopped cleanly" grep -q "corvane: stopped" "$work/listen$station.err"
done

echo "== the archives"
history() {  # history N USER COMPUTER [NAME]: corvane history of station N
    # shellcheck disable=SC2046
    env $(station_env "$1" "$2" "$3") "$corvane" history "${@:4}" >"$work/history$1" 2>&1
}
history 1 ALICE PC1 BOB
check "Alice's archive holds the message Bob sent her" grep -q "hello Alice" "$work/history1"
check "and the multi-block message she sent Bob" grep -q "word059" "$work/history1"
history 2 BOB PC2 ALICE
check "Bob's archive holds what he sent Alice" grep -q "hello Alice" "$work/history2"
history 1 ALICE PC1
check "Alice's dialogue list names Bob" grep -q "BOB" "$work/history1"
exported() {  # exported FILE SENDER RECIPIENT TEXT: a row of the HTML table or the CSV
    python3 - "$@" <<'PY' || { echo "--- $1:"; head -c 2000 "$1"; return 1; }
import csv, html.parser, io, sys
path, want = sys.argv[1], sys.argv[2:]
class Table(html.parser.HTMLParser):
    def __init__(self):
        super().__init__()
        self.rows, self.cell, self.tags = [], None, []
    def handle_starttag(self, tag, attrs):
        self.tags.append(tag)
        if tag == "tr":
            self.rows.append([])
        elif tag == "td":
            self.cell = ""
    def handle_endtag(self, tag):
        if tag == "td" and self.rows:
            self.rows[-1].append(self.cell.strip())
            self.cell = None
    def handle_data(self, data):
        if self.cell is not None:
            self.cell += data
text = open(path, encoding="utf-8", newline="").read()
if path.endswith(".html"):
    table = Table()
    table.feed(text)
    # A document with a table, not text that merely holds the words.
    if not {"html", "body", "table"} <= set(table.tags):
        sys.exit("not an HTML document with a table")
    rows = table.rows
else:
    rows = list(csv.reader(io.StringIO(text)))
sys.exit(0 if any(row[1:4] == want for row in rows if len(row) == 4) else 1)
PY
}
# shellcheck disable=SC2046
env $(station_env 1 ALICE PC1) "$corvane" export "$work/archive.html" >/dev/null 2>&1
check "corvane export writes the archive as an HTML table" \
    exported "$work/archive.html" BOB ALICE "hello Alice"
# shellcheck disable=SC2046
env $(station_env 1 ALICE PC1) "$corvane" export "$work/archive.csv" >/dev/null 2>&1
check "corvane export writes the archive as CSV" exported "$work/archive.csv" BOB ALICE "hello Alice"
netns_finish
