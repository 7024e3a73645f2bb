# shellcheck shell=dash
# The steps of the medium's start-up, sourced by /init (busybox sh). Every
# path they read or write is under $RUNDIAGS_ROOT: empty on the medium, a
# fake root with its own proc/cmdline and sys/ when tests source this file
# on a build machine.

RUNDIAGS_ROOT=${RUNDIAGS_ROOT:-}
rundir=$RUNDIAGS_ROOT/run/rundiags
envfile=$RUNDIAGS_ROOT/run/rundiags.env
medium_lib=$RUNDIAGS_ROOT/usr/lib/rundiags-medium
# How long the boot device may take to show up, in half seconds.
boot_tries=60

filesystems_mount() {
  local r="$RUNDIAGS_ROOT"
  mount -t proc -o nosuid,noexec,nodev proc "$r/proc"
  mount -t sysfs -o nosuid,noexec,nodev sysfs "$r/sys"
  mount -t devtmpfs -o nosuid,mode=0755 devtmpfs "$r/dev"
  mkdir -p "$r/dev/pts" "$r/run" "$r/tmp"
  mount -t devpts -o nosuid,noexec,gid=5,mode=620,ptmxmode=000 devpts "$r/dev/pts"
  mount -t tmpfs -o nosuid,nodev,mode=1777 tmpfs "$r/tmp"
  mount -t tmpfs -o nosuid,nodev,mode=0755 tmpfs "$r/run"
  dmesg -n 1
  ip link set lo up 2>/dev/null
  mkdir -p "$rundir"
}

# The name of this run: the boot's start time in UTC and a random suffix
# (20261207T165312Z-3f9a). Written once, before anything reads it, and
# renamed into place whole; makefloppy names the record after it.
run_name_write() {
  local btime run
  btime=$(sed -n 's/^btime //p' "$RUNDIAGS_ROOT/proc/stat")
  run=$(date -u -d "@$btime" +%Y%m%dT%H%M%SZ)-$(head -c 4 "$RUNDIAGS_ROOT/proc/sys/kernel/random/uuid")
  echo "$run" >"$rundir/run.new" && mv -f "$rundir/run.new" "$rundir/run"
}

# Warnings for the operator: on the console they show only until rundiags
# clears it, so each is also kept in /run/rundiags/warnings, one a line in
# plain text, where the burn-in shows it before it writes any disk, the
# record keeps it and the shell's greeting repeats it.
warnings_start() { : >"$rundir/warnings"; }
warn() {
  echo "$1" >"$tty"
  { printf '%s' "$1" | tr -d '\000-\037\177'; echo; } >>"$rundir/warnings"
}

# The kernel command line, read once; its words are split on blanks as the
# kernel does, never expanded as file names (a value may hold * or ?).
cmdline_load() { cmdline=$(cat "$RUNDIAGS_ROOT/proc/cmdline"); }
# getarg NAME: prints the value of the last NAME=value; fails without one.
getarg() {
  local arg value found=1
  set -f
  for arg in $cmdline; do
    case $arg in "$1="*) value=${arg#*=} found=0 ;; esac
  done
  set +f
  [ $found = 0 ] && printf '%s\n' "$value"
}
# hasarg NAME: whether the word NAME stands alone on the command line.
hasarg() {
  local arg found=1
  set -f
  for arg in $cmdline; do
    [ "$arg" = "$1" ] && found=0
  done
  set +f
  return $found
}

# Devices that appear later (behind a USB controller, or plugged in while
# the program runs) get their drivers from the kernel's events.
hotplug_start() { uevent "$medium_lib/hotplug" </dev/null >/dev/null 2>&1 & }

# Loads a driver for every device that names one, until no new device
# appears: a host controller's driver brings the disks behind it.
coldplug() {
  local aliases before=
  for _ in 1 2 3 4; do
    aliases=$(find "$RUNDIAGS_ROOT/sys/devices" -name modalias -type f -exec cat {} + 2>/dev/null | sort -u)
    [ "$aliases" = "$before" ] && return 0
    before=$aliases
    # shellcheck disable=SC2086
    [ -n "$aliases" ] && modprobe -q -a -b $aliases 2>/dev/null
    sleep 0.2
  done
}
# With the drivers no modalias names: the ISA floppy controller, and the
# SCSI generic nodes that SMART needs behind some HBAs.
drivers_load() {
  coldplug
  modprobe -q floppy 2>/dev/null
  modprobe -q sg 2>/dev/null
}
# The machine's own health during the burn-in: baseline, sensors, machine checks.
health_start() { "$medium_lib/health-start"; }

# Whether the server has a screen: a frame buffer, or a VGA text console
# bound (a server without a display adapter has only the dummy console).
has_display() {
  local v
  [ -e "$RUNDIAGS_ROOT/sys/class/graphics/fb0" ] && return 0
  for v in "$RUNDIAGS_ROOT"/sys/class/vtconsole/vtcon*; do
    [ "$(cat "$v/bind" 2>/dev/null)" = 1 ] || continue
    case $(cat "$v/name" 2>/dev/null) in *dummy*) ;; *) return 0 ;; esac
  done
  return 1
}
# A console that can be opened; a serial one with a UART behind it (the
# kernel lists a port it found none at as type 0).
usable() {
  [ "$(cat "$RUNDIAGS_ROOT/sys/class/tty/$1/type" 2>/dev/null)" != 0 ] &&
    ( : <"$RUNDIAGS_ROOT/dev/$1" ) 2>/dev/null
}
# The console the operator reaches us on: the last console= wins, as for
# the kernel's own /dev/console. Without one, the screen -- unless the
# server has none, where the operator is on the first serial port as the
# firmware and the boot menu were, at the boot menu's 115200 baud. Sets
# console, speed (empty: as it is), tty and term.
console_choose() {
  local c
  c=$(getarg console)
  console=${c%%,*}
  case $c in *,*) speed=${c#*,}; speed=${speed%%[!0-9]*} ;; *) speed= ;; esac
  [ "$console" = tty0 ] && console=tty1
  if [ -z "$console" ]; then
    console=tty1
    ! has_display && usable ttyS0 && console=ttyS0 speed=115200
  fi
  # A serial console named on a server without that port: the operator is
  # at the screen then.
  usable "$console" || console=tty1 speed=
  tty=$RUNDIAGS_ROOT/dev/$console
  case $console in
    tty[0-9]*) term=linux ;;
    *) term=vt220 ;;
  esac
}
console_setup() { [ -n "$speed" ] && stty -F "$tty" "$speed" 2>/dev/null; }

quote() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"; }
# Helper settings from the kernel command line: rundiags.NAME=value becomes
# NAME=value in the helpers' environment.
settings_write() {
  local arg name
  set -f
  for arg in $cmdline; do
    case $arg in rundiags.*=*) ;; *) continue ;; esac
    name=${arg#rundiags.}; name=${name%%=*}
    case $name in
      ''|[0-9]*|*[!A-Za-z0-9_]*) warn "ignoring kernel argument $arg: not a variable name" ;;
      *) echo "export $name=$(quote "${arg#*=}")" >>"$envfile" ;;
    esac
  done
  set +f
}

# The device the medium was booted from, into boot: the boot loader names
# the image by its filesystem UUID; without that (a netboot) there is none.
# A USB stick may take some seconds to show up after its controller's
# driver. Without udev, blkid reads the labels from the devices themselves.
boot_device_find() {
  local id="$1" tries=0 disk
  boot=
  [ -n "$id" ] || return 0
  while [ $tries -lt "$boot_tries" ]; do
    boot=$(blkid -c /dev/null -o device -t UUID="$id" 2>/dev/null | head -n 1)
    [ -z "$boot" ] && boot=$(blkid -c /dev/null -o device -t LABEL=RUNDIAGS_BOOT 2>/dev/null | head -n 1)
    [ -n "$boot" ] && break
    tries=$((tries + 1))
    [ $((tries % 4)) -eq 0 ] && coldplug
    sleep 0.5
  done
  if [ -z "$boot" ]; then
    warn "The boot medium ($id) was not found: the burn-in may reach it."
  elif [ -e "$RUNDIAGS_ROOT/sys/class/block/${boot#/dev/}/partition" ]; then
    # A stick shows the label on a partition: name the disk that holds it.
    disk=$(readlink -f "$RUNDIAGS_ROOT/sys/class/block/${boot#/dev/}/..")
    boot=/dev/${disk##*/}
  fi
}

# The helpers' environment, sourced by each session. The medium's defaults
# come first, so that a rundiags.NAME=value setting overrides them; what
# the start-up found out comes last.
env_write() {
  : >"$envfile"
  echo "export RUNDIAGS_STATE_FILE=/run/rundiags/state.json" >>"$envfile"
  settings_write
  boot_device_find "$(getarg rundiags_medium)"
  echo "export DISKBURN_BOOT_DEVICE=$(quote "$boot")" >>"$envfile"
  # boot.ipxe says so on its kernel lines.
  hasarg rundiags_netboot && echo "export RUNDIAGS_NETBOOT=1" >>"$envfile"
  echo "export TERM=$term" >>"$envfile"
}

# Netbooted by a rack's server (its iPXE script passes rundiags_netboot and
# BOOTIF, the port it booted from): that port gets an address by DHCP, so
# the records reach the collector; what it did is in netup.log.
network_start() {
  hasarg rundiags_netboot || return 0
  bootif=$(getarg BOOTIF) || return 0
  "$medium_lib/netup" "$bootif" </dev/null >"$rundir/netup.log" 2>&1 &
}

# With a collector named (rundiags.RUNDIAGS_RESULTS=http://...), the
# uploader sends the records and the live state there for the whole boot.
uploader_start() {
  ( . "$envfile"; [ -n "${RUNDIAGS_RESULTS:-}" ] && exec "$medium_lib/uploader" ) \
    </dev/null >>"$rundir/uploader.log" 2>&1 &
}

# The operator's session: rundiags leads a session of its own with the
# console as its controlling terminal; when it is quit, a root shell takes
# the console, and leaving that shell brings rundiags back.
# shellcheck disable=SC2094
sessions_run() {
  while :; do
    setsid -c "$medium_lib/session" rundiags <"$tty" >"$tty" 2>&1
    setsid -c "$medium_lib/session" shell <"$tty" >"$tty" 2>&1 || sleep 1
  done
}
