# One of three ports is taken off the bridge: it reads 0 percent; the other
# two see each other's frames only (half of what the others sent).
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
nb_can_run || exit $SKIP
trap 'nb_cleanup; rm -rf "$WORK"' EXIT
nb_setup 3 || { fail "namespace setup"; finish; }
ip -n "$NB_SWITCH" link set s2 nomaster
NETBURN_PASS_SECONDS=2 timeout 60 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$WORK/out" 2>&1
expect_rc netburn 0 $?
[ "$(pct_last "$WORK/out" p2)" = 0 ] || fail "p2: $(pct_last "$WORK/out" p2) percent"
[ "$(pct_last "$WORK/out" p0)" = 50 ] || fail "p0: $(pct_last "$WORK/out" p0) percent"
[ "$(pct_last "$WORK/out" p1)" = 50 ] || fail "p1: $(pct_last "$WORK/out" p1) percent"
expect_line "$WORK/out" '^Port p2: received 0 of [0-9]+ frames \(0%\); none from p0, p1\.$'
expect_line "$WORK/out" '^Port p0: received [0-9]+ of [0-9]+ frames \(50%\); none from p2\.$'
grep -v '^@' "$WORK/out"
finish
