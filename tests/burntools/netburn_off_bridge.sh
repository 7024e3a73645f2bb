# One of three ports is taken off the bridge: it reads 0 percent, the other
# two get each other's frames only (half of what they should), and the pass
# fails at the first status line with every port's result.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
nb_can_run || exit $SKIP
trap 'nb_cleanup; rm -rf "$WORK"' EXIT
nb_setup 3 || { fail "namespace setup"; finish; }
ip -n "$NB_SWITCH" link set s2 nomaster
NETBURN_PASS_SECONDS=20 timeout 60 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$WORK/out" 2>&1
rc=$?
expect_rc netburn 4 $rc
nb_expect_agrees "$WORK/out" $rc
[ "$(pct_last "$WORK/out" p2)" = 0 ] || fail "p2: $(pct_last "$WORK/out" p2) percent"
[ "$(pct_last "$WORK/out" p0)" = 50 ] || fail "p0: $(pct_last "$WORK/out" p0) percent"
[ "$(pct_last "$WORK/out" p1)" = 50 ] || fail "p1: $(pct_last "$WORK/out" p1) percent"
[ "$(grep -c '^@' "$WORK/out")" -le 2 ] || fail "the pass went on after a port read 0 percent"
expect_line "$WORK/out" '^Port p2: received 0 of [0-9]+ frames \(0%\); none from p0, p1\.$'
expect_line "$WORK/out" '^Port p0: received [0-9]+ of [0-9]+ frames \(50%\); none from p2\.$'
tail -1 "$WORK/out" | grep -q '^Pass failed: below 90%: p0 50%, p1 50%, p2 0%\.$' ||
  fail "last line: $(tail -1 "$WORK/out")"
grep -v '^@' "$WORK/out"
finish
