# A clean pass over two files made here; without --destroy nothing is written.
. "$BURN_LIB/burn_lib.sh"
trap 'rm -rf "$WORK"' EXIT
truncate -s 64M "$WORK/a.img"
truncate -s $((48 * 1048576 + 3 * 4096 + 100)) "$WORK/b.img"   # odd size: a short last block and an untested tail

DISKBURN_TARGETS="$WORK/a.img:$WORK/b.img" timeout 60 "$DISKBURN" >"$WORK/dry" 2>&1
expect_rc "without --destroy" 1 $?
expect_line "$WORK/dry" '^Nothing written'
cmp -s -n $((64 * 1048576)) "$WORK/a.img" /dev/zero || fail "a.img changed without --destroy"

DISKBURN_TARGETS="$WORK/a.img:$WORK/b.img" timeout 60 "$DISKBURN" --destroy >"$WORK/first" 2>&1
expect_rc "first pass" 0 $?
RUNDIAGS_PASS=4 DISKBURN_TARGETS="$WORK/a.img:$WORK/b.img" timeout 60 "$DISKBURN" --destroy >"$WORK/out" 2>&1
expect_rc pass 0 $?
head -1 "$WORK/out" | grep -Eq '^ Pass 4 started 20[0-9]{2}-[01][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9] UTC\.$' ||
  fail "first line: $(head -1 "$WORK/out")"
expect_line "$WORK/out" "^Disk $WORK/a.img: regular file, 67\.1 MB\.$"
expect_line "$WORK/out" "^ $WORK/a.img: written in "
expect_line "$WORK/out" "^ $WORK/b.img: verified in "
expect_line "$WORK/out" "^ $WORK/b.img: the last 100 bytes are not a whole block and are not tested\.$"
tail -1 "$WORK/out" | grep -q '^Pass complete: 2 disks ' || fail "last line: $(tail -1 "$WORK/out")"
# Every sector now starts with its own byte offset.
for off in 0 512 $((33 * 1048576 + 1536)); do
  v=$(od -An -tu8 -N8 -j "$off" "$WORK/a.img" | tr -d ' ')
  [ "$v" = "$off" ] || fail "sector at $off stamped $v"
done
# Message lines never start with a blank; detail lines start with exactly one.
if grep -q '^  ' "$WORK/out"; then fail "a line starts with two blanks"; fi

# Progress goes to the log at each tenth of a pass, but never twice within
# ten seconds: a pass of a few seconds logs none, however many tenths it
# crosses.
DISKBURN_BLOCK_KIB=256 DISKBURN_TEST_DELAY_MS=5 DISKBURN_TARGETS="$WORK/a.img" timeout 60 \
  "$DISKBURN_HOOKS" --destroy >"$WORK/slow" 2>&1
expect_rc "slow pass" 0 $?
grep '^Pass [0-9]*% done' "$WORK/slow" && fail "progress logged within ten seconds of the start"
tail -1 "$WORK/slow" | grep -q '^Pass complete: 1 disk ' || fail "last line: $(tail -1 "$WORK/slow")"

DISKBURN_TARGETS= timeout 60 "$DISKBURN" --destroy >"$WORK/none" 2>&1
expect_rc "empty target list" 2 $?
expect_line "$WORK/none" '^No disks to test\.$'
DISKBURN_TARGETS="$WORK/missing.img" timeout 60 "$DISKBURN" --destroy >"$WORK/missing" 2>&1
expect_rc "missing target" 3 $?
cat "$WORK/out"
finish
