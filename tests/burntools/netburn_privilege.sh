# Without the privilege to open raw sockets: a clear message and its own exit status.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
nb_can_run || exit $SKIP
command -v setpriv >/dev/null || { echo "SKIP: needs setpriv"; exit $SKIP; }
trap 'nb_cleanup; rm -rf "$WORK"' EXIT
nb_setup 2 || { fail "namespace setup"; finish; }
timeout 30 ip netns exec "$NB_HOST" setpriv --reuid=65534 --regid=65534 --clear-groups \
  --inh-caps=-all --bounding-set=-all "$NETBURN" -1 >"$WORK/out" 2>&1
expect_rc netburn 3 $?
expect_line "$WORK/out" '^netburn needs root privileges \(CAP_NET_RAW\) to open raw sockets\.$'
cat "$WORK/out"
finish
