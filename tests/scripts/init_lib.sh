#!/bin/sh
# The medium's start-up steps (medium/init-lib.sh) on fake servers: for each
# kernel command line the console the operator gets, the helpers'
# environment and the warnings. Run by sh, and by busybox sh with busybox's
# own tools (as on the medium) when BUSYBOX names it.
export LC_ALL=C
top=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d) || exit 1
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin" "$scratch/applets"
if [ -n "${BUSYBOX:-}" ]; then
  for a in $("$BUSYBOX" --list); do ln -s "$BUSYBOX" "$scratch/applets/$a"; done
fi
# blkid answers from the fake server's table of TAG=value device lines.
# shellcheck disable=SC2016
printf '#!/bin/sh\neval "tag=\\${$#}"\nsed -n "s|^$tag ||p" "$RUNDIAGS_ROOT/blkid"\n' >"$scratch/bin/blkid"
chmod +x "$scratch/bin/blkid"
export PATH="$scratch/bin:$scratch/applets:$PATH"
esc=$(printf '\033') ff=$(printf '\377')
bytes() { printf '%s\n' "$1" | sed "s/<033>/$esc/g; s/<377>/$ff/g"; }

# A fake server at $1: a dummy console and a serial port without a UART,
# unless vga (a VGA text console), fb (a frame buffer), uart (ttyS0 has
# one); cd, stick: blkid finds the medium by its UUID, or by its label on
# sdb1. A file name that a glob in the command line would match.
server() {
  r=$1 && shift
  mkdir -p "$r/proc" "$r/sys/class/tty/ttyS0" "$r/sys/class/vtconsole/vtcon0" "$r/dev" "$r/run/rundiags"
  echo 1 >"$r/sys/class/vtconsole/vtcon0/bind"
  echo '(S) dummy device' >"$r/sys/class/vtconsole/vtcon0/name"
  echo 0 >"$r/sys/class/tty/ttyS0/type"
  : >"$r/dev/tty0" && : >"$r/dev/tty1" && : >"$r/dev/ttyS0" && : >"$r/blkid" && : >"$r/rundiags.G=matched"
  for w; do
    case $w in
      vga) echo '(S) VGA+' >"$r/sys/class/vtconsole/vtcon0/name" ;;
      fb) mkdir -p "$r/sys/class/graphics/fb0" ;;
      uart) echo 4 >"$r/sys/class/tty/ttyS0/type" ;;
      cd) echo 'UUID=2026-12-07-16-53-12-00 /dev/sr0' >"$r/blkid" ;;
      stick) echo 'LABEL=RUNDIAGS_BOOT /dev/sdb1' >"$r/blkid"
             mkdir -p "$r/sys/devices/usb/sdb/sdb1" "$r/sys/class/block" && : >"$r/sys/devices/usb/sdb/sdb1/partition"
             ln -s ../../devices/usb/sdb/sdb1 "$r/sys/class/block/sdb1" ;;
    esac
  done
}

list() { sep=; while IFS= read -r l; do printf '%s%s' "$sep" "$l"; sep='; '; done; }
# The start-up's steps on the fake server at $1, up to the sessions:
# "console speed TERM | environment | warnings".
# shellcheck source=medium/init-lib.sh disable=SC2034,SC2154
boot_up() (
  cd "$1" && export RUNDIAGS_ROOT="$1" && . "$top/medium/init-lib.sh"
  boot_tries=1
  warnings_start && cmdline_load && console_choose && env_write
  env=$envfile
  [ "$(head -n 1 "$env")" = "export RUNDIAGS_STATE_FILE=/run/rundiags/state.json" ] || printf 'no state file: '
  printf '%s %s %s | ' "$console" "${speed:--}" "$(sed -n '$s/^export TERM=//p' "$env")"
  sed '1d;$d;s/^export //' "$env" | list
  [ -s "$rundir/warnings" ] && printf ' | ' && list <"$rundir/warnings"
)

fails=0 n=0
while IFS= read -r row; do
  case $row in ''|'#'*) continue ;; esac
  n=$((n + 1))
  rest=${row#* | }
  # shellcheck disable=SC2086
  server "$scratch/$n" ${row%% | *}
  bytes "${rest%% | *}" >"$scratch/$n/proc/cmdline"
  got=$(boot_up "$scratch/$n" </dev/null) want=$(bytes "${rest#* | }")
  [ "$got" = "$want" ] && continue
  fails=$((fails + 1))
  printf 'not ok %s: %s\n  got:  %s\n  want: %s\n' "$n" "$rest" "$got" "$want"
done <<'TABLE'
# server | kernel command line | console speed TERM | environment | warnings
vga uart | quiet | tty1 - linux | DISKBURN_BOOT_DEVICE=''
vga uart | quiet console=ttyS0,115200n8 | ttyS0 115200 vt220 | DISKBURN_BOOT_DEVICE=''
vga uart | console=tty0 console=ttyS0,57600n8 | ttyS0 57600 vt220 | DISKBURN_BOOT_DEVICE=''
vga uart | console=ttyS0,115200n8 console=tty0 | tty1 - linux | DISKBURN_BOOT_DEVICE=''
uart | quiet | ttyS0 115200 vt220 | DISKBURN_BOOT_DEVICE=''
fb uart | quiet | tty1 - linux | DISKBURN_BOOT_DEVICE=''
- | quiet | tty1 - linux | DISKBURN_BOOT_DEVICE=''
vga | console=ttyS0,115200n8 | tty1 - linux | DISKBURN_BOOT_DEVICE=''
vga uart | console=ttyS1,57600n8 | tty1 - linux | DISKBURN_BOOT_DEVICE=''
vga uart | rundiags.NETBURN_RATE=20000 rundiags.X=it's rundiags.Y=a=b"$`\*?<377> rundiags.G=* | tty1 - linux | NETBURN_RATE='20000'; X='it'\''s'; Y='a=b"$`\*?<377>'; G='*'; DISKBURN_BOOT_DEVICE=''
vga uart | rundiags.1X=a rundiags.A-B=c rundiags.=d rundiags.A<033>B=e rundiags.OK=1 rundiags.NOVALUE | tty1 - linux | OK='1'; DISKBURN_BOOT_DEVICE='' | ignoring kernel argument rundiags.1X=a: not a variable name; ignoring kernel argument rundiags.A-B=c: not a variable name; ignoring kernel argument rundiags.=d: not a variable name; ignoring kernel argument rundiags.AB=e: not a variable name
vga uart | rundiags.RUNDIAGS_STATE_FILE=/tmp/state.json | tty1 - linux | RUNDIAGS_STATE_FILE='/tmp/state.json'; DISKBURN_BOOT_DEVICE=''
vga uart cd | rundiags_medium=2026-12-07-16-53-12-00 | tty1 - linux | DISKBURN_BOOT_DEVICE='/dev/sr0'
vga uart stick | rundiags_medium=2026-12-07-16-53-12-00 | tty1 - linux | DISKBURN_BOOT_DEVICE='/dev/sdb'
vga uart | rundiags_medium=1234-ABCD | tty1 - linux | DISKBURN_BOOT_DEVICE='' | The boot medium (1234-ABCD) was not found: the burn-in may reach it.
vga uart | quiet rundiags_netboot console=ttyS0,115200n8 | ttyS0 115200 vt220 | DISKBURN_BOOT_DEVICE=''; RUNDIAGS_NETBOOT=1
TABLE

# The run's name: the boot's start time and the first 4 digits of a random UUID.
root=$scratch/run && server "$root" vga
echo 'btime 1796662392' >"$root/proc/stat"
mkdir -p "$root/proc/sys/kernel/random" && echo 3f9a0c1e-5b7d-4e2a-9c3f-0123456789ab >"$root/proc/sys/kernel/random/uuid"
# shellcheck source=medium/init-lib.sh
(RUNDIAGS_ROOT=$root && . "$top/medium/init-lib.sh" && run_name_write)
[ "$(cat "$root/run/rundiags/run")" = 20261207T165312Z-3f9a ] || { fails=$((fails + 1)); echo "not ok run name"; }
sh -n "$top/medium/init" || fails=$((fails + 1))

echo "$n command lines, $fails failed"
[ "$n" -ge 16 ] && [ $fails -eq 0 ]
