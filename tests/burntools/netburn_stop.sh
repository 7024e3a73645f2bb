# SIGTERM in every state of a run: waiting for links, warming up, in the
# middle of the pass, and with the output blocked on a full pipe that nobody
# reads.  The frames stop within 1 s of the signal (measured on the ports'
# own counters), the run ends with status 0 and a last line that begins
# "Stopped", and a pass that was under way reports each port's counts.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
nb_can_run || exit $SKIP
trap 'nb_cleanup; rm -rf "$WORK"' EXIT

fresh() {  # fresh NPORTS [down]
  nb_cleanup
  NB_PIDS=()
  nb_setup "$@" || { fail "namespace setup"; finish; }
  nb_watch_sent "$WORK/sent.$STATE"
}
flowing() { awk -v t="$1" '$1 > t - 300000 && $1 <= t { n++ } END { exit n < 2 }' "$WORK/sent.$STATE"; }

# stop PID: SIGTERM to netburn; sets LAST_FRAME_MS (signal to its last frame)
# and EXIT_MS (signal to its end; blank if it is still blocked).
stop() {
  local pid=$1 t0
  t0=$(nb_now_us)
  flowing "$t0" || WARM=no
  kill -TERM "$pid"
  EXIT_MS=
  for _ in $(seq 150); do
    kill -0 "$pid" 2>/dev/null || { EXIT_MS=$((($(nb_now_us) - t0) / 1000)); break; }
    [ -n "${2:-}" ] && [ $((($(nb_now_us) - t0) / 1000)) -ge "$2" ] && break
    sleep 0.01
  done
  sleep 0.3
  LAST_FRAME_MS=$(nb_sent_after "$WORK/sent.$STATE" "$t0")
}

check() {  # check OUT RC LASTLINE
  expect_rc "$STATE" 0 "$2"
  [ "${LAST_FRAME_MS:-0}" -lt 1000 ] || fail "$STATE: frames went on for $LAST_FRAME_MS ms"
  tail -1 "$1" | grep -Eq "$3" || fail "$STATE: last line: $(tail -1 "$1")"
  echo "$STATE: last frame ${LAST_FRAME_MS} ms after SIGTERM, exit after ${EXIT_MS:-?} ms"
}

STATE=linkwait
fresh 2 down
ip -n "$NB_SWITCH" link set s1 down
NETBURN_PASS_SECONDS=60 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$WORK/out.$STATE" 2>&1 &
pid=$!
NB_PIDS+=("$pid")
for _ in $(seq 50); do grep -q '^Bringing ports up' "$WORK/out.$STATE" && break; sleep 0.1; done
sleep 0.3
stop "$pid"
wait "$pid"
check "$WORK/out.$STATE" $? '^Stopped before the traffic started\.$'
[ -n "$EXIT_MS" ] && [ "$EXIT_MS" -lt 1000 ] || fail "$STATE: ended after ${EXIT_MS:-more than 1500} ms"

STATE=warmup
fresh 3 down
ip -n "$NB_SWITCH" link set s2 nomaster   # p2 hears nobody: the warm-up waits
NETBURN_PASS_SECONDS=60 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$WORK/out.$STATE" 2>&1 &
pid=$!
NB_PIDS+=("$pid")
sleep 2
WARM=yes
stop "$pid"
wait "$pid"
check "$WORK/out.$STATE" $? '^Stopped before the traffic started\.$'
[ "$WARM" = yes ] || fail "$STATE: no warm-up frames before the signal"

STATE=pass
fresh 3
NETBURN_PASS_SECONDS=60 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$WORK/out.$STATE" 2>&1 &
pid=$!
NB_PIDS+=("$pid")
for _ in $(seq 50); do grep -q '^@' "$WORK/out.$STATE" && break; sleep 0.1; done
WARM=yes
stop "$pid"
wait "$pid"
check "$WORK/out.$STATE" $? '^Stopped after [0-9.]+ of 60 s: [0-9]+ frames sent, [0-9]+ received\.$'
[ "$WARM" = yes ] || fail "$STATE: no traffic before the signal"
[ -n "$EXIT_MS" ] && [ "$EXIT_MS" -lt 1000 ] || fail "$STATE: ended after ${EXIT_MS:-more than 1500} ms"
for p in p0 p1 p2; do expect_line "$WORK/out.$STATE" "^Port $p: received ([0-9]+) of \1 frames \(100%\)\.$"; done

# The reader leaves the pipe full for 5 s; the signal comes 1.5 s in.
STATE=blocked
fresh 3
NETBURN_PASS_SECONDS=60 ip netns exec "$NB_HOST" "$STALL_PIPE" 5 "$NETBURN" -1 >"$WORK/out.$STATE" 2>&1 &
spid=$!
NB_PIDS+=("$spid")
sleep 1.5
pid=$(pgrep -P "$spid")
[ -n "$pid" ] || { fail "$STATE: no netburn under stall_pipe"; finish; }
WARM=yes
stop "$pid" 1500
[ -z "$EXIT_MS" ] || fail "$STATE: netburn ended after $EXIT_MS ms with its output blocked"
wait "$spid"
check "$WORK/out.$STATE" $? '^Stopped after [0-9.]+ of 60 s: '
[ "$WARM" = yes ] || fail "$STATE: no traffic before the signal"
expect_line "$WORK/out.$STATE" '^Port p0: received [0-9]+ of [0-9]+ frames \(100%\)\.$'
grep -v '^@' "$WORK/out.$STATE"
finish
