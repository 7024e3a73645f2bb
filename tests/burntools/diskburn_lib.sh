# Shared by the diskburn tests that need root: loop devices made here (and
# only these are ever written), and fake machines whose sysfs leads to them.
#
#   db_need_root                 skip (77) unless root with loop devices
#   db_loop VAR FILE [ARGS...]   losetup FILE, name the device in VAR
#   db_cleanup                   unmount, swapoff and detach what was made
#   fr_init DIR                  an empty fake machine in DIR
#   fr_disk DIR NAME MAJ:MIN     a whole disk with hardware behind it
#   fr_part DIR DISK NAME MAJ:MIN
#   expect_lines FILE RE...      every RE matches a line of FILE
#   db_free DEV                  nothing holds DEV exclusively
#   devnum DEV                   MAJ:MIN of a device node
DB_LOOPS=()
DB_MOUNTS=()
DB_SWAPS=()
DB_PIDS=()

db_need_root() {
  [ "$(id -u)" = 0 ] || { echo "SKIP: needs root"; exit "$SKIP"; }
  command -v losetup >/dev/null || { echo "SKIP: needs losetup"; exit "$SKIP"; }
}

db_loop() {
  local var=$1 dev
  shift
  dev=$(losetup -f --show "$@") || { echo "SKIP: no loop devices"; exit "$SKIP"; }
  DB_LOOPS+=("$dev")
  printf -v "$var" '%s' "$dev"
}

db_cleanup() {
  local x
  for x in "${DB_PIDS[@]}"; do kill "$x" 2>/dev/null; wait "$x" 2>/dev/null; done
  for x in "${DB_SWAPS[@]}"; do swapoff "$x" 2>/dev/null; done
  for x in "${DB_MOUNTS[@]}"; do umount "$x" 2>/dev/null; done
  for ((x = ${#DB_LOOPS[@]} - 1; x >= 0; x--)); do losetup -d "${DB_LOOPS[x]}" 2>/dev/null; done
  rm -rf "$WORK"
}

expect_lines() {
  local f=$1 re
  shift
  for re in "$@"; do expect_line "$f" "$re"; done
}

# True when nothing holds the block device exclusively.
db_free() { perl -MFcntl -e 'sysopen(my $f, $ARGV[0], O_RDONLY | O_EXCL) or exit 1' "$1"; }

devnum() { printf '%d:%d' "0x$(stat -c %t "$1")" "0x$(stat -c %T "$1")"; }

fr_init() {
  mkdir -p "$1/sys/block" "$1/sys/dev/block" "$1/sys/class/block" "$1/proc/self" "$1/dev"
  : >"$1/proc/self/mountinfo"
  printf 'Filename\tType\tSize\tUsed\tPriority\n' >"$1/proc/swaps"
  : >"$1/proc/cmdline"
}

fr_disk() {
  local b=$1/sys/block/$2
  mkdir -p "$b/device"
  echo "$3" >"$b/dev"
  echo 131072 >"$b/size"
  echo 0 >"$b/ro"
  echo "FAKE DISK $2" >"$b/device/model"
  ln -s "../../block/$2" "$1/sys/dev/block/$3"
  ln -s "../../block/$2" "$1/sys/class/block/$2"
}

fr_part() {
  local b=$1/sys/block/$2/$3
  mkdir -p "$b"
  echo "$4" >"$b/dev"
  echo 1 >"$b/partition"
  ln -s "../../block/$2/$3" "$1/sys/dev/block/$4"
  ln -s "../../block/$2/$3" "$1/sys/class/block/$3"
}
