#!/bin/bash
# diskburn's write and verify bandwidth against dd with direct I/O on the
# same target: a file made here, and a loop device made here over a file.
#   DISKBURN=path/to/diskburn bench/burntools/diskburn_vs_dd.sh [SIZE_MIB] [DIR]
set -u
: "${DISKBURN:?set DISKBURN to the diskburn binary}"
mib=${1:-2048}
dir=$(mktemp -d "${2:-/tmp}/diskbench.XXXXXX")
loop=
cleanup() { [ -n "$loop" ] && losetup -d "$loop"; rm -rf "$dir"; }
trap cleanup EXIT

# dd's rate in MB/s from its last line ("... bytes ... copied, S s, R MB/s")
dd_rate() { local b s; read -r b s < <(dd "$@" 2>&1 | awk '/copied/{print $1, $(NF-3)}'); awk -v b="$b" -v s="$s" 'BEGIN{printf "%.1f", b/s/1e6}'; }

# Best of $runs for each (the machine may be busy), dd and diskburn interleaved.
runs=${RUNS:-3}
best() { awk -v a="$1" -v b="$2" 'BEGIN{print (a+0 > b+0) ? a : b}'; }
bench() {  # bench LABEL TARGET
  local t=$2 ddw=0 ddr=0 bw=0 br=0 out i
  for ((i = 0; i < runs; i++)); do
    ddw=$(best "$ddw" "$(dd_rate if=/dev/zero of="$t" bs=4M count=$((mib / 4)) oflag=direct conv=notrunc,fdatasync)")
    ddr=$(best "$ddr" "$(dd_rate if="$t" of=/dev/null bs=4M count=$((mib / 4)) iflag=direct)")
    out=$(DISKBURN_TARGETS="$t" "$DISKBURN" --destroy 2>&1) || { echo "$out"; return 1; }
    bw=$(best "$bw" "$(sed -nE 's/^ .*: written in .*, ([0-9.]+) MB\/s\.$/\1/p' <<<"$out")")
    br=$(best "$br" "$(sed -nE 's/^ .*: verified in .*, ([0-9.]+) MB\/s\.$/\1/p' <<<"$out")")
  done
  awk -v l="$1" -v dw="$ddw" -v dr="$ddr" -v bw="$bw" -v br="$br" -v m="$mib" 'BEGIN{
    mb = m * 1.048576;
    printf "%-7s write: dd %7.1f MB/s, diskburn %7.1f MB/s (%.0f%%)\n", l, dw, bw, 100*bw/dw;
    printf "%-7s read:  dd %7.1f MB/s, diskburn %7.1f MB/s, verifying (%.0f%%)\n", l, dr, br, 100*br/dr;
    printf "%-7s both:  dd %.2f s, diskburn %.2f s for %d MiB written and read (%.0f%%)\n", l, mb/dw+mb/dr, mb/bw+mb/br, m, 100*(mb/dw+mb/dr)/(mb/bw+mb/br) }'
}

truncate -s "${mib}M" "$dir/f.img"
dd if=/dev/zero of="$dir/f.img" bs=4M count=$((mib / 4)) conv=notrunc,fdatasync status=none  # allocated, like a disk
bench file "$dir/f.img"
if [ "$(id -u)" = 0 ] && loop=$(losetup -f --show "$dir/f.img" 2>/dev/null); then
  bench loop "$loop"
  losetup -d "$loop"
  loop=$(losetup -f --show --direct-io=on "$dir/f.img") && bench "loopdio" "$loop"
fi
