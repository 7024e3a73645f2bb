#!/bin/bash
# The boot medium's budgets: build time, sizes, and boot time to the main
# menu under QEMU (software emulation) for each way of booting it.
#   bench/medium/medium_figures.sh [--fresh]
# --fresh builds into an empty directory (nothing downloaded yet) instead of
# build-medium/. Needs test_medium built (BUILD_DIR, default build/).
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$top/build}
out=$top/build-medium
if [ "${1:-}" = --fresh ]; then
  out=$(mktemp -d "$top/build-medium-fresh.XXXXXX")
  trap 'rm -rf "$out"' EXIT
fi
start=$(date +%s.%N)
MEDIUM_DIR=$out "$top/scripts/medium" >/dev/null || exit 1
end=$(date +%s.%N)
mib() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", b / 1048576 }'; }
awk -v a="$start" -v b="$end" 'BEGIN { printf "scripts/medium: %.0f s (budget 300 s)\n", b - a }' 
printf 'initrd.img: %s MiB (budget 96 MiB), uncompressed %s MiB\n' "$(mib "$out/initrd.img")" \
  "$(du -sm "$out/work/root" | cut -f1)"
printf 'rundiags.iso: %s MiB (budget 128 MiB)\n' "$(mib "$out/rundiags.iso")"
printf 'vmlinuz: %s MiB, %s kernel modules, %s firmware files\n' "$(mib "$out/vmlinuz")" \
  "$(find "$out/work/root/usr/lib/modules" -name '*.ko*' | wc -l)" "$(wc -l <"$out/work/firmware.list")"
# Boot time to the main menu (budget 30 s), as the tests print it.
RUNDIAGS_MEDIUM_DIR=$out "$build/tests/medium/test_medium" \
  --gtest_filter='Server.BootsToTheMainMenuOnTtyS0At80x25:Media.CdBoots*:Media.UsbStick*:Media.Netboots*' 2>&1 |
  sed -n 's/^\[ medium   \] //p'
