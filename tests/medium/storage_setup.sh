#!/bin/sh
# Test-only, run in the guest's shell as make-storage: lays out on the
# scratch disks what a server's installed system leaves on its disks, each
# disk found by the serial number the test gave it --
#   FSDISK     a partition table, an ext4 filesystem on its first partition,
#              mounted on /mnt/data, holding known.txt
#   SWAPDISK   a partition table, active swap on its second partition
#   MIRROR1/2  an md RAID1: MIRROR1 whole, MIRROR2 through a partition
#   LVMDISK    an LVM physical volume with an active logical volume
#   PLAIN      nothing
# -- marks the mirror and the logical volume with known text, and ends with
# a line naming the disks by role, or "make-storage failed at <step>".
# There is no udev here: device-mapper makes its own nodes.
export DM_DISABLE_UDEV=1

step=modules
fail() { echo "make-storage failed at $step"; exit 1; }

disk() {  # serial number -> vdX
  for d in /sys/block/vd*; do
    [ "$(cat "$d/serial" 2>/dev/null)" = "$1" ] && { echo "${d##*/}"; return 0; }
  done
  return 1
}

modprobe -a ext4 crc32c_generic md-mod raid1 dm-mod || fail
step=disks
fs=$(disk FSDISK) && swap=$(disk SWAPDISK) && m1=$(disk MIRROR1) && m2=$(disk MIRROR2) &&
  lv=$(disk LVMDISK) && plain=$(disk PLAIN) || fail

step=filesystem
printf 'label: dos\n,12MiB,L\n,,L\n' | sfdisk -q "/dev/$fs" || fail
mkfs.ext4 -q "/dev/${fs}1" && mkdir -p /mnt/data && mount "/dev/${fs}1" /mnt/data || fail
echo "known text in a mounted filesystem" >/mnt/data/known.txt || fail

step=swap
printf 'label: dos\n,4MiB,L\n,,S\n' | sfdisk -q "/dev/$swap" || fail
mkswap -q "/dev/${swap}2" >/dev/null && swapon "/dev/${swap}2" || fail

step=mirror
printf 'label: dos\n,,R\n' | sfdisk -q "/dev/$m2" || fail
mkdir -p /run/mdadm
mdadm --create /dev/md0 --run --quiet --level=1 --raid-devices=2 --metadata=1.2 --assume-clean \
  "/dev/$m1" "/dev/${m2}1" || fail
echo "known text in the md mirror" | dd of=/dev/md0 bs=512 seek=64 conv=fsync 2>/dev/null || fail

step=lvm
lvm pvcreate -q "/dev/$lv" >/dev/null && lvm vgcreate -q keepvg "/dev/$lv" >/dev/null &&
  lvm lvcreate -q -y -L 8M -n keeplv keepvg >/dev/null || fail
echo "known text in the logical volume" | dd of=/dev/keepvg/keeplv bs=512 seek=64 conv=fsync 2>/dev/null ||
  fail

sync
echo "storage ready: mounted=$fs swap=$swap mirror=$m1,$m2 lvm=$lv plain=$plain"
