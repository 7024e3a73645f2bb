#!/bin/bash
# Frames/s of one netburn pass on veth ports joined by a Linux bridge, all
# inside namespaces made here (never the machine's own ports).
#   NETBURN=path/to/netburn [NETBURN_BEFORE=path/to/older/netburn] \
#     bench/burntools/netburn_veth.sh [SECONDS] [PORT COUNTS...]
# With NETBURN_BEFORE, each port count runs both binaries in turn on fresh
# namespaces (before, after, before, after), so that both see the same load.
# "sent" counts the frames the ports put on the wire; "delivered" the
# distinct frames the ports received (the sum of the last status line's
# counts), per second of the pass; the CPU time is netburn's own (user and
# system, which on veth includes most of the kernel's forwarding work).
set -u
: "${NETBURN:?set NETBURN to the netburn binary}"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../tests/burntools/netns_lib.sh"
nb_can_run || exit 77
secs=${1:-10}; shift || true
counts=${*:-2 3 4}
cpu_file=$(mktemp)
trap 'nb_cleanup; rm -f "$cpu_file"' EXIT

# run_once LABEL BINARY PORTS
run_once() {
  local label=$1 bin=$2 n=$3 out rc cpu fps delivered low
  NB_HOST="nbh-$$-$n-$RANDOM"; NB_SWITCH="nbs-$$-$n-$RANDOM"
  nb_setup "$n" || exit 1
  TIMEFORMAT='%U %S'
  { time out=$(NETBURN_PASS_SECONDS=$secs ip netns exec "$NB_HOST" "$bin" -1 2>&1); } 2>"$cpu_file"
  rc=$?
  cpu=$(awk '{ print $1 + $2 }' "$cpu_file")
  nb_cleanup
  fps=$(grep '^Pass complete' <<<"$out" | sed -E 's/.*[ (]([0-9]+) frames\/s.*/\1/')
  delivered=$(grep '^@' <<<"$out" | tail -1 | awk -v s="$secs" '{n=split($0,f,/[ =]+/); t=0; for(i=3;i<=n;i+=2) t+=f[i]; printf "%.0f", t/s}')
  low=$(awk '/^@/{n=split($0,f,/[ =]+/); s=substr(f[1],2)+0; for(i=2;i<n;i+=2){p=int((f[i+1]*1000+5)/s/10); if(m==""||p<m)m=p}} END{print m}' <<<"$out")
  printf '%s%d ports: exit %d, %s frames/s sent, %s frames/s delivered (%.1f MB/s), %s us CPU per delivered frame, lowest status %s%%\n' \
    "$label" "$n" "$rc" "${fps:-?}" "${delivered:-?}" "$(awk -v d="${delivered:-0}" 'BEGIN{print d*1514/1e6}')" \
    "$(awk -v c="$cpu" -v d="${delivered:-0}" -v s="$secs" 'BEGIN{ if (d > 0) printf "%.2f", c * 1e6 / (d * s); else print "?" }')" "${low:-?}"
}

for n in $counts; do
  if [ -n "${NETBURN_BEFORE:-}" ]; then
    for _ in 1 2; do run_once "before: " "$NETBURN_BEFORE" "$n"; run_once "after:  " "$NETBURN" "$n"; done
  else
    run_once "" "$NETBURN" "$n"
  fi
done
