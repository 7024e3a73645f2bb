# SIGTERM to the process group in the middle of a pass: out at once, status 0.
. "$BURN_LIB/burn_lib.sh"
trap 'rm -rf "$WORK"' EXIT
truncate -s 256M "$WORK/a.img"
DISKBURN_TEST_DELAY_MS=100 DISKBURN_TARGETS="$WORK/a.img" setsid "$DISKBURN_HOOKS" --destroy >"$WORK/out" 2>&1 &
pid=$!
for _ in $(seq 50); do grep -q '^Pass ' "$WORK/out" && break; sleep 0.1; done
start=$(date +%s%N)
kill -TERM -- "-$pid"
wait "$pid"
rc=$?
ms=$(( ($(date +%s%N) - start) / 1000000 ))
expect_rc diskburn 0 $rc
[ "$ms" -lt 1000 ] || fail "took $ms ms to stop"
tail -1 "$WORK/out" | grep -Eq '^Stopped in pass 1 at [0-9]+%: no pass completed, nothing verified yet\.$' || fail "last line: $(tail -1 "$WORK/out")"
echo "stopped in $ms ms"
finish
