# A switch that loses or damages frames.  1 in 8 lost towards a port reads
# 87 percent, which the program shows as BAD, so the pass fails (with every
# port's result line); 1 in 16 reads 93 percent and passes.  A port whose
# own frames are lost fails the pass even when each receiver's total still
# reads 90 percent or more: every sender-to-receiver pair is judged, and
# named by direction.  A frame damaged in its body is caught and fails the
# pass, named by direction too.
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
nb_can_run || exit $SKIP
: "${FRAME_RELAY:?}"
trap 'nb_cleanup; rm -rf "$WORK"' EXIT

# name | ports | switch fault | NETBURN_RATE | exit | lines that must be there (";;" between)
while IFS='|' read -r name ports fault rate want lines; do
  nb_cleanup
  NB_PIDS=()
  nb_setup "$ports" || { fail "$name: namespace setup"; continue; }
  $fault || { echo "SKIP: tc u32 and mirred unavailable"; exit $SKIP; }
  out="$WORK/$name"
  NETBURN_RATE=$rate NETBURN_PASS_SECONDS=2 timeout 60 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$out" 2>&1
  rc=$?
  expect_rc "$name" "$want" $rc
  nb_expect_agrees "$out" $rc
  mapfile -t res <<<"${lines//;;/$'\n'}"
  for re in "${res[@]}"; do expect_line "$out" "$re"; done
  grep -v '^@' "$out"
done <<'TABLE'
to-p1-1in8|3|nb_drop_every 1 8||4|^Port p1: received [0-9]+ of [0-9]+ frames \(87%\); missing [0-9]+ from p0, [0-9]+ from p2\.$;;^Port p0: received ([0-9]+) of \1 frames \(100%\)\.$;;^Pair p0 to p1: received [0-9]+ of [0-9]+ frames \(87%\)\.$;;^Pass failed: below 90%: p1 87%; p0 to p1: 87% received; p2 to p1: 87% received\.$
to-p1-1in16|3|nb_drop_every 1 16||0|^Port p1: received [0-9]+ of [0-9]+ frames \(93%\); ;;^Pass complete: all ports 93% or better; 
from-p1-1in4|6|nb_drop_from 1 4||4|^Port p0: received [0-9]+ of [0-9]+ frames \(9[45]%\); missing [0-9]+ from p1\.$;;^Pair p1 to p5: received [0-9]+ of [0-9]+ frames \((7[45])%\)\.$;;^Pass failed: p1 to p0: (7[45])% received; p1 to p2: \1% received; p1 to p3: \1% received; p1 to p4: \1% received; p1 to p5: \1% received\.$
from-p1-all|11|nb_drop_from 1 1||4|^Port p10: received [0-9]+ of [0-9]+ frames \(90%\); none from p1\.$;;^Pair p1 to p0: received 0 of [0-9]+ frames \(0%\)\.$;;^Pass failed: p1 to p0: 0% received; p1 to p10: 0% received; p1 to p2: 0% received; 
damaged|3|nb_damage 1 500|20000|4|^Pair p1 to p[02]: [0-9]+ frames? arrived corrupted \(not as sent; not counted\)\.$;;^Pass failed: (p1 to p[02]: [0-9]+ corrupted frames?(; |\.$))+
TABLE
finish
