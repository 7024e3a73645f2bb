# Shared by the netburn tests and benchmarks: builds a throw-away "machine"
# network namespace whose ports are veth ends, wired to a Linux bridge in a
# second "switch" namespace.  Nothing outside these two namespaces is touched.
#
#   nb_setup NPORTS [down]   creates $NB_HOST and $NB_SWITCH (ports p0.., switch
#                            ports s0.. on bridge br0); "down" leaves p* down
#   nb_cleanup               kills what was put in NB_PIDS and deletes both
#                            namespaces (also on failure: call it from a trap)
#   nb_bridge NAME           another switch (bridge) in $NB_SWITCH
#   nb_wire PORT BRIDGE      adds pPORT, cabled to sPORT on BRIDGE
#   nb_cable A B             adds pA and pB, cabled to each other (no switch)
#   nb_hub [BRIDGE]          the bridge floods every frame to every port
#   nb_shape PORT RATE       pPORT's link runs at RATE (tc units: 10mbit), both ways
#   nb_drop_every PORT N     the switch loses 1 in N frames meant for pPORT
#   nb_drop_from PORT N      the switch loses 1 in N frames that pPORT sends
#   nb_damage PORT N         the switch damages 1 in N frames that pPORT sends
#                            (a relay in place of sPORT; needs $FRAME_RELAY)
#   nb_mirror FROM TO        the switch copies what pFROM sends to pTO too
# Lost and damaged frames are test frames, never warm-up frames (bit 0 of
# the 16-bit flags at payload offset 14): the ports still find each other.
#   nb_sent_total            frames the host's ports have sent so far
#   nb_watch_sent FILE       logs "<microseconds> <frames sent>" at each change

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
  ip -n "$NB_SWITCH" link set lo up
  # Keep the kernel's own chatter (IPv6 solicitations) off the test ports.
  ip netns exec "$NB_HOST" sh -c 'for f in /proc/sys/net/ipv6/conf/*/disable_ipv6; do echo 1 > $f; done' 2>/dev/null
  nb_bridge br0 || return 1
  for ((i = 0; i < n; i++)); do nb_wire "$i" br0 "$state" || return 1; done
}

nb_bridge() {
  ip -n "$NB_SWITCH" link add "$1" type bridge || return 1
  ip -n "$NB_SWITCH" link set "$1" up
}

nb_wire() {  # nb_wire PORT BRIDGE [down]
  ip -n "$NB_HOST" link add "p$1" type veth peer name "s$1" netns "$NB_SWITCH" || return 1
  ip -n "$NB_SWITCH" link set "s$1" master "$2" || return 1
  ip -n "$NB_SWITCH" link set "s$1" up || return 1
  [ "${3:-up}" != up ] || ip -n "$NB_HOST" link set "p$1" up
}

nb_cable() {
  ip -n "$NB_HOST" link add "p$1" type veth peer name "p$2" || return 1
  ip -n "$NB_HOST" link set "p$1" up && ip -n "$NB_HOST" link set "p$2" up
}

# Learning off: the bridge keeps no addresses and floods every frame.
nb_hub() { ip -n "$NB_SWITCH" link set "${1:-br0}" type bridge ageing_time 0; }

# Both directions of pPORT's link: what the port sends (its own queue) and
# what the switch sends it.
nb_shape() {
  ip netns exec "$NB_HOST" tc qdisc add dev "p$1" root tbf rate "$2" burst 16kb latency 100ms || return 1
  ip netns exec "$NB_SWITCH" tc qdisc add dev "s$1" root tbf rate "$2" burst 16kb latency 100ms
}

nb_cleanup() {
  local pid
  for pid in "${NB_PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  for pid in "${NB_PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  ip netns del "$NB_HOST" 2>/dev/null
  ip netns del "$NB_SWITCH" 2>/dev/null
  return 0
}

# The switch port sPORT loses every test frame whose sequence number (the
# 32-bit little-endian field at offset 16 of the payload) is a multiple of
# N, a power of two: 1 in N of what the others send pPORT (egress) or of
# what pPORT sends (ingress).  Lost frames go to a veth end that is down.
nb_lose() {  # nb_lose PORT N egress|ingress
  local port=$1 mask=$(($2 - 1))
  ip -n "$NB_SWITCH" link add name "sk$port$3" type veth peer name "sk$port${3}b" || return 1
  ip netns exec "$NB_SWITCH" tc qdisc replace dev "s$port" clsact || return 1
  ip netns exec "$NB_SWITCH" tc filter add dev "s$port" "$3" protocol all \
    u32 match u8 0 "$(printf 0x%x "$mask")" at 16 match u8 0 1 at 14 \
    action mirred egress redirect dev "sk$port$3"
}
nb_drop_every() { nb_lose "$1" "$2" egress; }
nb_drop_from() { nb_lose "$1" "$2" ingress; }

# sPORT leaves its bridge for a relay that passes frames between it and a
# new veth rPORT, whose other end takes sPORT's place on the bridge.
nb_damage() {
  local port=$1 br
  br=$(basename "$(ip netns exec "$NB_SWITCH" readlink "/sys/class/net/s$port/master")")
  ip -n "$NB_SWITCH" link set "s$port" nomaster || return 1
  ip -n "$NB_SWITCH" link add "r$port" type veth peer name "r${port}b" || return 1
  ip -n "$NB_SWITCH" link set "r${port}b" master "$br" || return 1
  ip -n "$NB_SWITCH" link set "r${port}b" up && ip -n "$NB_SWITCH" link set "r$port" up || return 1
  ip netns exec "$NB_SWITCH" "${FRAME_RELAY:?}" "s$port" "r$port" "$2" &
  NB_PIDS+=("$!")
}

# A mirrored switch port: every frame that comes in from pFROM also goes out to pTO.
nb_mirror() {
  ip netns exec "$NB_SWITCH" tc qdisc replace dev "s$1" clsact || return 1
  ip netns exec "$NB_SWITCH" tc filter add dev "s$1" ingress protocol all \
    u32 match u8 0 0 at 0 action mirred egress mirror dev "s$2"
}

nb_sent_total() {
  ip netns exec "$NB_HOST" sh -c 'cat /sys/class/net/p*/statistics/tx_packets' |
    awk '{ t += $1 } END { print t + 0 }'
}

# Samples the host ports' sent-frame counters every few milliseconds, in the
# background, until nb_cleanup; a line for each change.
nb_watch_sent() {
  ip netns exec "$NB_HOST" bash -c 'last=
    while :; do
      t=0
      for f in /sys/class/net/p*/statistics/tx_packets; do read -r v <"$f"; t=$((t + v)); done
      [ "$t" = "$last" ] || { echo "${EPOCHREALTIME/./} $t"; last=$t; }
      sleep 0.005
    done' >"$1" 2>/dev/null &
  NB_PIDS+=("$!")
}

# nb_sent_after FILE SINCE_US: milliseconds from SINCE_US to the last change
# the watcher saw (0 if none came after it).
nb_sent_after() {
  awk -v since="$2" '{ last = $1 } END { d = (last - since) / 1000; print (d > 0 ? int(d) : 0) }' "$1"
}

nb_now_us() { echo "${EPOCHREALTIME/./}"; }

# The screen and the verdict agree: a run whose status lines ever put a port
# below 90 percent ends with the port-failure status 4, and one that ended
# with 0 never did.  (Needs burn_lib.sh.)
nb_expect_agrees() {
  local low
  low=$(pct_min "$1")
  if [ "$low" != none ] && [ "$low" -lt 90 ] && [ "$2" != 4 ]; then
    fail "a status line read $low percent, yet the exit status is $2"
  fi
}
