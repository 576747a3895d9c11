#!/usr/bin/env bash
# Stations in three network namespaces talk NetBIOS over TCP/IP through the
# stack: registration and defence, queries, node status, sessions, group and
# unique datagrams (also back to back), mailslot writes into the local
# MESSNGR mailslot, and, when nmblookup is installed, what the SMB suite sees.
# Usage: nbt_netns_test.sh PATH/TO/corvane-nbt-probe
set -uo pipefail

probe=$(realpath "$1")
source "$(dirname "$0")/netns_lib.sh"
netns_setup 3

echo "== registration, defence, query, node status"
check "station 1 registers ALPHA" start alpha 1 register ALPHA --hold 60 --internal 'HOTEL#00'
check "station 1 got the name" has alpha "add ALPHA<03> 0x00"
run busy 1 register INDIA
check "a second stack on a busy session port fails its reset (0x40)" has busy "reset 0x40"
run alpha2 2 register ALPHA
check "station 2 is refused ALPHA (0x16)" has alpha2 "add ALPHA<03> 0x16"
run alpha3 3 register ALPHA --group
check "a group registration of unique ALPHA is refused (0x16)" has alpha3 "add ALPHA<03> 0x16"
run status 3 status ALPHA
check "node status of ALPHA answers" has status "status 0x00"
check "node status lists ALPHA as unique" has status "name ALPHA<03> UNIQUE"
check "node status lists the stack's own name" has status "name HOTEL<00> UNIQUE"
if command -v nmblookup >/dev/null; then
    in_ns 3 nmblookup -B 198.18.0.255 'ALPHA#03' >"$work/nmbq" 2>&1
    check "nmblookup resolves ALPHA#03" has nmbq "198.18.0.1 ALPHA<03>"
    in_ns 3 nmblookup -A 198.18.0.1 >"$work/nmbs" 2>&1
    check "nmblookup -A lists ALPHA" has nmbs "ALPHA.*<03> -.*<ACTIVE>"
else
    echo "note: nmblookup not installed (samba-common-bin); interop checks left out"
fi
stop_all

echo "== session"
check "station 2 listens on BRAVO" start listen 2 listen BRAVO --hold 30
run call 3 call BRAVO hello --from CHARLIE
check "the call is answered" has call "call 0x00"
check "the listener got the message" has listen "recv 0x00 hello"
check "the caller got the reply" has call "recv 0x00 reply:hello"
run nocall 3 call NOBODY hello --from ECHO
check "a call to an unknown name fails with 0x14" has nocall "call 0x14"
check "the listener saw the hang-up (0x0A)" wait_for listen "recv 0x0A"
stop_all
check "station 2 listens on BRAVO with a 4-byte buffer" start listen2 2 listen BRAVO --hold 30 --recv-size 4
run call2 3 call BRAVO "a longer message" --from CHARLIE
check "a long message comes in pieces (0x06)" has listen2 "recv 0x06 (part)"
check "the pieces make the whole message" has listen2 "recv 0x00 a longer message"
check "the whole message went back" has call2 "recv 0x00 reply:a longer message"
stop_all

echo "== group datagram"
check "station 1 joins TEAM" start team1 1 dgram-recv 'TEAM#00' --group --hold 20
check "station 2 joins TEAM" start team2 2 dgram-recv 'TEAM#00' --group --hold 20
run send 3 dgram-send 'DELTA#00' 'TEAM#00' "to all"
check "the datagram was sent" has send "dgram-send 0x00"
check "member 1 received it" wait_for team1 "dgram 0x00 from DELTA<00>: to all"
check "member 2 received it" wait_for team2 "dgram 0x00 from DELTA<00>: to all"
stop_all

echo "== datagram to a unique name"
check "station 1 waits on ECHO" start echo 1 dgram-recv ECHO --hold 20
run direct 2 dgram-send FOX ECHO direct
check "the direct datagram was sent" has direct "dgram-send 0x00"
check "ECHO received it" wait_for echo "dgram 0x00 from FOX<03>: direct"
stop_all

echo "== datagrams back to back (backlog)"
check "station 1 waits on KILO, re-posting 1 s after each datagram" \
    start kilo 1 dgram-recv KILO --hold 20 --count 3 --pause 1000
run burst 2 dgram-send LIMA KILO part --count 3
check "three datagrams were sent" test "$(grep -c 'dgram-send 0x00' "$work/burst")" -eq 3
for part in 1 2 3; do
    check "KILO received part $part" wait_for kilo "dgram 0x00 from LIMA<03>: part $part"
done
stop_all

echo "== mailslot write into the local MESSNGR mailslot"
check "station 1 serves the mailslots of MIKE" start mike 1 mailslot-serve MIKE --hold 30 --count 3
run slot 2 mailslot-write NOVEMBER MIKE hello
check "the write went out" has slot "mailslot-write ok"
check "MIKE's local mailslot got it" wait_for mike "mailslot from NOVEMBER to MIKE: hello"
run slot2 3 mailslot-write OSCAR MIKE part --count 2
check "two writes back to back went out" test "$(grep -c 'mailslot-write ok' "$work/slot2")" -eq 2
check "the first reached the mailslot" wait_for mike "mailslot from OSCAR to MIKE: part 1"
check "the second reached the mailslot" wait_for mike "mailslot from OSCAR to MIKE: part 2"
run slot3 2 mailslot-write NOVEMBER NOBODY lost
check "a write to a name nobody holds still goes out (datagrams are not confirmed)" \
    has slot3 "mailslot-write ok"
stop_all
check "MIKE got nothing else" test "$(grep -c '^mailslot from' "$work/mike")" -eq 3

echo "== moved ports (CORVANE_NBT_PORTS)"
export CORVANE_NBT_PORTS=10137,10138,10139
check "station 1 registers GOLF on moved ports" start golf 1 register GOLF --hold 20
run golf2 2 register GOLF
check "the defence works on moved ports" has golf2 "add GOLF<03> 0x16"
run golfstatus 3 status GOLF
check "node status works on moved ports" has golfstatus "name GOLF<03> UNIQUE"
unset CORVANE_NBT_PORTS
stop_all

netns_finish
