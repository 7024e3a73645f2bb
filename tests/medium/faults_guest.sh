#!/bin/sh
# Test-only, run in the guest's shell as run-faults: puts each fault of the
# table below in front of diskburn or netburn in the medium's own kernel
# (device-mapper, scsi_debug, tc), runs the helper once, and prints a line
#   fault NAME expected VERDICT got VERDICT exit N in S s OK|WRONG
# per row, then "faults done: N rows, W wrong". A row is OK when the helper's
# verdict (from its exit status) is the expected one and one of its lines matches
# the row's pattern, which names the disk or the port. WRONG rows are
# followed by the helper's last lines, indented.
#   run-faults [NAME...]   only these rows
# The disks' faults sit on the scratch disk with serial FAULTS, on scsi_debug
# disks, and on the test's own QEMU disks: two SCSI paths to one image (WWN
# 0x5000c50015ea71ad), a zoned NVMe namespace (serial ZONED), a slow SCSI
# disk (WWN 0x5000c50015ea71ae) that the test unplugs when the script prints
# "fault-unplug gone". The network rows use every Ethernet port, which the
# test puts on one hub.
export DM_DISABLE_UDEV=1
sectors=32768                    # 16 MiB: a pass takes seconds under TCG
scratch=/tmp/faults
net_seconds=3
net_rate=1000                    # emulated NICs on a hub drop frames when flooded

# name          helper expect pattern: an ERE over the helper's lines, in which
# @ is the device tested and @2 a second one. The verdict is PASS for exit 0,
# LEFT-OUT for 2 or 3 (no disk to test, a target it must not write), else FAIL.
table='
healthy         disk  PASS  ^Pass complete: 1 disk .* without error\.$
drop-writes     disk  FAIL  ^Disk @: verify error at byte [0-9]+: it holds data from an earlier pass \(write lost\)
error-writes    disk  FAIL  ^Disk @: write error at byte [0-9]+ \(Input/output error\)\.$
corrupt-writes  disk  FAIL  ^Disk @: verify error at byte [0-9]+: it reads 0xa5 instead of
bad-blocks      disk  FAIL  ^Disk @: write error at byte 8388608 \(Input/output error\)\.$
aliased         disk  FAIL  ^Disk @: verify error at byte [0-9]+: it holds the data written for byte [0-9]+ \(misdirected write\)
slow            disk  PASS  ^Pass complete: 1 disk .* without error\.$
medium-errors   disk  FAIL  ^Disk @: read error at byte 4194304 \(No data available\)\.$
virtual-gb      disk  FAIL  ^Disk @: verify error at byte [0-9]+: it holds the data written for byte [0-9]+ \(misdirected write\)
two-paths       disk  PASS  ^Leaving out @2: same WWID as @ \(another path to one disk\)\.$
zoned           disk  LEFT-OUT  ^(Leaving out|Cannot use) (/dev/)?@: .*zoned
unplugged       unplug FAIL ^Disk @: (the device went away|(write|read) error at byte)
jitter          net   PASS  ^Pass complete: all ports
loss-6          net   PASS  ^Port eth[12]: received .*; missing [0-9]+ from eth0
loss-12         net   FAIL  ^Pass failed: .*eth0 to eth[12]: [0-9]+% received
link-down       net   FAIL  ^Pass failed: .*eth2 lost its link
'

backing() {  # the scratch disk, by the serial number the test gave it
  for d in /sys/block/vd*; do
    [ "$(cat "$d/serial" 2>/dev/null)" = FAULTS ] && { echo "/dev/${d##*/}"; return 0; }
  done
  return 1
}

# A device-mapper table over the scratch disk, reached through a loop device
# with direct I/O (diskburn leaves device-mapper devices out; a buffered loop
# device would answer reads of dropped writes from its page cache).
over_dm() {
  printf '%s\n' "$1" | dmsetup create fault && dev=$(losetup --direct-io=on --show -f /dev/mapper/fault)
}

# A good pass first, so that a lost write leaves the earlier pass's data.
fault_drop_writes() {
  fault_healthy && burn_disk >/dev/null &&
    dmsetup suspend fault && echo "0 $sectors flakey $disk 0 0 1 1 drop_writes" | dmsetup reload fault &&
    dmsetup resume fault
}
fault_healthy() { over_dm "0 $sectors linear $disk 0"; }
fault_error_writes() { over_dm "0 $sectors flakey $disk 0 0 1 1 error_writes"; }
# Byte 224 of every write changed to 0xa5 on its way to the disk (this
# kernel's dm-flakey leaves reads alone: with the read direction a pass
# verifies clean).
fault_corrupt_writes() { over_dm "0 $sectors flakey $disk 0 0 1 5 corrupt_bio_byte 224 w 165 0"; }
fault_bad_blocks() {
  half=$((sectors / 2))
  over_dm "0 $half linear $disk 0
$half 8 error
$((half + 8)) $((half - 8)) linear $disk $((half + 8))"
}
fault_aliased() {
  half=$((sectors / 2))
  over_dm "0 $half linear $disk 0
$half $half linear $disk 0"
}
fault_slow() { over_dm "0 $sectors delay $disk 0 20"; }

# A scsi_debug disk: reads of sectors 8192-8199 fail with a medium error;
# or a 1 GiB disk over 8 MiB of memory, whose addresses wrap around.
fault_medium_errors() { scsi_debug dev_size_mb=16 opts=2 medium_error_start=8192 medium_error_count=8; }
fault_virtual_gb() { scsi_debug dev_size_mb=8 virtual_gb=1; }
scsi_debug() {
  modprobe scsi_debug "$@" || return 1
  for _ in $(seq 50); do
    for d in /sys/block/sd*; do
      case $(cat "$d/device/model" 2>/dev/null) in scsi_debug*)
        [ -b "/dev/${d##*/}" ] && { dev=/dev/${d##*/}; return 0; } ;;
      esac
    done
    sleep 0.2
  done
  return 1
}

# QEMU's disks, by the WWN or serial number the test gave them.
scsi_wwn() {
  for d in /sys/block/sd*; do
    [ "$(cat "$d/device/wwid" 2>/dev/null)" != "naa.$1" ] || echo "${d##*/}"
  done
}
fault_two_paths() {
  set -- $(scsi_wwn 5000c50015ea71ad)
  [ $# -eq 2 ] && dev=/dev/$1:/dev/$2 name=$1 name2=$2
}
# Host-managed zones take writes only at their write pointers: a first pass
# over empty zones may go through, the next one cannot.
fault_zoned() {
  for d in /sys/block/nvme*; do
    case $(cat "$d/device/serial" 2>/dev/null) in ZONED*) dev=/dev/${d##*/} ;; esac
  done
  [ -n "$dev" ] || { grep -H . /sys/block/*/queue/zoned /sys/class/nvme/*/serial; false; }
}
fault_unplugged() {
  d=$(scsi_wwn 5000c50015ea71ae)
  [ -n "$d" ] && dev=/dev/$d || { grep -H . /sys/block/sd*/device/wwid; false; }
}

# eth0's frames: 1 ms of jitter with reordering on its way out; every 16th or
# 8th of them lost (each pair from eth0 at 94% passes, at 88% fails), exactly,
# so that the verdict does not hang on chance,
# and silently, as on the wire (a drop on eth0's own way out is reported to
# the sender, which sends the frame again): at the ports that receive them;
# eth2 set down while the pass runs.
fault_jitter() { tc qdisc add dev eth0 root netem delay 1ms 1ms reorder 25% 50%; }
fault_loss_6() { lose_from_eth0 16; }
fault_loss_12() { lose_from_eth0 8; }
# Only the frames meant for the port count: on the hub each port also gets
# eth0's frames for the other, and a count over both streams lines up with
# eth0's bursts, losing 1 in 8 of one pair's frames and none of the other's.
lose_from_eth0() {
  mac=$(cat /sys/class/net/eth0/address) || return 1
  for p in eth1 eth2; do
    own=$(cat /sys/class/net/$p/address) || return 1
    tc qdisc add dev $p ingress &&
      tc filter add dev $p ingress protocol all flower src_mac "$mac" dst_mac "$own" \
        action gact pass random determ drop "$1" ||
      return 1
  done
}
fault_link_down() { (sleep $((net_seconds / 2 + 1)) && ip link set eth2 down) & }

burn_disk() {
  rm -rf "$scratch/state"
  DISKBURN_TARGETS=$dev DISKBURN_STATE_DIR=$scratch/state DISKBURN_GRACE_SECONDS=0 RUNDIAGS_PASS=1 \
    timeout 300 diskburn --destroy
}
# The pass under way, the test is asked to unplug the disk.
burn_unplug() {
  burn_disk &
  for _ in $(seq 300); do
    grep -q '^Writing and verifying' "$out" && break
    sleep 0.1
  done
  echo "fault-unplug gone" >&3
  wait $!
}
burn_net() {
  NETBURN_PASS_SECONDS=$net_seconds NETBURN_RATE=$net_rate RUNDIAGS_PASS=1 timeout 120 netburn -1
}

tear_down() {
  wait
  case $dev in /dev/loop*) losetup -d "$dev" ;; esac
  dmsetup remove fault 2>/dev/null
  rmmod scsi_debug 2>/dev/null
  for p in /sys/class/net/eth*; do
    p=${p##*/}
    tc qdisc del dev "$p" root 2>/dev/null
    tc qdisc del dev "$p" ingress 2>/dev/null
    ip link set "$p" up
  done
  dev=
}

# One row: set up, run the helper, judge, print, tear down.
run_row() {  # name helper expect pattern
  row=$1 helper=$2 expect=$3 pattern=$4 dev= name= name2=
  start=$(date +%s)
  out=$scratch/$row.out
  if ! "fault_$(echo "$row" | tr - _)" >"$out" 2>&1; then
    code=setup got=none
  else
    "burn_$helper" >"$out" 2>&1
    code=$?
    case $code in 0) got=PASS ;; 2|3) got=LEFT-OUT ;; *) got=FAIL ;; esac
  fi
  pattern=$(printf '%s' "$pattern" | sed "s|@2|$name2|g; s|@|${name:-${dev##*/}}|g")
  verdict=WRONG
  [ "$got" = "$expect" ] && grep -Eq "$pattern" "$out" && verdict=OK
  tear_down
  echo "fault $row expected $expect got $got exit $code in $(($(date +%s) - start)) s $verdict"
  [ $verdict = OK ] || { tail -n 6 "$out" | cut -c1-160 | sed 's/^/    /'; wrong=$((wrong + 1)); }
  rows=$((rows + 1))
}

exec 3>&1
rm -rf "$scratch" && mkdir -p "$scratch" || exit 1
modprobe -a dm-mod dm-flakey dm-delay loop sch_netem sch_ingress cls_flower act_gact ||
  { echo "run-faults: modules missing"; exit 1; }
disk=$(backing) || { echo "run-faults: no disk with serial FAULTS"; exit 1; }
rows=0 wrong=0
printf '%s\n' "$table" | while read -r name helper expect pattern; do
  [ -n "$name" ] || continue
  if [ $# -gt 0 ]; then
    case " $* " in *" $name "*) ;; *) continue ;; esac
  fi
  run_row "$name" "$helper" "$expect" "$pattern"
  echo "$rows $wrong" >"$scratch/count"
done
read -r rows wrong <"$scratch/count" 2>/dev/null || rows=0 wrong=0
echo "faults done: $rows rows, $wrong wrong"
