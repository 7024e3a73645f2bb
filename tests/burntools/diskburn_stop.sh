# A stop (SIGTERM, SIGINT, SIGHUP) ends diskburn within a second in every
# state -- before its first write, writing, verifying, with its output
# flowing or blocked on a full pipe -- writes nothing new, and (when the
# line can go out) says how far the pass got.  The latencies are printed.
. "$BURN_LIB/burn_lib.sh"
trap 'rm -rf "$WORK"' EXIT
STALL="perl $BURN_LIB/diskburn_stall.pl"
IMG=$WORK/a.img
untouched() { cmp -s -n $((256 << 20)) "$IMG" /dev/zero; }

# stop STATE UNTIL FILL HOLD_MS SIG PROGRAM: runs one case into $WORK/STATE
stop() {
  local state=$1 ms rc
  rm -f "$IMG"
  truncate -s 256M "$IMG"
  ms=$($STALL "$2" "$3" "$4" "$5" "$WORK/$state" env DISKBURN_TARGETS="$IMG" "$6" --destroy)
  rc=$?
  ms=${ms#stop_ms=}
  expect_rc "$state" 0 $rc
  [ -n "$ms" ] && [ "$ms" -lt 1000 ] || fail "$state: took ${ms:-?} ms to stop"
  echo "stop latency, $state: ${ms:-?} ms"
}

stop before-first-write-output-blocked '' 2 300 TERM "$DISKBURN"
untouched || fail "written after a stop that came before the first write"
expect_line "$WORK/before-first-write-output-blocked" '^ Pass 1 started '
grep -q '^Disk ' "$WORK/before-first-write-output-blocked" && fail "a line got through a full pipe?"

# smartctl hanging on a disk, before the writing and after the read-back.
printf '#!/bin/sh\nsleep 30\n' >"$WORK/smartctl-hangs"
chmod +x "$WORK/smartctl-hangs"
DISKBURN_SMARTCTL=$WORK/smartctl-hangs stop reading-smart-first ' to test, direct I/O ' 0 300 TERM "$DISKBURN"
untouched || fail "written after a stop that came while smartctl ran"
printf '#!/bin/sh\n[ -e "$0.once" ] && sleep 30\n: >"$0.once"\n' >"$WORK/smartctl-hangs-later"
chmod +x "$WORK/smartctl-hangs-later"
DISKBURN_SMARTCTL=$WORK/smartctl-hangs-later stop reading-smart-last ': verified in ' 0 300 TERM "$DISKBURN"
expect_line "$WORK/reading-smart-last" '^Stopped in pass 1 at 100%: no pass completed, 268\.4 MB written and verified without error\.$'

export DISKBURN_BLOCK_KIB=1024
DISKBURN_TEST_DELAY_MS=1000 stop before-first-write '^Writing and verifying ' 0 200 TERM "$DISKBURN_HOOKS"
untouched || fail "written after a stop that came before the first write"
expect_line "$WORK/before-first-write" '^Stopped in pass 1 at 0%: no pass completed, nothing verified yet\.$'

export DISKBURN_TEST_DELAY_MS=20
stop writing '^Writing and verifying ' 0 700 TERM "$DISKBURN_HOOKS"
tail -1 "$WORK/writing" | grep -Eq '^Stopped in pass 1 at ([1-9]|[1-4][0-9])%: no pass completed, nothing verified yet\.$' ||
  fail "writing: last line: $(tail -1 "$WORK/writing")"
untouched && fail "writing: nothing was written before the stop"
stop writing-output-blocked '^Writing and verifying ' 1 700 INT "$DISKBURN_HOOKS"

export RUNDIAGS_PASS=3
stop verifying ': written in ' 0 300 HUP "$DISKBURN_HOOKS"
line=$(tail -1 "$WORK/verifying")
if [[ $line =~ ^Stopped\ in\ pass\ 3\ at\ ([0-9]+)%:\ 2\ passes\ completed,\ ([0-9.]+)\ MB\ written\ and\ verified\ without\ error\.$ ]]; then
  pct=${BASH_REMATCH[1]} mb=${BASH_REMATCH[2]}
  # Two whole passes of 268.4 MB, and part of this pass's read-back.
  awk -v p="$pct" -v m="$mb" 'BEGIN{exit !(p >= 50 && p < 100 && m >= 536.8 && m < 805.3)}' ||
    fail "verifying: $pct% and $mb MB do not fit"
else
  fail "verifying: last line: $line"
fi
stop verifying-output-blocked ': written in ' 1 300 TERM "$DISKBURN_HOOKS"
finish
