#!/usr/bin/env bash
# A rack's network in two network namespaces of its own, for the rack test
# and for trying a rack of emulated servers by hand (docs/rack.md): NAME-sw
# is the switch (bridge br0 with TAPS taps tap0, tap1, ... for the emulated
# servers' ports, default 2; QEMU runs there), NAME-col the collector (port
# c0 at 10.77.0.1/24, cabled to br0, where scripts/rack-server runs).
# Nothing else is connected: no frame leaves the two namespaces.
#   rack_net.sh up NAME [TAPS] | down NAME
set -eu
sw=$2-sw col=$2-col taps=${3:-2}
case $1 in
  up)
    ip netns add "$sw"
    ip netns add "$col"
    for ns in "$sw" "$col"; do
      ip -n "$ns" link set lo up
      ip netns exec "$ns" sh -c 'for f in /proc/sys/net/ipv6/conf/*/disable_ipv6; do echo 1 >"$f"; done'
    done
    # No spanning tree: a port forwards as soon as it comes up.
    ip -n "$sw" link add br0 type bridge stp_state 0
    ip -n "$sw" link set br0 up
    for ((i = 0; i < taps; i++)); do
      t=tap$i
      ip -n "$sw" tuntap add dev "$t" mode tap
      ip -n "$sw" link set "$t" master br0 up
    done
    ip -n "$sw" link add s-col type veth peer name c0 netns "$col"
    ip -n "$sw" link set s-col master br0 up
    ip netns exec "$col" sh -c 'echo 1 >/proc/sys/net/ipv6/conf/c0/disable_ipv6'
    ip -n "$col" addr add 10.77.0.1/24 dev c0
    ip -n "$col" link set c0 up
    ;;
  down)
    ip netns del "$sw" 2>/dev/null || true
    ip netns del "$col" 2>/dev/null || true
    ;;
  *) echo "usage: $0 up NAME [TAPS] | down NAME" >&2; exit 2 ;;
esac
