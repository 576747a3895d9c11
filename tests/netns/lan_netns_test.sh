#!/usr/bin/env bash
# corvane ping and corvane search between namespaces: two corvane stations in
# workgroups WGA and WGB, nmbd as PEER in WGA, and a station of no workgroup
# of its own that pings and searches. Ping and search also run beside a
# station that holds the NetBIOS ports.
# Usage: lan_netns_test.sh PATH/TO/corvane
set -uo pipefail
corvane=$1
probe=$corvane
source "$(dirname "$0")/netns_lib.sh"

for tool in nmbd nmblookup python3; do
    if ! command -v "$tool" >/dev/null; then
        echo "FAIL: $tool is not installed; scripts/deps.sh test installs it"
        exit 1
    fi
done

nmbd_pid=
stop_nmbd() {
    if [[ -n "$nmbd_pid" ]]; then
        kill "$nmbd_pid" 2>/dev/null
        wait "$nmbd_pid" 2>/dev/null
        nmbd_pid=
    fi
}
cleanup_hooks+=(stop_nmbd)
netns_setup 4

station_env() {  # station_env N USER COMPUTER WORKGROUP
    local home=$work/home$1
    mkdir -p "$home/run" "$home/config" "$home/data"
    chmod 700 "$home/run"
    echo "XDG_RUNTIME_DIR=$home/run XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data" \
        "CORVANE_USER_NAME=$2 CORVANE_COMPUTER_NAME=$3 CORVANE_WORKGROUP=$4"
}
listen() {  # listen N USER COMPUTER WORKGROUP
    local log=$work/listen$1
    : >"$log.err"
    # shellcheck disable=SC2046
    ip netns exec "$nsset-ns$1" env $(station_env "$@") "$corvane" listen \
        >"$log.out" 2>"$log.err" &
    pids+=($!)
    for _ in $(seq 100); do
        grep -q "name $2 personal: registered" "$log.err" &&
            grep -q "$4 group: registered" "$log.err" && return 0
        sleep 0.1
    done
    echo "station $1 did not register:"
    cat "$log.err"
    return 1
}
cli() {  # cli N LOG corvane-arguments...: sets $status
    # shellcheck disable=SC2046
    ip netns exec "$nsset-ns$1" env $(station_env "$1" SEARCHER SEARCHPC WGC) \
        "$corvane" "${@:3}" >"$work/$2" 2>"$work/$2.err"
    status=$?
}

conf=$work/smb.conf
samba_conf "$conf" WGA
ip netns exec $nsset-ns3 nmbd --foreground --no-process-group --debug-stdout \
    --configfile="$conf" >"$work/nmbd.out" 2>&1 &
nmbd_pid=$!

check "station 1 (ALICE on PC1, WGA) registers" listen 1 ALICE PC1 WGA
check "station 2 (BOB on PC2, WGB) registers" listen 2 BOB PC2 WGB
nmbd_ready() {  # nmbd answers for PEER<03> (bounded)
    for _ in $(seq 30); do
        timeout 5 ip netns exec $nsset-ns4 nmblookup -B 198.18.0.255 "PEER#03" >"$work/nmb" 2>&1
        grep -q "198.18.0.3 PEER<03>" "$work/nmb" && return 0
        sleep 1
    done
    cat "$work/nmbd.out" | tail -20
    return 1
}
check "nmbd registers PEER" nmbd_ready

echo "== corvane ping"
cli 4 ping-alice ping ALICE
check "ALICE answers (exit 0)" test "$status" -eq 0
names_are() {  # names_are LOG NAME...: the messenger names, in any order
    local line want got
    line=$(grep -o "messenger names: .* (" "$work/$1" | sed 's/messenger names: //; s/ (//')
    got=$(tr -d ' ' <<<"$line" | tr ',' '\n' | sort | tr '\n' ' ')
    want=$(printf '%s\n' "${@:2}" | sort | tr '\n' ' ')
    [[ "$got" == "$want" ]] || { echo "--- $1:"; cat "$work/$1"; return 1; }
}
check "with station 1's messenger names" names_are ping-alice ALICE PC1
cli 4 ping-nobody ping NOBODY
check "an absent name does not answer (exit 1)" test "$status" -eq 1
check "and says so" has ping-nobody "NOBODY: no answer"
cli 1 ping-beside ping bob
check "a ping beside a station that holds the ports finds BOB" test "$status" -eq 0
check "with station 2's names" names_are ping-beside BOB PC2
cli 4 ping-peer ping --json PEER
check "nmbd's station answers" test "$status" -eq 0
check "nmbd's computer name and messenger name" \
    has ping-peer '"computer":"PEER","messengerNames":\["PEER"\]'
cli 4 ping-bad ping THIS-NAME-IS-FAR-TOO-LONG
check "a name over 15 characters is refused" test "$status" -eq 64

echo "== corvane search"
cli 4 search search --json
check "search ends with exit 0" test "$status" -eq 0
row() {  # row LOG KIND NAME DOMAIN STATE
    python3 - "$work/$1" "${@:2}" <<'PY' || { echo "--- $1:"; cat "$work/$1"; exit 1; }
import json, sys
path, kind, name, domain, state = sys.argv[1:]
rows = [json.loads(line) for line in open(path) if line.strip()]
sys.exit(0 if any(r["kind"] == kind and r["name"] == name and r["domain"] == domain
                  and r["stateText"] == state for r in rows) else 1)
PY
}
check "workgroup WGA" row search group WGA WGA available
check "workgroup WGB" row search group WGB WGB available
check "this station's own workgroup" row search group WGC WGC available
check "nmbd's computer in WGA, available" row search computer PEER WGA available
check "station 1's computer in WGA, available" row search computer PC1 WGA available
check "its user ALICE" row search user ALICE WGA available
check "station 2's computer in WGB, available" row search computer PC2 WGB available
check "its user BOB" row search user BOB WGB available
cli 1 search-beside search
check "a search beside a station that holds the ports ends" test "$status" -eq 0
check "and lists WGB" grep -q "^group *WGB" "$work/search-beside"

stop_all
for station in 1 2; do
    check "station $station stopped cleanly" has "listen$station.err" "corvane: stopped"
done
netns_finish
