# SIGTERM to the process group in the middle of a long pass: out at once, status 0.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
nb_can_run || exit $SKIP
trap 'nb_cleanup; rm -rf "$WORK"' EXIT
nb_setup 2 || { fail "namespace setup"; finish; }
NETBURN_PASS_SECONDS=60 setsid ip netns exec "$NB_HOST" "$NETBURN" -1 >"$WORK/out" 2>&1 &
pid=$!
NB_PIDS+=("$pid")
for _ in $(seq 50); do grep -q '^@' "$WORK/out" && break; sleep 0.1; done
grep -q '^@' "$WORK/out" || fail "no status line within 5 s"
start=$(date +%s%N)
kill -TERM -- "-$pid"
wait "$pid"
rc=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
expect_rc netburn 0 $rc
[ "$ms" -lt 1000 ] || fail "took $ms ms to stop"
tail -1 "$WORK/out" | grep -q '^Stopped\.$' || fail "last line: $(tail -1 "$WORK/out")"
echo "stopped in $ms ms"
finish
