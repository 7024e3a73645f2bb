# The media rundiags itself needs are never written: the device the boot
# medium was found on (DISKBURN_BOOT_DEVICE, from the medium's start-up), a
# results stick (FAT labelled RUNDIAGS) and a raw-written boot image (ISO
# volume RUNDIAGS_BOOT).  A stick with another label is a disk like any other.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/diskburn_lib.sh"
db_need_root
trap db_cleanup EXIT
command -v mkfs.fat >/dev/null || { echo "SKIP: needs mkfs.fat"; exit $SKIP; }
for f in a boot stick other iso; do truncate -s 16M "$WORK/$f.img"; done
mkfs.fat -n RUNDIAGS "$WORK/stick.img" >/dev/null
mkfs.fat -n OTHER "$WORK/other.img" >/dev/null
printf '\001CD001\001' | dd of="$WORK/iso.img" bs=1 seek=32768 conv=notrunc status=none
printf '%-32s' RUNDIAGS_BOOT | dd of="$WORK/iso.img" bs=1 seek=$((32768 + 40)) conv=notrunc status=none
db_loop A "$WORK/a.img"
db_loop BOOT "$WORK/boot.img"
db_loop STICK "$WORK/stick.img"
db_loop OTHER "$WORK/other.img"
db_loop ISO "$WORK/iso.img"
sums() { md5sum "$WORK/boot.img" "$WORK/stick.img" "$WORK/iso.img"; }
before=$(sums)

DISKBURN_BOOT_DEVICE=$BOOT DISKBURN_TARGETS="$A:$BOOT:$STICK:$OTHER:$ISO" timeout 60 \
  "$DISKBURN" --destroy >"$WORK/out" 2>&1
expect_rc "media left out" 0 $?
expect_lines "$WORK/out" \
  "^Leaving out ${BOOT#/dev/}: holds the boot medium \($BOOT\)\.$" \
  "^Leaving out ${STICK#/dev/}: holds the results stick \(FAT label RUNDIAGS\)\.$" \
  "^Leaving out ${ISO#/dev/}: holds the boot medium \(volume RUNDIAGS_BOOT\)\.$" \
  "^Disk ${OTHER#/dev/}: "
tail -1 "$WORK/out" | grep -q '^Pass complete: 2 disks ' || fail "last line: $(tail -1 "$WORK/out")"
[ "$(sums)" = "$before" ] || fail "a medium was written"
cmp -s -n 512 "$WORK/other.img" /dev/zero && fail "the other stick was not written"
cat "$WORK/out"

# The start-up may name a path that is not there: nothing is left out for it.
DISKBURN_BOOT_DEVICE=/dev/no-such-disk DISKBURN_TARGETS="$A" timeout 60 "$DISKBURN" >"$WORK/none" 2>&1
expect_rc "dry run" 1 $?
expect_line "$WORK/none" '^Boot medium /dev/no-such-disk not found: nothing left out for it\.$'
expect_line "$WORK/none" "^Disk ${A#/dev/}: "
# Only media left: nothing to test.
DISKBURN_BOOT_DEVICE=$BOOT DISKBURN_TARGETS="$BOOT:$STICK" timeout 60 "$DISKBURN" --destroy >"$WORK/only" 2>&1
expect_rc "only media" 2 $?
expect_line "$WORK/only" '^No disks to test\.$'
[ "$(sums)" = "$before" ] || fail "a medium was written"
finish
