# Helpers for the network namespace tests; sourced by the test scripts, which
# set $probe (the probe binary) first. Stations are $nsset-ns1..N on
# 198.18.0.0/24 (scripts/netns.sh; $nsset is $CORVANE_NETNS, default corvane).

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# Under CTest each suite has CORVANE_NETNS_SUITE, a network of its own: the set
# is then CORVANE_NETNS (default "cv") followed by it, so that two runs side by
# side stay apart as long as their CORVANE_NETNS differ.
if [[ -n ${CORVANE_NETNS_SUITE:-} ]]; then
    export CORVANE_NETNS=${CORVANE_NETNS:-cv}$CORVANE_NETNS_SUITE
fi
nsset=${CORVANE_NETNS:-corvane}
if [[ $(id -u) -ne 0 ]]; then
    echo "SKIP: network namespace tests need root"
    exit 77
fi
if ! command -v ip >/dev/null; then
    echo "FAIL: iproute2 (ip) is not installed; scripts/deps.sh test installs it"
    exit 1
fi

work=$(mktemp -d)
pids=()
failures=0
# Extra commands the cleanup runs first (a test's own daemons).
cleanup_hooks=()

cleanup() {
    for hook in "${cleanup_hooks[@]}"; do
        $hook
    done
    stop_all
    "$root/scripts/netns.sh" down
    rm -rf "$work"
}

netns_setup() {  # netns_setup N: N stations, torn down on exit
    trap cleanup EXIT
    "$root/scripts/netns.sh" up "$1" || exit 1
}

check() {  # check DESCRIPTION COMMAND...
    if "${@:2}"; then
        echo "ok: $1"
    else
        echo "FAIL: $1"
        failures=$((failures + 1))
    fi
}
in_ns() {  # in_ns N COMMAND...
    ip netns exec "$nsset-ns$1" "${@:2}"
}
start() {  # start LOG N PROBE-ARGS...: runs the probe in the background
    local log=$work/$1
    # Not through in_ns: $! must be the probe itself (ip execs it) to kill it.
    ip netns exec "$nsset-ns$2" "$probe" "${@:3}" >"$log" 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        grep -q '^ready' "$log" && return 0
        sleep 0.1
    done
    echo "no ready line in $1:"
    cat "$log"
    return 1
}
run() {  # run LOG N PROBE-ARGS...: runs the probe to its end
    in_ns "$2" "$probe" "${@:3}" >"$work/$1" 2>&1
    return 0
}
has() {  # has LOG PATTERN
    grep -q -- "$2" "$work/$1" || { echo "--- $1:"; cat "$work/$1"; return 1; }
}
wait_for() {  # wait_for LOG PATTERN: up to 5 s
    for _ in $(seq 50); do
        grep -q -- "$2" "$work/$1" && return 0
        sleep 0.1
    done
    has "$1" "$2"
}
stop_all() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    # Only the probes: a test's daemons have their own stop.
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null
    done
    pids=()
}

samba_conf() {  # samba_conf FILE WORKGROUP [LINE...]: smb.conf of PEER, private folders
    local dir=$work/samba
    mkdir -p "$dir"/{lock,state,cache,pid,private,ncalrpc}
    {
        echo "[global]"
        printf '    %s\n' "netbios name = PEER" "workgroup = $2" "interfaces = eth0" \
            "bind interfaces only = yes" "lock directory = $dir/lock" \
            "state directory = $dir/state" "cache directory = $dir/cache" \
            "pid directory = $dir/pid" "private dir = $dir/private" \
            "ncalrpc dir = $dir/ncalrpc" "log file = $dir/log" "wins support = no" \
            "local master = no" "${@:3}"
    } >"$1"
}

clean_logs() {
    if grep -rl "Sanitizer" "$work"; then
        grep -rh -A20 "Sanitizer" "$work" | head -60
        return 1
    fi
}

netns_finish() {  # the summary and exit code
    check "no sanitizer reports from any station" clean_logs
    if ((failures > 0)); then
        echo "$failures check(s) failed"
        exit 1
    fi
    echo "all checks passed"
    exit 0
}
