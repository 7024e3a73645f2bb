# How the ports are cabled: back-to-back pairs, two switches of different
# sizes, a port on no switch, ports that hear each other only partly, a hub,
# and slow links (10 Mbit/s each way), where a sent frame waits in queues
# long after the send returned: no status line counts a round before its
# frames have arrived.  Ports that hear each other form groups, each tested all to all, and
# every status line reads the same for every healthy port; a port in no
# group, or two ports of one network that do not hear each other, fail the
# run before any test traffic, naming the port or the pair.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
nb_can_run || exit $SKIP
trap 'nb_cleanup; rm -rf "$WORK"' EXIT

pairs() { nb_cable 0 1 && nb_cable 2 3; }
switches() { nb_bridge br1 && nb_wire 0 br0 && nb_wire 1 br0 && for i in 2 3 4; do nb_wire $i br1 || return 1; done; }
lone() { nb_wire 0 br0 && nb_wire 1 br0 && nb_wire 2 br0 && ip -n "$NB_SWITCH" link set s2 nomaster; }
partly() {  # isolated bridge ports reach the others, not each other
  for i in 0 1 2; do nb_wire $i br0 || return 1; done
  ip netns exec "$NB_SWITCH" bridge link set dev s0 isolated on &&
    ip netns exec "$NB_SWITCH" bridge link set dev s2 isolated on
}
hub() { for i in 0 1 2 3; do nb_wire $i br0 || return 1; done; nb_hub; }
slow() { for i in 0 1 2 3; do nb_wire $i br0 && nb_shape $i 10mbit || return 1; done; }

# name | set-up | exit | lines that must be there (regexes, separated by ";;")
while IFS='|' read -r name setup want lines; do
  nb_cleanup
  NB_PIDS=()
  nb_setup 0 && $setup || { fail "$name: namespace setup"; continue; }
  out="$WORK/$name"
  NETBURN_PASS_SECONDS=2 timeout 60 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$out" 2>&1
  rc=$?
  expect_rc "$name" "$want" $rc
  nb_expect_agrees "$out" $rc
  mapfile -t res <<<"${lines//;;/$'\n'}"
  for re in "${res[@]}"; do expect_line "$out" "$re"; done
  if [ "$want" = 0 ]; then
    [ "$(pct_min "$out")" = 100 ] || fail "$name: a status line read $(pct_min "$out") percent"
  elif grep -q '^@' "$out"; then
    fail "$name: status lines without a pass"
  fi
  grep -v '^@' "$out"
done <<'TABLE'
pairs|pairs|0|^Group 1: p0 p1\.$;;^Group 2: p2 p3\.$;;^Pass complete: all ports 100% in 2 groups \(p0 p1; p2 p3\); 
switches|switches|0|^Group 1: p0 p1\.$;;^Group 2: p2 p3 p4\.$;;^Port p2: received ([0-9]+) of \1 frames \(100%\)\.$;;^Pass complete: all ports 100% in 2 groups \(p0 p1; p2 p3 p4\); 
lone|lone|4|^Port p2: no other port hears it, and it hears none; check its cable and the switch port\.$;;^Pass failed: p2 hears no other port\.$
partly|partly|4|^Ports p0 and p2: neither hears the other, though both are on one network with other ports; ;;^Pass failed: p0 and p2 do not hear each other\.$
slow|slow|0|^Port p3: received ([0-9]+) of \1 frames \(100%\)\.$;;^Pass complete: all ports 100%; 
hub|hub|0|^Port p0: [0-9]+ frames meant for other ports reached it \(flooded;;^Port p3: [0-9]+ frames meant for other ports reached it \(flooded;;^Pass complete: all ports 100%; 
TABLE
finish
