# Three ports on one bridge, left down: netburn raises them, every port gets
# every frame meant for it (100 percent, on every status line too), and the
# frames are unicast: the switch delivers each frame once, to its port only.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
nb_can_run || exit $SKIP
trap 'nb_cleanup; rm -rf "$WORK"' EXIT
nb_setup 3 down || { fail "namespace setup"; finish; }
switch_tx() { ip netns exec "$NB_SWITCH" sh -c 'cat /sys/class/net/s*/statistics/tx_packets' | awk '{t+=$1} END{print t+0}'; }
sent0=$(nb_sent_total); delivered0=$(switch_tx)
RUNDIAGS_PASS=7 NETBURN_PASS_SECONDS=3 timeout 60 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$WORK/out" 2>&1
rc=$?
expect_rc netburn 0 $rc
head -1 "$WORK/out" | grep -Eq '^Pass 7 started [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} UTC\.$' ||
  fail "first line: $(head -1 "$WORK/out")"
for p in p0 p1 p2; do
  expect_line "$WORK/out" "^Port $p: link up, 10000 Mb/s, full duplex\.$"
  expect_line "$WORK/out" "^Port $p: received ([0-9]+) of \1 frames \(100%\)\.$"
  [ "$(pct_last "$WORK/out" $p)" = 100 ] || fail "$p: $(pct_last "$WORK/out" $p) percent at the end"
  ip netns exec "$NB_HOST" cat /sys/class/net/$p/operstate | grep -q up || fail "$p not up"
done
[ "$(pct_min "$WORK/out")" = 100 ] || fail "a status line read $(pct_min "$WORK/out") percent"
[ "$(grep -c '^@' "$WORK/out")" -ge 8 ] || fail "too few status lines for a 3-second pass"
if grep -q 'meant for other ports' "$WORK/out"; then fail "the switch flooded test frames"; fi
# Broadcast would reach both other ports: twice as many frames delivered as sent.
sent=$(($(nb_sent_total) - sent0)); delivered=$(($(switch_tx) - delivered0))
[ "$delivered" -le $((sent + sent / 50 + 20)) ] || fail "$sent frames sent, $delivered delivered"
expect_no_leading_blank "$WORK/out"
tail -1 "$WORK/out" | grep -Eq '^Pass complete: all ports 100%; ([0-9]+) frames sent, \1 received in ' ||
  fail "last line: $(tail -1 "$WORK/out")"
grep -v '^@' "$WORK/out"
echo "frames sent $sent, delivered by the switch $delivered"
finish
