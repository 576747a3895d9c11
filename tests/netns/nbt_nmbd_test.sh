#!/usr/bin/env bash
# The stack next to the SMB suite's name daemon: nmbd runs as PEER in
# workgroup TESTGRP in station 1 with a private configuration; the probe in
# station 2 reads nmbd's name table by node status, is refused nmbd's unique
# names and may join its workgroup; nmblookup in station 1 lists our names.
# Usage: nbt_nmbd_test.sh PATH/TO/corvane-nbt-probe
set -uo pipefail

probe=$(realpath "$1")
source "$(dirname "$0")/netns_lib.sh"
for tool in nmbd nmblookup testparm; do
    if ! command -v "$tool" >/dev/null; then
        echo "FAIL: $tool is not installed; scripts/deps.sh test installs samba"
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
netns_setup 2

conf=$work/smb.conf
samba_conf "$conf" TESTGRP
testparm_ok() {
    testparm -s "$conf" >"$work/testparm" 2>&1 || { cat "$work/testparm"; return 1; }
}
check "testparm accepts the configuration" testparm_ok

echo "== nmbd as PEER in station 1"
ip netns exec $nsset-ns1 nmbd --foreground --no-process-group --debug-stdout \
    --configfile="$conf" >"$work/nmbd.out" 2>&1 &
nmbd_pid=$!
# nmbd registers its names by broadcasting for a few seconds and answers
# queries only for names it finished; wait until queries for its unique names
# resolve and a node status lists its workgroup (bounded).
nmbd_ready() {
    for _ in $(seq 30); do
        if ! kill -0 "$nmbd_pid" 2>/dev/null; then
            echo "nmbd ended:"
            tail -20 "$work/nmbd.out"
            return 1
        fi
        local resolved=0
        for suffix in 00 03 20; do
            timeout 5 ip netns exec $nsset-ns2 nmblookup -B 198.18.0.255 "PEER#$suffix" \
                >"$work/nmbready" 2>&1
            grep -q "198.18.0.1 PEER<$suffix>" "$work/nmbready" && resolved=$((resolved + 1))
        done
        timeout 5 ip netns exec $nsset-ns2 nmblookup -A 198.18.0.1 >"$work/nmbready" 2>&1
        if ((resolved == 3)) && grep -q "TESTGRP .*<00> - <GROUP>" "$work/nmbready"; then
            return 0
        fi
        sleep 1
    done
    echo "nmbd did not answer in time:"
    cat "$work/nmbready"
    tail -20 "$work/nmbd.out"
    return 1
}
if ! check "nmbd answers node status" nmbd_ready; then
    netns_finish
fi

echo "== our node status client reads nmbd's table"
run status 2 status PEER
check "node status of PEER answers" has status "status 0x00"
check "PEER<00> is listed as unique" has status "name PEER<00> UNIQUE"
check "PEER<03> is listed as unique" has status "name PEER<03> UNIQUE"
check "PEER<20> is listed as unique" has status "name PEER<20> UNIQUE"
check "TESTGRP<00> is listed as a group" has status "name TESTGRP<00> GROUP"
run status20 2 status 'PEER#20'
check "node status through PEER<20> lists the same table" has status20 "name TESTGRP<00> GROUP"

echo "== registration next to nmbd"
run taken 2 register PEER
check "nmbd defends PEER<03> against us (0x16)" has taken "add PEER<03> 0x16"
run group 2 register 'TESTGRP#00' --group
check "a group registration of nmbd's workgroup succeeds" has group "add TESTGRP<00> 0x00"
run unique 2 register 'TESTGRP#00'
check "a unique registration of nmbd's workgroup is refused (0x16)" has unique "add TESTGRP<00> 0x16"
check "station 2 registers ZULU" start zulu 2 register ZULU --hold 60 --internal 'ZULU#00'

echo "== what nmblookup sees of us"
in_ns 1 nmblookup -A 198.18.0.2 >"$work/nmbs" 2>&1
check "nmblookup -A lists ZULU<03>" has nmbs "ZULU .*<03> -.*<ACTIVE>"
check "nmblookup -A lists ZULU<00>" has nmbs "ZULU .*<00> -.*<ACTIVE>"
in_ns 1 nmblookup -B 198.18.0.255 'ZULU#03' >"$work/nmbq" 2>&1
check "nmblookup resolves ZULU#03" has nmbq "198.18.0.2 ZULU<03>"
stop_all
stop_nmbd

netns_finish
