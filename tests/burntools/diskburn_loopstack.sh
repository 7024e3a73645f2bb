# A filesystem in use through a loop device on a loop device: the device
# beneath, and the file beneath that, are never written -- whether the
# filesystem is mounted here, mounted in another mount namespace (seen only
# as an exclusive open), or swap.  Unused, the same device is tested.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/diskburn_lib.sh"
db_need_root
trap db_cleanup EXIT
command -v mkfs.ext4 >/dev/null || { echo "SKIP: needs mkfs.ext4"; exit $SKIP; }
truncate -s 64M "$WORK/a.img"
db_loop A "$WORK/a.img"
db_loop B "$A"
mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0 "$B" >/dev/null 2>&1 || { fail "mkfs.ext4"; finish; }
MNT=$WORK/mnt
mkdir -p "$MNT"
mount "$B" "$MNT" 2>/dev/null || { echo "SKIP: mount unavailable"; exit $SKIP; }
DB_MOUNTS+=("$MNT")
echo "kept" >"$MNT/file"
sync
before=$(md5sum <"$WORK/a.img")

DISKBURN_TARGETS="$A" timeout 60 "$DISKBURN" --destroy >"$WORK/dev" 2>&1
expect_rc "device beneath a mounted loop device" 3 $?
expect_line "$WORK/dev" "^Cannot use $A: backs loop device ${B#/dev/}, which holds a mounted filesystem \($MNT\)\.$"
DISKBURN_TARGETS="$WORK/a.img" timeout 60 "$DISKBURN" --destroy >"$WORK/file" 2>&1
expect_rc "file beneath it" 3 $?
expect_line "$WORK/file" "^Cannot use $WORK/a.img: backs loop device ${A#/dev/}, which backs loop device ${B#/dev/}, which holds a mounted filesystem \($MNT\)\.$"
[ "$(md5sum <"$WORK/a.img")" = "$before" ] || fail "a.img changed"
umount "$MNT"
DB_MOUNTS=()
fsck.ext4 -n "$B" >/dev/null 2>&1 || fail "the filesystem on $B is damaged"
cat "$WORK/dev" "$WORK/file"

# Mounted where this mount namespace cannot see it.
if command -v unshare >/dev/null; then
  unshare -m --propagation private sh -c "mount '$B' '$MNT' && echo mounted >'$WORK/ns' && exec sleep 60" &
  DB_PIDS+=($!)
  for _ in $(seq 50); do [ -s "$WORK/ns" ] && break; sleep 0.1; done
  if [ -s "$WORK/ns" ]; then
    grep -q " $MNT " /proc/self/mountinfo && fail "the other namespace's mount shows here"
    before=$(md5sum <"$WORK/a.img")
    DISKBURN_TARGETS="$A" timeout 60 "$DISKBURN" --destroy >"$WORK/ns.out" 2>&1
    expect_rc "mounted in another namespace" 3 $?
    expect_line "$WORK/ns.out" "^Cannot use $A: backs loop device ${B#/dev/}, which is open exclusively by another program\.$"
    cat "$WORK/ns.out"
  else
    echo "(mount in a new namespace unavailable: that case skipped)"
  fi
  [ "$(md5sum <"$WORK/a.img")" = "$before" ] || fail "a.img changed"
  kill "${DB_PIDS[@]}"; wait "${DB_PIDS[@]}" 2>/dev/null; DB_PIDS=()
  # The namespace's mount goes away a moment after its last process.
  for _ in $(seq 50); do db_free "$B" && break; sleep 0.1; done
fi

# Swap on the loop device.
if mkswap "$B" >/dev/null 2>&1 && swapon "$B" 2>/dev/null; then
  DB_SWAPS+=("$B")
  DISKBURN_TARGETS="$A" timeout 60 "$DISKBURN" --destroy >"$WORK/swap" 2>&1
  expect_rc "beneath swap" 3 $?
  expect_line "$WORK/swap" "^Cannot use $A: backs loop device ${B#/dev/}, which holds active swap space\.$"
  swapoff "$B"
  DB_SWAPS=()
  cat "$WORK/swap"
else
  echo "(swapon unavailable: swap case skipped)"
fi

# Nothing uses B now: A is a disk like any other.
DISKBURN_TARGETS="$A" timeout 60 "$DISKBURN" --destroy >"$WORK/free" 2>&1
expect_rc "free" 0 $?
tail -1 "$WORK/free" | grep -q '^Pass complete: 1 disk ' || fail "last line: $(tail -1 "$WORK/free")"
finish
