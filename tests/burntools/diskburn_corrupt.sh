# A byte changed between the write and the verify (test-build hook) fails
# the pass with the disk and the offset named; so does a block of another
# target's data.
. "$BURN_LIB/burn_lib.sh"
trap 'rm -rf "$WORK"' EXIT
truncate -s 32M "$WORK/a.img"
truncate -s 16M "$WORK/b.img"
# hooked HOOK=VALUE: a pass over both files with that fault, into $WORK/out
hooked() { env "$1" DISKBURN_TARGETS="$WORK/a.img:$WORK/b.img" timeout 60 "$DISKBURN_HOOKS" --destroy >"$WORK/out" 2>&1; }
for off in 0 12345679 33554431; do
  hooked DISKBURN_TEST_CORRUPT=$off
  expect_rc "corrupt at $off" 5 $?
  expect_line "$WORK/out" "^Disk $WORK/a.img: verify error at byte $off: "
  grep 'verify error' "$WORK/out"
done
# The first target's block written to the second (a confused controller, two
# paths to one LUN): the second target's verify names whose data it holds.
for off in 0 4096 12345678; do
  at=$((off / 4096 * 4096))
  hooked DISKBURN_TEST_MISDIRECT=$off
  expect_rc "misdirected to $off" 5 $?
  expect_line "$WORK/out" "^Disk $WORK/b.img: verify error at byte $at: it holds the data written for $WORK/a.img at byte $at \(misdirected write\); 8 of 8192 sectors in the block at byte $((at / 4194304 * 4194304)) differ\.$"
  grep 'verify error' "$WORK/out"
done
finish
