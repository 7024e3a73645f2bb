# Loop devices made here: a clean pass; a device that goes away in the middle
# of the pass fails cleanly; a device holding a mounted filesystem is refused.
. "$BURN_LIB/burn_lib.sh"
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root"; exit $SKIP; }
LOOPS=()
MNT=
cleanup() {
  [ -n "$MNT" ] && umount "$MNT" 2>/dev/null
  for l in "${LOOPS[@]}"; do losetup -d "$l" 2>/dev/null; done
  rm -rf "$WORK"
}
trap cleanup EXIT
truncate -s 96M "$WORK/a.img"
L=$(losetup -f --show "$WORK/a.img" 2>/dev/null) || { echo "SKIP: no loop devices"; exit $SKIP; }
LOOPS+=("$L")
name=${L#/dev/}

DISKBURN_TARGETS="$L" timeout 60 "$DISKBURN" --destroy >"$WORK/out" 2>&1
expect_rc "clean pass" 0 $?
expect_line "$WORK/out" "^Disk $name: loop device on $WORK/a.img, serial unknown, 100\.7 MB\.$"
tail -1 "$WORK/out" | grep -q '^Pass complete: 1 disk ' || fail "last line: $(tail -1 "$WORK/out")"
cat "$WORK/out"

# The device loses its medium while it is being written.  A pause before
# every block keeps the writing going for seconds (12 blocks per worker at
# 200 ms), so the medium is gone well before the pass could end.
DISKBURN_TEST_DELAY_MS=200 DISKBURN_TARGETS="$L" "$DISKBURN_HOOKS" --destroy >"$WORK/gone" 2>&1 &
pid=$!
for _ in $(seq 100); do grep -q '^Writing and verifying ' "$WORK/gone" && break; sleep 0.05; done
truncate -s 0 "$WORK/a.img"
losetup -c "$L"
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && { fail "still running 10 s after the device went away"; kill "$pid"; }
wait "$pid"
expect_rc "device gone" 4 $?
expect_line "$WORK/gone" "^Disk $name: (the device went away|write error at byte [0-9]+)"
grep -q '^Pass complete' "$WORK/gone" && fail "the pass ended before the device went away"
tail -2 "$WORK/gone"

# A filesystem mounted on a loop device: never written.
if command -v mkfs.ext4 >/dev/null; then
  truncate -s 32M "$WORK/m.img"
  mkfs.ext4 -q -F "$WORK/m.img" >/dev/null 2>&1
  M=$(losetup -f --show "$WORK/m.img") && LOOPS+=("$M")
  MNT="$WORK/mnt"; mkdir -p "$MNT"
  if mount "$M" "$MNT" 2>/dev/null; then
    DISKBURN_TARGETS="$M" timeout 60 "$DISKBURN" --destroy >"$WORK/mounted" 2>&1
    expect_rc "mounted" 3 $?
    expect_line "$WORK/mounted" "^Cannot use $M: holds a mounted filesystem \($MNT\)\.$"
    umount "$MNT"; MNT=
    cat "$WORK/mounted"
  else
    MNT=
    echo "(mount unavailable: mounted-device check skipped)"
  fi
fi
finish
