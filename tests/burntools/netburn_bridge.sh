# Three ports on one bridge, left down: netburn raises them, and every port
# sees every frame of the others (100 percent, on every status line too).
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
nb_can_run || exit $SKIP
trap 'nb_cleanup; rm -rf "$WORK"' EXIT
nb_setup 3 down || { fail "namespace setup"; finish; }
NETBURN_PASS_SECONDS=3 timeout 60 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$WORK/out" 2>&1
expect_rc netburn 0 $?
for p in p0 p1 p2; do
  expect_line "$WORK/out" "^Port $p: link up, 10000 Mb/s, full duplex\.$"
  [ "$(pct_last "$WORK/out" $p)" = 100 ] || fail "$p: $(pct_last "$WORK/out" $p) percent at the end"
  ip netns exec "$NB_HOST" cat /sys/class/net/$p/operstate | grep -q up || fail "$p not up"
done
[ "$(pct_min "$WORK/out")" = 100 ] || fail "a status line read $(pct_min "$WORK/out") percent"
[ "$(grep -c '^@' "$WORK/out")" -ge 8 ] || fail "too few status lines for a 3-second pass"
expect_line "$WORK/out" '^Pass complete: '
expect_no_leading_blank "$WORK/out"
tail -1 "$WORK/out" | grep -q '^Pass complete' || fail "last line: $(tail -1 "$WORK/out")"
grep -v '^@' "$WORK/out"
finish
