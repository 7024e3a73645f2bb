# A mirrored switch port hands p1 a second copy of everything p0 sends.
# Copies are counted once and reported: p1 never reads above 100 percent,
# the pass fails naming p1 (what it counts says nothing of its cable), and
# when the switch loses all p2 sends, p1 hears half its peers and reads 50,
# not 100.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
nb_can_run || exit $SKIP
trap 'nb_cleanup; rm -rf "$WORK"' EXIT

nb_setup 3 || { fail "namespace setup"; finish; }
nb_mirror 0 1 || { echo "SKIP: tc u32 and mirred unavailable"; exit $SKIP; }
NETBURN_PASS_SECONDS=2 timeout 60 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$WORK/all" 2>&1
expect_rc "mirrored" 4 $?
[ "$(pct_last "$WORK/all" p1)" = 100 ] || fail "p1: $(pct_last "$WORK/all" p1) percent"
awk '/^@/{ n = split($0, f, /[ =]+/); for (i = 3; i <= n; i += 2) if (f[i] + 0 > substr(f[1], 2) + 0) bad = 1 }
  END { exit bad }' "$WORK/all" || fail "a status line counted more frames than were sent"
expect_line "$WORK/all" '^Port p1: [0-9]+ repeated frames, not counted \(a looped or mirrored switch port\?\)\.$'
expect_line "$WORK/all" '^Pass failed: p1 received repeated frames\.$'
grep -v '^@' "$WORK/all"

nb_drop_from 2 1
NETBURN_PASS_SECONDS=2 timeout 60 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$WORK/half" 2>&1
rc=$?
expect_rc "mirrored, p2 lost" 4 $rc
nb_expect_agrees "$WORK/half" $rc
[ "$(pct_last "$WORK/half" p1)" = 50 ] || fail "p1: $(pct_last "$WORK/half" p1) percent"
expect_line "$WORK/half" '^Port p1: received [0-9]+ of [0-9]+ frames \(50%\); none from p2\.$'
grep -v '^@' "$WORK/half"
finish
