# Shared by the netburn tests and benchmarks: builds a throw-away "machine"
# network namespace whose ports are veth ends, wired to a Linux bridge in a
# second "switch" namespace.  Nothing outside these two namespaces is touched.
#
#   nb_setup NPORTS [down]   creates $NB_HOST and $NB_SWITCH (ports p0.., switch
#                            ports s0.. on bridge br0); "down" leaves p* down
#   nb_cleanup               kills what nb_run started and deletes both
#                            namespaces (also on failure: call it from a trap)

NB_HOST="nbh-$$-$RANDOM"
NB_SWITCH="nbs-$$-$RANDOM"
NB_PIDS=()

nb_can_run() {
  [ "$(id -u)" = 0 ] || { echo "SKIP: needs root"; return 1; }
  command -v ip >/dev/null || { echo "SKIP: needs ip (iproute2)"; return 1; }
  local probe="nbprobe-$$-$RANDOM"
  ip netns add "$probe" 2>/dev/null || { echo "SKIP: network namespaces unavailable"; return 1; }
  ip netns del "$probe"
}

nb_setup() {
  local n=$1 state=${2:-up} i
  ip netns add "$NB_HOST" || return 1
  ip netns add "$NB_SWITCH" || return 1
  ip -n "$NB_SWITCH" link add br0 type bridge || return 1
  ip -n "$NB_SWITCH" link set br0 up || return 1
  ip -n "$NB_SWITCH" link set lo up
  for ((i = 0; i < n; i++)); do
    ip -n "$NB_HOST" link add "p$i" type veth peer name "s$i" netns "$NB_SWITCH" || return 1
    ip -n "$NB_SWITCH" link set "s$i" master br0 || return 1
    ip -n "$NB_SWITCH" link set "s$i" up || return 1
    if [ "$state" = up ]; then ip -n "$NB_HOST" link set "p$i" up || return 1; fi
  done
  # Keep the kernel's own chatter (IPv6 solicitations) off the test ports.
  ip netns exec "$NB_HOST" sh -c 'for f in /proc/sys/net/ipv6/conf/*/disable_ipv6; do echo 1 > $f; done' 2>/dev/null
  return 0
}

nb_cleanup() {
  local pid
  for pid in "${NB_PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  for pid in "${NB_PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  ip netns del "$NB_HOST" 2>/dev/null
  ip netns del "$NB_SWITCH" 2>/dev/null
  return 0
}
