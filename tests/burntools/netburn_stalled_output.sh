# Nobody reads netburn's output for a while (an operator question is open):
# its writes block, but the traffic and the counting must go on, so no
# status line may show a false low percentage and the pass ends on time.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
nb_can_run || exit $SKIP
trap 'nb_cleanup; rm -rf "$WORK"' EXIT
nb_setup 3 || { fail "namespace setup"; finish; }
start=$(date +%s)
NETBURN_PASS_SECONDS=3 timeout 60 ip netns exec "$NB_HOST" "$STALL_PIPE" 6 "$NETBURN" -1 >"$WORK/out" 2>&1
expect_rc netburn 0 $?
took=$(( $(date +%s) - start ))
[ "$took" -le 8 ] || fail "took $took s"
for p in p0 p1 p2; do
  [ "$(pct_last "$WORK/out" $p)" = 100 ] || fail "$p: $(pct_last "$WORK/out" $p) percent at the end"
done
[ "$(pct_min "$WORK/out")" = 100 ] || fail "a status line read $(pct_min "$WORK/out") percent"
expect_line "$WORK/out" '^Pass complete: '
grep -v '^@' "$WORK/out"
finish
