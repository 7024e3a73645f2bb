# One port alone, or none: the failure exit with the program's own wording.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
nb_can_run || exit $SKIP
trap 'nb_cleanup; rm -rf "$WORK"' EXIT
nb_setup 1 || { fail "namespace setup"; finish; }
timeout 30 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$WORK/one" 2>&1
expect_rc "one port" 2 $?
expect_line "$WORK/one" '^To pass the burn-in test, you need at least two network ports\.$'
expect_line "$WORK/one" '^Only one Ethernet port found \(p0\)\.$'
ip -n "$NB_HOST" link del p0
# A bridge is not a port of its own.
ip -n "$NB_HOST" link add brx type bridge
timeout 30 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$WORK/none" 2>&1
expect_rc "no port" 2 $?
expect_line "$WORK/none" '^Skipping brx: bridge\.$'
expect_line "$WORK/none" '^To pass the burn-in test, you need at least two network ports\.$'
timeout 30 ip netns exec "$NB_HOST" "$NETBURN" >"$WORK/usage" 2>&1
expect_rc "no -1" 1 $?
cat "$WORK/one" "$WORK/none"
finish
