# The disks of one burn-in, on a fake machine whose disks are loop devices
# made here.  The first pass (and --list) names each disk with what it
# holds, after the medium's warnings; a stop in the grace period writes
# nothing.  Later passes write only the first pass's disks: one plugged in
# meanwhile is left out, even under a name the set knew; one that is gone
# fails the pass; without the set nothing is written at all.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/diskburn_lib.sh"
db_need_root
trap db_cleanup EXIT
command -v mkfs.ext4 >/dev/null && command -v blkid >/dev/null || { echo "SKIP: needs mkfs.ext4, blkid"; exit $SKIP; }
for f in a p b c; do truncate -s 16M "$WORK/$f.img"; done
# A DOS partition table on a; its partition is a device of its own here.
printf '\0\0\0\0\203\0\0\0\0\10\0\0\0\170\0\0' | dd of="$WORK/a.img" bs=1 seek=446 conv=notrunc status=none
printf '\125\252' | dd of="$WORK/a.img" bs=1 seek=510 conv=notrunc status=none
mkfs.ext4 -q -F -L data "$WORK/p.img" >/dev/null 2>&1
for f in a p b c; do db_loop "L_$f" "$WORK/$f.img"; done
FR=$WORK/root
fr_init "$FR"
fr_disk "$FR" sda "$(devnum "$L_a")"
fr_part "$FR" sda sda1 "$(devnum "$L_p")"
fr_disk "$FR" sdb "$(devnum "$L_b")"
for d in sda sdb; do echo 32768 >"$FR/sys/block/$d/size"; done
echo SERIAL-A >"$FR/sys/block/sda/device/serial"
echo SERIAL-B >"$FR/sys/block/sdb/device/serial"
mkdir -p "$FR/run/rundiags"
printf 'No floppy drive: the record goes to a stick.\nClock\001 not set.\n' >"$FR/run/rundiags/warnings"
export DISKBURN_ROOT=$FR
untouched() { for f in "$@"; do cmp -s -n $((1 << 20)) "$WORK/$f.img" "$WORK/$f.before" || { fail "$f.img written"; return; }; done; }
for f in a p b c; do head -c $((1 << 20)) "$WORK/$f.img" >"$WORK/$f.before"; done

# The listing, which writes nothing, by the test root's own name.
DISKBURN_ROOT= RUNDIAGS_ROOT=$FR timeout 60 "$DISKBURN" --list >"$WORK/list" 2>&1
expect_rc "--list" 0 $?
want=("Medium warning: No floppy drive: the record goes to a stick."
  "Medium warning: Clock  not set."
  "Disk sda: FAKE DISK sda, serial SERIAL-A, 16.8 MB."
  'Disk sda holds: dos partition table, sda1 ext4 "data".'
  "Disk sdb: FAKE DISK sdb, serial SERIAL-B, 16.8 MB."
  "Disk sdb holds: nothing recognised.")
[ "$(cat "$WORK/list")" = "$(printf '%s\n' "${want[@]}")" ] || { fail "--list"; cat "$WORK/list"; }
untouched a p b

# A stop while the first pass waits: prompt, and nothing written.
ms=$(DISKBURN_GRACE_SECONDS=30 timeout 60 perl "$BURN_LIB/diskburn_stall.pl" '^Writing starts in ' 0 200 TERM "$WORK/grace" \
  "$DISKBURN" --destroy)
expect_rc "stopped in the grace period" 0 $?
ms=${ms#stop_ms=}
[ -n "$ms" ] && [ "$ms" -lt 1000 ] || fail "took ${ms:-?} ms to stop in the grace period"
echo "stop latency, grace period: ${ms:-?} ms"
expect_lines "$WORK/grace" '^Medium warning: No floppy' '^Disk sdb holds: nothing recognised\.$' \
  '^Writing starts in 30 s: stop the burn-in now to keep these disks\.$' \
  '^Stopped in pass 1 at 0%: no pass completed, nothing verified yet\.$'
untouched a p b

timeout 60 "$DISKBURN" --destroy >"$WORK/pass1" 2>&1
expect_rc "first pass" 0 $?
grep -n '' "$WORK/pass1" | grep -E ':(Medium warning|Disk sda)' | head -1 | grep -q ':Medium warning: ' ||
  fail "the warnings do not come first"
head -1 "$DISKBURN_STATE_DIR/set" | grep -qx 'rundiags diskburn set 1' || fail "set: $(cat "$DISKBURN_STATE_DIR/set")"

# A stick plugged in meanwhile.
fr_disk "$FR" sdc "$(devnum "$L_c")"
RUNDIAGS_PASS=2 timeout 60 "$DISKBURN" --destroy >"$WORK/pass2" 2>&1
expect_rc "plugged in" 0 $?
expect_line "$WORK/pass2" '^Leaving out sdc: appeared after the burn-in started\.$'
grep -q '^Medium warning\|holds: ' "$WORK/pass2" && fail "a later pass repeats the first pass's listing"
tail -1 "$WORK/pass2" | grep -q '^Pass complete: 2 disks ' || fail "last line: $(tail -1 "$WORK/pass2")"
untouched c

# sdb is gone, and the new stick takes its name.
rm -rf "$FR/sys/block/sdb" "$FR/sys/block/sdc" "$FR/sys/class/block/sdb" "$FR/sys/class/block/sdc" \
  "$FR/sys/dev/block/$(devnum "$L_b")" "$FR/sys/dev/block/$(devnum "$L_c")"
fr_disk "$FR" sdb "$(devnum "$L_c")"
RUNDIAGS_PASS=3 timeout 60 "$DISKBURN" --destroy >"$WORK/gone" 2>&1
expect_rc "gone" 4 $?
expect_lines "$WORK/gone" '^Leaving out sdb: appeared after the burn-in started\.$' \
  '^Disk sdb \(serial SERIAL-B\) is gone: it was in the burn-in'"'"'s set\.$'
untouched c

mv "$DISKBURN_STATE_DIR/set" "$WORK/set.kept"
RUNDIAGS_PASS=4 timeout 60 "$DISKBURN" --destroy >"$WORK/noset" 2>&1
expect_rc "no set" 8 $?
expect_line "$WORK/noset" "^Burn-in disk set missing: nothing written \($DISKBURN_STATE_DIR/set: No such file or directory\)\.$"
untouched c
cat "$WORK/list" "$WORK/pass2" "$WORK/gone" "$WORK/noset"

# Named files: the same rule, by path and size.
unset DISKBURN_ROOT
truncate -s 8M "$WORK/x.img" "$WORK/y.img"
DISKBURN_TARGETS="$WORK/x.img" timeout 60 "$DISKBURN" --destroy >"$WORK/files1" 2>&1
expect_rc "files, first pass" 0 $?
RUNDIAGS_PASS=2 DISKBURN_TARGETS="$WORK/x.img:$WORK/y.img" timeout 60 "$DISKBURN" --destroy >"$WORK/files2" 2>&1
expect_rc "files, second pass" 0 $?
expect_line "$WORK/files2" "^Leaving out $WORK/y.img: appeared after the burn-in started\.$"
cmp -s "$WORK/y.img" <(head -c $((8 << 20)) /dev/zero) || fail "y.img written"
finish
