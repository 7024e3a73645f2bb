# A switch port that loses frames: 1 in 8 lost reads 87 percent, which the
# program shows as BAD, so the pass fails (with every port's result line);
# 1 in 16 lost reads 93 percent and passes.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
nb_can_run || exit $SKIP
trap 'nb_cleanup; rm -rf "$WORK"' EXIT

run_lossy() {  # run_lossy EVERY OUT
  nb_cleanup
  NB_PIDS=()
  nb_setup 3 || return 1
  nb_drop_every 1 "$1" || { echo "SKIP: tc u32 and mirred unavailable"; exit $SKIP; }
  NETBURN_PASS_SECONDS=2 timeout 60 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$2" 2>&1
}

run_lossy 8 "$WORK/bad"
rc=$?
expect_rc "1 in 8 lost" 4 $rc
nb_expect_agrees "$WORK/bad" $rc
expect_line "$WORK/bad" '^Port p1: received [0-9]+ of [0-9]+ frames \(87%\); missing [0-9]+ from p0, [0-9]+ from p2\.$'
expect_line "$WORK/bad" '^Port p0: received ([0-9]+) of \1 frames \(100%\)\.$'
expect_line "$WORK/bad" '^Port p2: received ([0-9]+) of \1 frames \(100%\)\.$'
tail -1 "$WORK/bad" | grep -q '^Pass failed: below 90%: p1 87%; p0 to p1: 87% received; p2 to p1: 87% received\.$' || fail "last line: $(tail -1 "$WORK/bad")"
grep -v '^@' "$WORK/bad"

run_lossy 16 "$WORK/fair"
rc=$?
expect_rc "1 in 16 lost" 0 $rc
[ "$(pct_last "$WORK/fair" p1)" = 93 ] || fail "p1: $(pct_last "$WORK/fair" p1) percent"
nb_expect_agrees "$WORK/fair" $rc
tail -1 "$WORK/fair" | grep -q '^Pass complete: all ports 93% or better; ' || fail "last line: $(tail -1 "$WORK/fair")"
finish
