#!/usr/bin/env bash
# Test network: N namespaces SET-ns1..N, each with one veth SET-h<i> on the
# bridge SET-br0 and the address 198.18.0.<i>/24 (a benchmarking range that
# is never routed). SET is $CORVANE_NETNS (default "corvane"): suites with
# different sets have networks of their own and may run at the same time.
# Needs root.
# Usage: scripts/netns.sh up N | down
set -euo pipefail

set_name=${CORVANE_NETNS:-corvane}
# Interface names have at most 15 characters: SET-br0, SET-h9.
if [[ ! $set_name =~ ^[a-z][a-z0-9]{0,9}$ ]]; then
    echo "netns.sh: CORVANE_NETNS must be 1-10 lower-case letters or digits, first a letter" >&2
    exit 2
fi
bridge=$set_name-br0
prefix=198.18.0

down() {
    for ns in $(ip netns list 2>/dev/null | awk -v set="$set_name" '$1 ~ "^" set "-ns[0-9]+$" {print $1}'); do
        ip netns delete "$ns" 2>/dev/null || true
    done
    for link in $(ip -o link show 2>/dev/null | awk -F': ' '{print $2}' | cut -d@ -f1 | grep -E "^$set_name-h[0-9]+$" || true); do
        ip link delete "$link" 2>/dev/null || true
    done
    ip link delete "$bridge" 2>/dev/null || true
}

up() {
    local count=$1
    if ((count < 1 || count > 9)); then
        echo "netns.sh: between 1 and 9 namespaces" >&2
        exit 2
    fi
    down
    ip link add "$bridge" type bridge
    ip link set "$bridge" up
    for ((i = 1; i <= count; i++)); do
        local ns=$set_name-ns$i
        ip netns add "$ns"
        ip link add "$set_name-h$i" type veth peer name eth0 netns "$ns"
        ip link set "$set_name-h$i" master "$bridge" up
        ip -n "$ns" addr add "$prefix.$i/24" broadcast + dev eth0
        ip -n "$ns" link set eth0 up
        ip -n "$ns" link set lo up
    done
    # Wait until every veth carries traffic.
    for ((i = 1; i <= count; i++)); do
        for _ in $(seq 50); do
            ip -n "$set_name-ns$i" -o link show eth0 | grep -q "LOWER_UP" && break
            sleep 0.1
        done
    done
}

case "${1:-}" in
    up) up "${2:-2}" ;;
    down) down ;;
    *)
        echo "usage: $0 up N | down" >&2
        exit 2
        ;;
esac
