#!/bin/bash
# Frames/s and bytes/s of one netburn pass on veth ports joined by a Linux
# bridge, all inside namespaces made here (never the machine's own ports).
#   NETBURN=path/to/netburn bench/burntools/netburn_veth.sh [SECONDS] [PORT COUNTS...]
set -u
: "${NETBURN:?set NETBURN to the netburn binary}"
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../../tests/burntools/netns_lib.sh"
nb_can_run || exit 77
secs=${1:-10}; shift || true
counts=${*:-2 3 4}
for n in $counts; do
  NB_HOST="nbh-$$-$n"; NB_SWITCH="nbs-$$-$n"
  trap nb_cleanup EXIT
  nb_setup "$n" || exit 1
  out=$(NETBURN_PASS_SECONDS=$secs ip netns exec "$NB_HOST" "$NETBURN" -1 2>&1)
  rc=$?
  nb_cleanup
  line=$(grep '^Pass complete' <<<"$out")
  fps=$(sed -E 's/.* ([0-9]+) frames\/s.*/\1/' <<<"$line")
  mbs=$(sed -E 's/.*, ([0-9.]+) MB\/s sent.*/\1/' <<<"$line")
  low=$(awk '/^@/{n=split($0,f,/[ =]+/); s=substr(f[1],2)+0; for(i=2;i<n;i+=2){p=int((f[i+1]*1000+5)/s/10); if(m==""||p<m)m=p}} END{print m}' <<<"$out")
  printf '%d ports: exit %d, %s frames/s sent, %s MB/s sent, %s MB/s delivered (x%d receivers), lowest status %s%%\n' \
    "$n" "$rc" "$fps" "$mbs" "$(awk -v a="$mbs" -v k=$((n - 1)) 'BEGIN{printf "%.1f", a*k}')" $((n - 1)) "$low"
done
