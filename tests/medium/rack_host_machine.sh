#!/usr/bin/env bash
# One machine of the rack test played on the host by the sim/ helpers: the
# program runs unattended under a pseudo-terminal, in the collector's
# network namespace, with a /tmp and /run of its own (a mount namespace:
# its /tmp/burnin.log and /run/rundiags are not the host's), and the
# medium's uploader sends what makefloppy puts in its outbox to the
# collector. Runs until it is killed (the test does, once the record is in).
#   rack_host_machine.sh NETNS WORKDIR PROGRAM [VAR=VALUE...]
set -eu
ns=$1 work=$2 program=$(realpath "$3")
shift 3
top=$(cd "$(dirname "$0")/../.." && pwd)
mkdir -p "$work"
cd "$work"
exec ip netns exec "$ns" unshare -m --propagation private \
  env "$@" TOP="$top" PROGRAM="$program" sh -c '
  # The logs are opened before the private /tmp hides WORKDIR (if it is there).
  exec 3>uploader.log 4>screen.log
  mount -t tmpfs rack-tmp /tmp && mount -t tmpfs rack-run /run && mkdir -p /run/rundiags || exit 1
  export PATH="$TOP/sim:$PATH" RUNDIAGS_OUTBOX=/run/rundiags/outbox \
    RUNDIAGS_STATE_FILE=/run/rundiags/state.json RESULTS_DIR=/tmp/floppy TERM=vt220
  "$TOP/medium/uploader" >&3 2>&3 &
  # The program on a terminal whose keyboard is never touched.
  cd / && sleep 3600 | script -qfec "$PROGRAM" /dev/null >&4 2>&4
'
