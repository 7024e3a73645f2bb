# The environment: RUNDIAGS_PASS numbers the first line, NETBURN_RATE caps
# the frames a port sends per second, and a bad value is a usage error
# (status 1) that names the variable.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
nb_can_run || exit $SKIP
trap 'nb_cleanup; rm -rf "$WORK"' EXIT
nb_setup 2 || { fail "namespace setup"; finish; }
nb() { timeout 60 ip netns exec "$NB_HOST" "$NETBURN" "$@"; }

# First line of every run, a usage error too; anything but a positive number is pass 1.
for v in "12=12" "007=7" "=1" "0=1" "x=1" "-3=1" "+4=1" "3.5=1" "99999999999999999999=1"; do
  RUNDIAGS_PASS=${v%=*} nb >"$WORK/usage" 2>&1
  expect_rc "usage" 1 $?
  head -1 "$WORK/usage" | grep -Eq "^Pass ${v#*=} started [0-9-]{10} [0-9:]{8} UTC\.$" ||
    fail "RUNDIAGS_PASS=\"${v%=*}\": $(head -1 "$WORK/usage")"
done
(unset RUNDIAGS_PASS; nb >"$WORK/unset" 2>&1)
head -1 "$WORK/unset" | grep -q '^Pass 1 started ' || fail "unset: $(head -1 "$WORK/unset")"

for v in 0 -5 abc 1.5 " 10" "10 " 0x10 99999999999999999999999; do
  NETBURN_RATE=$v nb -1 >"$WORK/rate" 2>&1
  expect_rc "NETBURN_RATE=\"$v\"" 1 $?
  expect_line "$WORK/rate" "^NETBURN_RATE must be a whole number of frames per second above 0, not \"$v\"\.$"
  if grep -q '^Testing' "$WORK/rate"; then fail "NETBURN_RATE=\"$v\": ports touched"; fi
done
NETBURN_PASS_SECONDS=-1 nb -1 >"$WORK/secs" 2>&1
expect_rc "NETBURN_PASS_SECONDS=-1" 1 $?

# 500 frames/s while a port has its turn, and one port sends at a time:
# about 1000 frames in 2 s, whatever the ports could do.
before=$(nb_sent_total)
NETBURN_RATE=500 NETBURN_PASS_SECONDS=2 nb -1 >"$WORK/paced" 2>&1
expect_rc "NETBURN_RATE=500" 0 $?
sent=$(($(nb_sent_total) - before))
[ "$sent" -ge 600 ] && [ "$sent" -le 1200 ] || fail "NETBURN_RATE=500: $sent frames in 2 s"
expect_line "$WORK/paced" '^Sending for 2 s: 1514-byte frames .*, at most 500 frames/s per port\.$'
[ "$(pct_min "$WORK/paced")" = 100 ] || fail "paced: a status line read $(pct_min "$WORK/paced") percent"
[ "$(grep -c '^@' "$WORK/paced")" -ge 6 ] || fail "paced: too few status lines"
NETBURN_RATE= NETBURN_PASS_SECONDS=1 nb -1 >"$WORK/empty" 2>&1
expect_rc "NETBURN_RATE empty" 0 $?
grep -v '^@' "$WORK/paced"
echo "NETBURN_RATE=500: $sent frames sent in a 2 s pass"
finish
