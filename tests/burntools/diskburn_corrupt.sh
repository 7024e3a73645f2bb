# A byte changed between the write and the verify (test-build hook) fails
# the pass with the disk and the offset named.
. "$BURN_LIB/burn_lib.sh"
trap 'rm -rf "$WORK"' EXIT
truncate -s 32M "$WORK/a.img"
truncate -s 16M "$WORK/b.img"
for off in 0 12345679 33554431; do
  DISKBURN_TEST_CORRUPT=$off DISKBURN_TARGETS="$WORK/a.img:$WORK/b.img" timeout 60 \
    "$DISKBURN_HOOKS" --destroy >"$WORK/out" 2>&1
  expect_rc "corrupt at $off" 5 $?
  expect_line "$WORK/out" "^Disk $WORK/a.img: verify error at byte $off: "
  grep 'verify error' "$WORK/out"
done
finish
