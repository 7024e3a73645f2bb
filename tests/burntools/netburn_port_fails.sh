# Links that fail: a port taken down, a cable pulled (the switch side goes
# down), a link that drops for a moment, a port with no link at all, and
# two ports that share a hardware address.
# Each fails the pass with status 4, naming the port; a pass that ran
# ends with every port's result line.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
nb_can_run || exit $SKIP
trap 'nb_cleanup; rm -rf "$WORK"' EXIT

# disrupt NAME COMMAND...: runs COMMAND once status lines flow, then expects
# the run to end within 3 s with a failed pass.
disrupt() {
  local name=$1 out="$WORK/$1" pid rc
  shift
  nb_cleanup
  NB_PIDS=()
  nb_setup 3 || { fail "$name: namespace setup"; return; }
  NETBURN_PASS_SECONDS=20 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$out" 2>&1 &
  pid=$!
  NB_PIDS+=("$pid")
  for _ in $(seq 50); do grep -q '^@' "$out" && break; sleep 0.1; done
  "$@"
  for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "$name: still running 3 s later"
  wait "$pid"
  rc=$?
  expect_rc "$name" 4 $rc
  nb_expect_agrees "$out" $rc
  for p in p0 p1 p2; do expect_line "$out" "^Port $p: received [0-9]+ of [0-9]+ frames \([0-9]+%\)"; done
  grep -v '^@' "$out"
}

disrupt down ip -n "$NB_HOST" link set p1 down
expect_line "$WORK/down" '^Port p1: link lost; '
tail -1 "$WORK/down" | grep -q '^Pass failed: p1 lost its link' || fail "last line: $(tail -1 "$WORK/down")"

disrupt cable ip -n "$NB_SWITCH" link set s1 down
expect_line "$WORK/cable" '^Port p1: link lost; check its cable and the switch port\.$'
tail -1 "$WORK/cable" | grep -q '^Pass failed: p1 lost its link' || fail "last line: $(tail -1 "$WORK/cable")"

flap() { ip -n "$NB_SWITCH" link set s2 down && ip -n "$NB_SWITCH" link set s2 up; }
disrupt flap flap
expect_line "$WORK/flap" '^Port p2: link lost; check its cable and the switch port\.$'

# No link from the start: nothing is sent, the message names the cable.
nb_cleanup
NB_PIDS=()
nb_setup 3 || { fail "namespace setup"; finish; }
ip -n "$NB_SWITCH" link set s2 down
NETBURN_PASS_SECONDS=20 timeout 30 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$WORK/nolink" 2>&1
expect_rc "no link" 4 $?
expect_line "$WORK/nolink" '^Port p0: link up, 10000 Mb/s, full duplex\.$'
expect_line "$WORK/nolink" '^Port p2: no link; check its cable and the switch port\.$'
tail -1 "$WORK/nolink" | grep -q '^Pass failed: no link on p2; nothing was sent\.$' ||
  fail "last line: $(tail -1 "$WORK/nolink")"
if grep -q '^@' "$WORK/nolink"; then fail "status lines without a pass"; fi
cat "$WORK/nolink"

# Two ports with one hardware address: the switch cannot keep them apart.
ip -n "$NB_SWITCH" link set s2 up
mac=$(ip netns exec "$NB_HOST" cat /sys/class/net/p0/address)
ip -n "$NB_HOST" link set p1 address "$mac"
NETBURN_PASS_SECONDS=2 timeout 30 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$WORK/twin" 2>&1
rc=$?
expect_rc "one address twice" 4 $rc
nb_expect_agrees "$WORK/twin" $rc
expect_line "$WORK/twin" '^Port p1: same hardware address as p0; a switch cannot tell them apart\.$'
grep -v '^@' "$WORK/twin"
finish
