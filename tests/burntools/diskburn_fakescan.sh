# The scan, end to end, on a fake machine (DISKBURN_ROOT) whose disks are
# loop devices made here: entries without a node under /dev are opened
# through nodes made for their numbers; a mounted disk and its second path
# (two loop devices over one image), the boot medium, a disk whose
# partition is the results stick, a disk whose partition cannot be read, a
# second path to a chosen disk and a disk found busy only when opened
# (with its other path) are left out; only the one free disk is written.  A fake machine may lead to
# nothing but loop devices.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/diskburn_lib.sh"
db_need_root
trap db_cleanup EXIT
command -v mkfs.fat >/dev/null || { echo "SKIP: needs mkfs.fat"; exit $SKIP; }
for f in a b v s x y z m u; do truncate -s 16M "$WORK/$f.img"; done
mkfs.fat -n RUNDIAGS "$WORK/s.img" >/dev/null
for f in a b v s x y z m u; do db_loop "L_$f" "$WORK/$f.img"; done
db_loop L_m2 "$WORK/m.img"
db_loop L_z2 "$WORK/z.img"
# Held open exclusively by another program, which shows only at open time.
perl -MFcntl -e 'sysopen(my $f, $ARGV[0], O_RDONLY | O_EXCL) or die "$!\n"; print "held\n"; $| = 1; sleep 60' \
  "$L_z" >"$WORK/held" &
DB_PIDS+=($!)
for _ in $(seq 50); do [ -s "$WORK/held" ] && break; sleep 0.1; done
FR=$WORK/root
fr_init "$FR"
fr_disk "$FR" sda "$(devnum "$L_a")"
fr_disk "$FR" sdb "$(devnum "$L_b")"
echo naa.5000c500a1b2c3d4 >"$FR/sys/block/sda/device/wwid"
echo naa.5000c500a1b2c3d4 >"$FR/sys/block/sdb/device/wwid"
fr_disk "$FR" sdv "$(devnum "$L_v")"
fr_part "$FR" sdv sdv1 "$(devnum "$L_s")"
fr_disk "$FR" sdx "$(devnum "$L_x")"
fr_disk "$FR" sdy "$(devnum "$L_y")"
echo "30 1 $(devnum "$L_y") / /srv rw - ext4 /dev/sdy rw" >"$FR/proc/self/mountinfo"
fr_disk "$FR" sdz "$(devnum "$L_z")"
fr_disk "$FR" sdw "$(devnum "$L_z2")"
echo naa.5000c500a1b2c3f6 >"$FR/sys/block/sdz/device/wwid"
echo naa.5000c500a1b2c3f6 >"$FR/sys/block/sdw/device/wwid"
fr_disk "$FR" sdc "$(devnum "$L_m")"
fr_disk "$FR" sdd "$(devnum "$L_m2")"
echo naa.5000c500a1b2c3e5 >"$FR/sys/block/sdc/device/wwid"
echo naa.5000c500a1b2c3e5 >"$FR/sys/block/sdd/device/wwid"
echo "31 1 $(devnum "$L_m") / /data rw - ext4 /dev/sdc rw" >>"$FR/proc/self/mountinfo"
# A partition whose number has no device behind it (a local-use major).
fr_disk "$FR" sdu "$(devnum "$L_u")"
fr_part "$FR" sdu sdu1 60:1
sums() { md5sum "$WORK"/[bvsxyzmu].img; }
before=$(sums)

DISKBURN_ROOT=$FR DISKBURN_BOOT_DEVICE=/dev/sdx timeout 60 "$DISKBURN" --destroy >"$WORK/out" 2>&1
expect_rc scan 0 $?
expect_lines "$WORK/out" \
  '^Leaving out sdb: same WWID as sda \(another path to one disk\)\.$' \
  '^Leaving out sdv: holds the results stick \(FAT label RUNDIAGS on sdv1\)\.$' \
  '^Leaving out sdx: holds the boot medium \(/dev/sdx\)\.$' \
  '^Leaving out sdy: holds a mounted filesystem \(/srv\)\.$' \
  '^Leaving out sdz: in use \(busy when opened\)\.$' \
  '^Leaving out sdw: another path to sdz, which is in use \(busy when opened\)\.$' \
  '^Leaving out sdd: another path to sdc, which holds a mounted filesystem \(/data\)\.$' \
  '^Leaving out sdu: holds a partition that cannot be read \(sdu1: No such device or address\)\.$' \
  '^Disk sda: FAKE DISK sda, serial naa.5000c500a1b2c3d4, 16.8 MB\.$'
tail -1 "$WORK/out" | grep -q '^Pass complete: 1 disk ' || fail "last line: $(tail -1 "$WORK/out")"
[ "$(sums)" = "$before" ] || fail "a disk left out was written"
v=$(od -An -tu8 -N8 -j 4096 "$WORK/a.img" | tr -d ' ')
[ "$v" = 4096 ] || fail "sda not written: the sector at 4096 reads $v"
cat "$WORK/out"

# An entry whose number is not a loop device is never opened for writing.
FR2=$WORK/root2
fr_init "$FR2"
fr_disk "$FR2" sdw 60:0
DISKBURN_ROOT=$FR2 timeout 60 "$DISKBURN" --destroy >"$WORK/real" 2>&1
expect_rc "not a loop device" 3 $?
expect_line "$WORK/real" '^Cannot use sdw: a fake DISKBURN_ROOT may lead only to loop devices\.$'
cat "$WORK/real"
finish
