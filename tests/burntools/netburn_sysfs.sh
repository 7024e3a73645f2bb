# sysfs that answers oddly never stops the test: in a fake tree (the test
# root, RUNDIAGS_ROOT: its sys/ is read instead of /sys) p0's attributes are
# a directory, binary, huge, empty, a FIFO nobody writes, a device that
# answers ENXIO and a file that fails with EIO; p1 has none at all.  The
# ports are tested as well as what is known allows; p2, a bridge by its
# sysfs, is left out.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
nb_can_run || exit $SKIP
trap 'nb_cleanup; rm -rf "$WORK"' EXIT
nb_setup 3 || { fail "namespace setup"; finish; }

sys="$WORK/sys/class/net"
mkdir -p "$sys/p0/statistics" "$sys/p1" "$sys/p2/bridge"
mkdir "$sys/p0/carrier"                                      # EISDIR
printf '\0\001\377' >"$sys/p0/speed"                         # binary
yes full | head -c 2000000 >"$sys/p0/duplex"                 # huge text
truncate -s 2G "$sys/p0/uevent"                              # huge and sparse
: >"$sys/p0/carrier_down_count"                              # empty
mkfifo "$sys/p0/carrier_changes"                             # blocks a plain open
mknod "$sys/p0/statistics/tx_errors" c 4000 0 2>/dev/null    # ENXIO
ln -s /proc/self/mem "$sys/p0/statistics/rx_errors"          # EIO on read
printf '12abc\n' >"$sys/p0/statistics/rx_dropped"            # not a number
printf '0x\n' >"$sys/p0/statistics/tx_dropped"

RUNDIAGS_ROOT="$WORK" NETBURN_PASS_SECONDS=2 timeout 30 \
  ip netns exec "$NB_HOST" "$NETBURN" -1 >"$WORK/out" 2>&1
rc=$?
expect_rc netburn 0 $rc
expect_line "$WORK/out" '^Skipping p2: bridge\.$'
expect_line "$WORK/out" '^Testing 2 Ethernet ports: p0 p1$'
for p in p0 p1; do
  expect_line "$WORK/out" "^Port $p: link up, speed unknown, duplex unknown\.$"
  expect_line "$WORK/out" "^Port $p: received ([0-9]+) of \1 frames \(100%\)\.$"
done
tail -1 "$WORK/out" | grep -q '^Pass complete: all ports 100%; ' || fail "last line: $(tail -1 "$WORK/out")"

# A port gone from sysfs altogether is left out, with the reason.
rm -rf "$sys/p1"
RUNDIAGS_ROOT="$WORK" NETBURN_PASS_SECONDS=1 timeout 30 \
  ip netns exec "$NB_HOST" "$NETBURN" -1 >"$WORK/gone" 2>&1
expect_rc "p1 not in sysfs" 2 $?
expect_line "$WORK/gone" '^Skipping p1: not in sysfs\.$'
grep -v '^@' "$WORK/out"
finish
