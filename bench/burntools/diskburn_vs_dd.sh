#!/bin/bash
# diskburn's write and verify bandwidth against dd with direct I/O and fio
# (libaio, direct, the same block size and queue depth) on the same
# targets: a file made here, and loop devices made here over that file
# (buffered and with direct I/O to the file).
#   DISKBURN=path/to/diskburn bench/burntools/diskburn_vs_dd.sh [SIZE_MIB] [DIR]
#   BS_KIB (4096) and DEPTH (2) set the block size and requests in flight;
#   RUNS (3) how many times each is measured (the best counts).
# dd keeps one request in flight whatever DEPTH says.
set -u
: "${DISKBURN:?set DISKBURN to the diskburn binary}"
command -v fio >/dev/null || { echo "needs fio (scripts/deps installs it)" >&2; exit 1; }
mib=${1:-2048}
bs=${BS_KIB:-4096}
depth=${DEPTH:-2}
runs=${RUNS:-3}
dir=$(mktemp -d "${2:-/tmp}/diskbench.XXXXXX")
loop=
cleanup() { [ -n "$loop" ] && losetup -d "$loop"; rm -rf "$dir"; }
trap cleanup EXIT
# Its own disk set, and no wait before the writing: the timings are the pass's.
export DISKBURN_STATE_DIR=$dir/state DISKBURN_GRACE_SECONDS=0
count=$((mib * 1024 / bs))

# dd's rate in MB/s from its last line ("... bytes ... copied, S s, R MB/s")
dd_rate() {
  local b s
  read -r b s < <(dd "$@" 2>&1 | awk '/copied/{print $1, $(NF-3)}')
  awk -v b="$b" -v s="$s" 'BEGIN{printf "%.1f", b/s/1e6}'
}
# fio_rate RW TARGET: MB/s of one sequential pass
fio_rate() {
  fio --name=bench --filename="$2" --rw="$1" --bs="${bs}k" --iodepth="$depth" --ioengine=libaio --direct=1 \
    --size="${mib}M" --end_fsync=1 --output-format=json 2>/dev/null |
    perl -MJSON::PP -0777 -ne '$j = decode_json($_)->{jobs}[0]; printf "%.1f", ($j->{write}{bw_bytes} || $j->{read}{bw_bytes}) / 1e6'
}
best() { awk -v a="$1" -v b="$2" 'BEGIN{print (a+0 > b+0) ? a : b}'; }

bench() {  # bench LABEL TARGET
  local t=$2 ddw=0 ddr=0 fw=0 fr=0 bw=0 br=0 out i
  for ((i = 0; i < runs; i++)); do
    ddw=$(best "$ddw" "$(dd_rate if=/dev/zero of="$t" bs="${bs}k" count="$count" oflag=direct conv=notrunc,fdatasync)")
    ddr=$(best "$ddr" "$(dd_rate if="$t" of=/dev/null bs="${bs}k" count="$count" iflag=direct)")
    fw=$(best "$fw" "$(fio_rate write "$t")")
    fr=$(best "$fr" "$(fio_rate read "$t")")
    out=$(DISKBURN_BLOCK_KIB=$bs DISKBURN_QUEUE_DEPTH=$depth DISKBURN_TARGETS="$t" "$DISKBURN" --destroy 2>&1) ||
      { echo "$out"; return 1; }
    bw=$(best "$bw" "$(sed -nE 's/^ .*: written in .*, ([0-9.]+) MB\/s\.$/\1/p' <<<"$out")")
    br=$(best "$br" "$(sed -nE 's/^ .*: verified in .*, ([0-9.]+) MB\/s\.$/\1/p' <<<"$out")")
  done
  awk -v l="$1" -v dw="$ddw" -v dr="$ddr" -v fw="$fw" -v fr="$fr" -v bw="$bw" -v br="$br" 'BEGIN{
    printf "%-7s write: dd %7.1f, fio %7.1f, diskburn %7.1f MB/s (%3.0f%% of dd, %3.0f%% of fio)\n", l, dw, fw, bw, 100*bw/dw, 100*bw/fw;
    printf "%-7s read:  dd %7.1f, fio %7.1f, diskburn %7.1f MB/s verifying (%3.0f%% of dd, %3.0f%% of fio)\n", l, dr, fr, br, 100*br/dr, 100*br/fr }'
}

echo "$mib MiB, ${bs} KiB blocks, $depth in flight (dd: 1), best of $runs"
truncate -s "${mib}M" "$dir/f.img"
dd if=/dev/zero of="$dir/f.img" bs=4M count=$((mib / 4)) conv=notrunc,fdatasync status=none  # allocated, like a disk
bench file "$dir/f.img"
if [ "$(id -u)" = 0 ] && loop=$(losetup -f --show "$dir/f.img" 2>/dev/null); then
  bench loop "$loop"
  losetup -d "$loop"
  loop=$(losetup -f --show --direct-io=on "$dir/f.img") && bench "loopdio" "$loop"
fi
