# A port that goes down in the middle of the pass fails the run.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
nb_can_run || exit $SKIP
trap 'nb_cleanup; rm -rf "$WORK"' EXIT
nb_setup 3 || { fail "namespace setup"; finish; }
NETBURN_PASS_SECONDS=20 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$WORK/out" 2>&1 &
pid=$!
NB_PIDS+=("$pid")
for _ in $(seq 50); do grep -q '^@' "$WORK/out" && break; sleep 0.1; done
ip -n "$NB_HOST" link set p1 down
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "still running 5 s after p1 went down"
wait "$pid"
expect_rc netburn 4 $?
expect_line "$WORK/out" '^Port p1 failed: '
grep -v '^@' "$WORK/out"
finish
