# The fault matrix: each row of matrix.txt builds a fault around netburn or
# diskburn -- in network namespaces, loop devices and fake machines made
# here, nothing else -- runs the helper and checks its verdict for every
# port and disk against the row.  Disks left out must hold exactly the
# bytes they held before.
#
#   faults.sh [ROW...]     every row, or the rows named; prints the table
#   FAULTS_FULL=1          the long run counts (the slow and jittery rows)
#
# Exit 0 when every row got what it expects, 1 otherwise, 77 when this
# machine cannot build the faults (no root, namespaces or loop devices).
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
: "${BURN_LIB:=$here/../burntools}"
: "${FAULTS_RELAY:?}"
. "$BURN_LIB/burn_lib.sh"
. "$BURN_LIB/netns_lib.sh"
. "$BURN_LIB/diskburn_lib.sh"
trap 'rm -rf "$WORK"' EXIT
RESULTS=$WORK/results

can_run() {
  nb_can_run || return 1
  command -v losetup >/dev/null || { echo "SKIP: needs losetup"; return 1; }
  command -v tc >/dev/null || { echo "SKIP: needs tc"; return 1; }
}

# One run of a row, in a subshell of its own so that its namespaces, loop
# devices and mounts go with it; prints what the helper's verdict was.
run_once() {
  local kind=$1 setup=$2 dir=$3 want=$4
  (
    OUT=$dir
    WORK=$dir/tmp
    mkdir -p "$WORK"
    if [ "$kind" = net ]; then
      trap nb_cleanup EXIT
      net_run "$setup"
    else
      trap disk_cleanup EXIT
      disk_run "$setup" "$want"
    fi
  )
}

# run_row NAME RUNS SETUP EXPECTED: all its runs; appends a result line
# "name, expected, got, runs matched/runs, seconds, ok or WRONG" (tabs).
run_row() {
  local name=$1 runs=$2 setup=$3 want=$4 kind=${1%%.*} i got first="" bad="" badrun=0 good=0 t0 t1
  t0=$(nb_now_us)
  for ((i = 1; i <= runs; i++)); do
    got=$(run_once "$kind" "$setup" "$WORK/$name.$i" "$want")
    [ -n "$first" ] || first=$got
    if "${kind}_matches" "$want" "$got"; then
      good=$((good + 1))
    elif [ -z "$bad" ]; then
      bad=$got badrun=$i
    fi
  done
  t1=$(nb_now_us)
  local verdict=ok
  [ "$good" = "$runs" ] || verdict=WRONG
  printf '%s\t%s\t%s\t%d/%d\t%.1f\t%s\n' "$name" "$want" "${bad:-$first}" "$good" "$runs" \
    "$(((t1 - t0) / 1000))e-3" "$verdict" >>"$RESULTS"
  [ "$verdict" = ok ] || { echo "--- $name, run $badrun:"; grep -v '^@' "$WORK/$name.$badrun/out"; }
  tail -1 "$RESULTS"
}

print_table() {
  echo
  printf '| %s | %s | %s | %s | %s | %s |\n' row expected got runs seconds verdict
  printf '|---|---|---|---|---|---|\n'
  sed 's/|/\\|/g; s/\t/ | /g; s/^/| /; s/$/ |/' "$RESULTS"
  awk -F'\t' '{ t += $5 } $6 != "ok" { w++ } END { printf "\n%d rows, %d wrong, %.0f s in all\n", NR, w, t }' "$RESULTS"
}

# ---- Network rows --------------------------------------------------------
declare -A OPT

# parse_opts SETUP: OPT[key]=value for key=value, OPT[word]=1 for a word.
parse_opts() {
  local tok
  OPT=()
  for tok in $1; do
    case $tok in *=*) OPT[${tok%%=*}]=${tok#*=} ;; *) OPT[$tok]=1 ;; esac
  done
}

sw() { ip netns exec "$NB_SWITCH" "$@"; }
host() { ip netns exec "$NB_HOST" "$@"; }

# sink NAME: a switch-side veth end that is down; frames sent to it are lost.
sink() { ip -n "$NB_SWITCH" link add name "$1" type veth peer name "${1}b"; }

# Port P loses 1 in N (a power of two; 1: all) of what it sends: the switch
# drops them as they come in.
lose_tx() {
  local p=${1%:*} mask=$((${1#*:} - 1))
  sink "skt$p" && sw tc qdisc add dev "s$p" clsact &&
    sw tc filter add dev "s$p" ingress protocol all \
      u32 match u8 0 "$(printf 0x%x "$mask")" at 16 action mirred egress redirect dev "skt$p"
}

# Ports A and B do not hear each other: each one's switch port drops what
# comes from the other's hardware address (6 bytes before the EtherType).
deaf() {
  local a=${1%-*} b=${1#*-} from to mac
  for from in "$a" "$b"; do
    to=$((from == a ? b : a))
    mac=$(host cat "/sys/class/net/p$from/address") && mac=${mac//:/}
    sink "skd$to" && sw tc qdisc add dev "s$to" clsact &&
      sw tc filter add dev "s$to" egress protocol all u32 match u32 "0x${mac:0:8}" 0xffffffff at -8 \
        match u16 "0x${mac:8:4}" 0xffff at -4 action mirred egress redirect dev "skd$to" || return 1
  done
}

# switches=0,1/2,3,4: the first group stays on br0, each further one gets a
# bridge of its own.
switches() {
  local g=0 group i
  for group in ${1//\// }; do
    if [ "$g" -gt 0 ]; then
      ip -n "$NB_SWITCH" link add "br$g" type bridge && ip -n "$NB_SWITCH" link set "br$g" up || return 1
      for i in ${group//,/ }; do ip -n "$NB_SWITCH" link set "s$i" master "br$g" || return 1; done
    fi
    g=$((g + 1))
  done
}

# cables=0-1,2-3: those ports are cabled to each other, not to the switch.
cables() {
  local pair a b
  for pair in ${1//,/ }; do
    a=${pair%-*} b=${pair#*-}
    ip -n "$NB_HOST" link del "p$a" && ip -n "$NB_HOST" link del "p$b" &&
      ip -n "$NB_HOST" link add "p$a" type veth peer name "p$b" &&
      ip -n "$NB_HOST" link set "p$a" up && ip -n "$NB_HOST" link set "p$b" up || return 1
  done
}

# Every link at its rate, both ways: the host's side queues (as a NIC's
# queue holds the sender back), the switch's side holds what a switch port's
# buffer holds.
shape() {
  local i=0 r
  for r in ${1//,/ }; do
    if [ "$r" != - ]; then
      host tc qdisc add dev "p$i" root tbf rate "$r" burst 16kb limit 1mb || return 1
      sw tc qdisc add dev "s$i" root tbf rate "$r" burst 16kb limit 256kb || return 1
    fi
    i=$((i + 1))
  done
}

# corrupt=P:N: port P's switch port leaves the bridge for a relay that
# changes a byte in every Nth frame going to P.
relay() {
  local p=${1%:*} every=${1#*:} S=(ip -n "$NB_SWITCH")
  "${S[@]}" link set "s$p" nomaster && "${S[@]}" link add "c$p" type veth peer name "c${p}b" &&
    "${S[@]}" link set "c${p}b" master br0 && "${S[@]}" link set "c${p}b" up &&
    "${S[@]}" link set "c$p" up || return 1
  # Started directly (not through sw, a function, which would put a subshell
  # between $! and the relay) so that the cleanup's kill reaches it.
  ip netns exec "$NB_SWITCH" "$FAULTS_RELAY" "c$p" "s$p" "$every" &
  NB_PIDS+=("$!")
}

busy() {
  local i
  for i in 1 2; do
    sh -c 'while :; do :; done' &
    NB_PIDS+=("$!")
  done
}

net_build() {
  local ports=${OPT[ports]} all i
  all=$(for ((i = 0; i < ports; i++)); do printf "%s," "${OPT[rate]:-}"; done)
  nb_setup "$ports" || return 1
  [ -z "${OPT[cables]:-}" ] || cables "${OPT[cables]}" || return 1
  [ -z "${OPT[switches]:-}" ] || switches "${OPT[switches]}" || return 1
  [ -z "${OPT[rate]:-}" ] || shape "$all" || return 1
  [ -z "${OPT[rates]:-}" ] || shape "${OPT[rates]}" || return 1
  [ -z "${OPT[lose_rx]:-}" ] || nb_drop_every "${OPT[lose_rx]%:*}" "${OPT[lose_rx]#*:}" || return 1
  [ -z "${OPT[lose_tx]:-}" ] || lose_tx "${OPT[lose_tx]}" || return 1
  [ -z "${OPT[deaf]:-}" ] || deaf "${OPT[deaf]}" || return 1
  [ -z "${OPT[mirror]:-}" ] || nb_mirror "${OPT[mirror]%:*}" "${OPT[mirror]#*:}" || return 1
  [ -z "${OPT[corrupt]:-}" ] || relay "${OPT[corrupt]}" || return 1
  [ -z "${OPT[nolink]:-}" ] || ip -n "$NB_SWITCH" link set "s${OPT[nolink]}" down || return 1
  [ -z "${OPT[busy]:-}" ] || busy
}

# One pass of netburn; a flap takes the switch port down and up once the
# status lines flow.
net_go() {
  local pid p=${OPT[flap]:-}
  NETBURN_PASS_SECONDS=${OPT[secs]:-1.5} NETBURN_RATE=${OPT[netrate]:-} \
    timeout 60 ip netns exec "$NB_HOST" "$NETBURN" -1 >"$OUT/out" 2>&1 &
  pid=$!
  if [ -n "$p" ]; then
    for _ in $(seq 100); do grep -q '^@' "$OUT/out" && break; sleep 0.05; done
    ip -n "$NB_SWITCH" link set "s$p" down && ip -n "$NB_SWITCH" link set "s$p" up
  fi
  wait "$pid"
  echo $? >"$OUT/rc"
}

# The ports the failed pass names, each with what the lines show of it:
# link (lost or never up), rx (it missed frames, or got damaged or repeated
# ones, or a reason names it as the receiver: "p0 to p1: ...", "p1 does not
# hear p0"), tx (its frames went missing at another port, or a reason names
# it as the sender).
net_blamed() {
  local out=$OUT/out last p tags res=""
  last=$(tail -1 "$out")
  for ((p = 0; p < ${OPT[ports]}; p++)); do
    grep -qw -- "p$p" <<<"$last" || continue
    tags=""
    grep -Eq "^Port p$p: (no link|link lost)" "$out" && tags+="+link"
    grep -Eq "^Port p$p: (received [0-9]+ of [0-9]+ frames \([0-9]+%\); |.*(corrupt|damaged|repeated))" "$out" ||
      grep -Eq "to p$p: |\bp$p does not hear" <<<"$last" && tags+="+rx"
    grep -Eq "^Port p[0-9]+: received [0-9]+ of [0-9]+ frames \([0-9]+%\); .*\bp$p\b" "$out" ||
      grep -Eq "\bp$p to p[0-9]+: |not hear p$p\b" <<<"$last" && tags+="+tx"
    res+=" p$p:${tags#+}"
  done
  echo "FAIL${res}"
}

# What netburn's lines and exit status say: PASS (with its groups), FAIL
# with the ports it blames, or anything else as it came.
net_verdict() {
  local rc last groups
  rc=$(cat "$OUT/rc")
  last=$(tail -1 "$OUT/out")
  if [ "$rc" = 0 ] && [[ $last == "Pass complete:"* ]]; then
    groups=$(sed -n 's/^Group [0-9]*: \(.*\)\.$/\1/p' "$OUT/out" | paste -sd';')
    [ -z "$groups" ] || [[ $last == *" groups (${groups//;/; })"* ]] || groups+=" (not in the last line)"
    echo "PASS${groups:+ groups=$groups}"
  elif [ "$rc" = 4 ] && [[ $last == "Pass failed:"* ]]; then
    net_blamed
  else
    echo "exit $rc: ${last:0:50}"
  fi
}

net_run() {
  parse_opts "$1"
  if ! net_build >"$OUT/setup" 2>&1; then
    echo "setup failed: $(tail -1 "$OUT/setup")"
    return
  fi
  net_go
  net_verdict
}

# net_matches WANT GOT: a PASS must be the same; a FAIL must name every
# port the row names, with the evidence it names ("only": and no other).
net_matches() {
  local want=$1 got=$2 item tags
  [[ $want == PASS* ]] && { [ "$got" = "$want" ]; return; }
  [[ $got == FAIL* ]] || return 1
  for item in ${want#FAIL}; do
    [ "$item" = only ] && continue
    tags=$(grep -o "\b${item%:*}:[a-z+]*" <<<"$got") || return 1
    [ "${item#*:}" = any ] || [[ +${tags#*:}+ == *+${item#*:}+* ]] || return 1
  done
  [[ $want != *" only" ]] || [ "$(($(wc -w <<<"$got") + 1))" = "$(wc -w <<<"$want")" ]
}

# ---- Disk rows -------------------------------------------------------------
# Each disk is a loop device over an image made here, entered in a fake
# machine (DISKBURN_ROOT) under its own name; IMG[name] is its image.
declare -A IMG LOOP

# The image, with what the kind puts on it before it is attached.
disk_image() {
  local name=$1 kind=$2 img=$WORK/$1.img
  if [ "$kind" = full ]; then
    # Its filesystem has room for a quarter of it: writes past that fail.
    mkdir -p "$WORK/full" && mount -t tmpfs -o size=2m tmpfs "$WORK/full" || return 1
    DB_MOUNTS+=("$WORK/full")
    img=$WORK/full/$name.img
  fi
  truncate -s 8M "$img" || return 1
  case $kind in
    stick) mkfs.fat -n RUNDIAGS "$img" >/dev/null || return 1 ;;
    iso)
      printf '\001CD001\001' | dd of="$img" bs=1 seek=32768 conv=notrunc status=none
      printf '%-32s' RUNDIAGS_BOOT | dd of="$img" bs=1 seek=$((32768 + 40)) conv=notrunc status=none ;;
  esac
  IMG[$name]=$img
}

# What the fake machine says about the disk, by kind.
disk_sysfs() {
  local name=$1 kind=$2 dev b=$FR/sys/block/$1
  dev=$(devnum "${LOOP[$name]}")
  case $kind in
    mounted) echo "30 1 $dev / /srv rw - ext4 /dev/$name rw" >>"$FR/proc/self/mountinfo" ;;
    md) mkdir -p "$b/holders/md0" ;;
    swap) printf '/dev/%s\tpartition\t8188\t0\t-2\n' "$name" >>"$FR/proc/swaps" ;;
    boot) DISKBURN_BOOT=/dev/$name ;;
    zoned) mkdir -p "$b/queue" && echo host-managed >"$b/queue/zoned" ;;
    disk4k) mkdir -p "$b/queue" && echo 4096 >"$b/queue/logical_block_size" &&
      echo 4096 >"$b/queue/physical_block_size" ;;
    loopback)
      # loop7 holds a mounted filesystem and is backed by this disk.
      mkdir -p "$FR/sys/block/loop7/loop" && echo 7:200 >"$FR/sys/block/loop7/dev" &&
        echo "/dev/$name" >"$FR/sys/block/loop7/loop/backing_file" &&
        ln -s ../../block/loop7 "$FR/sys/dev/block/7:200" &&
        echo "31 1 7:200 / /mnt/image rw - ext4 /dev/loop7 rw" >>"$FR/proc/self/mountinfo" ;;
  esac
}

# disk_make NAME KIND: a disk of that kind in the fake machine; path:OTHER
# is a second loop device over OTHER's image with OTHER's WWID.
disk_make() {
  local name=$1 kind=$2 wwid args=()
  wwid=naa.5000c500$(printf %s "$name" | od -An -tx1 | tr -d ' \n')
  if [[ $kind == path:* ]]; then
    IMG[$name]=${IMG[${kind#path:}]}
    wwid=$(cat "$FR/sys/block/${kind#path:}/device/wwid")
  else
    disk_image "$name" "$kind" || return 1
  fi
  [ "$kind" = disk4k ] && args=(-b 4096)
  db_loop "LOOP[$name]" "${args[@]}" "${IMG[$name]}" || return 1
  fr_disk "$FR" "$name" "$(devnum "${LOOP[$name]}")"
  echo "$wwid" >"$FR/sys/block/$name/device/wwid"
  echo $(($(blockdev --getsize64 "${LOOP[$name]}") / 512)) >"$FR/sys/block/$name/size"
  disk_sysfs "$name" "$kind"
}

# The loop devices first: the small filesystem of "full" holds an image.
disk_cleanup() {
  local l
  for l in "${DB_LOOPS[@]}"; do losetup -d "$l" 2>/dev/null; done
  DB_LOOPS=()
  db_cleanup
}

sum_of() { md5sum <"${IMG[$1]}"; }

# One diskburn pass on the fake machine, into $OUT/out and $OUT/rc.
disk_pass() {
  local bin=$DISKBURN
  [ -z "${OPT[corrupt]:-}${OPT[delay]:-}" ] || bin=$DISKBURN_HOOKS
  DISKBURN_ROOT=$FR DISKBURN_STATE_DIR=$WORK/state DISKBURN_GRACE_SECONDS=0 RUNDIAGS_PASS=$1 \
    DISKBURN_BOOT_DEVICE=$DISKBURN_BOOT DISKBURN_TEST_CORRUPT=${OPT[corrupt]:-} \
    DISKBURN_TEST_DELAY_MS=${OPT[delay]:-} timeout 60 "$bin" --destroy >"$OUT/out" 2>&1 &
  local pid=$! s=${OPT[shrink]:-}
  if [ -n "$s" ]; then
    # The disk goes away under the pass: its backing file shrinks to nothing.
    for _ in $(seq 100); do grep -q '^Writing and verifying' "$OUT/out" && break; sleep 0.05; done
    truncate -s 0 "${IMG[$s]}" && losetup -c "${LOOP[$s]}"
  fi
  wait "$pid"
  echo $? >"$OUT/rc"
}

# The verdict for one disk: LEFT (with the row's reason when the line
# gives it, and only while its bytes are unchanged), PASS (written and
# verified: its bytes changed), FAIL (an error named it).
disk_verdict() {
  local n=$1 re=$2 rc reason
  rc=$(cat "$OUT/rc")
  reason=$(sed -n "s/^Leaving out $n: //p" "$OUT/out")
  if [ -n "$reason" ]; then
    printf '%s:LEFT:' "$n"
    grep -Eq -- "$re" <<<"$reason" && printf %s "$re" || printf '(%s)' "${reason// /_}"
    [ "$(sum_of "$n")" = "${SUM[$n]}" ] || printf '+WRITTEN'
  elif grep -Eq "^Disk $n: .*(error|went away)" "$OUT/out" && [[ $rc == [45] ]]; then
    printf '%s:FAIL' "$n"
  elif grep -q "^Disk $n: " "$OUT/out" && [ "$rc" = 0 ] && tail -1 "$OUT/out" | grep -q '^Pass complete:'; then
    printf '%s:PASS' "$n"
    [ "$(sum_of "$n")" != "${SUM[$n]}" ] || printf '(unwritten)'
  else
    printf '%s:exit-%s' "$n" "$rc"
  fi
}

disk_run() {
  local setup=$1 want=$2 tok n got=""
  declare -gA SUM=()
  parse_opts "$setup"
  DISKBURN_BOOT=""
  FR=$WORK/root
  fr_init "$FR"
  for tok in $setup; do
    [[ $tok == sd*=* ]] || continue
    disk_make "${tok%%=*}" "${tok#*=}" >>"$OUT/setup" 2>&1 || { echo "setup failed: $tok"; return; }
  done
  if [ -n "${OPT[attach]:-}" ]; then
    # A pass 1 without it, then a disk attached before pass 2.
    disk_pass 1
    mv "$OUT/out" "$OUT/out.pass1"
    disk_make "${OPT[attach]}" disk >>"$OUT/setup" 2>&1 || { echo "setup failed: attach"; return; }
  fi
  for n in "${!IMG[@]}"; do SUM[$n]=$(sum_of "$n"); done
  disk_pass "$([ -n "${OPT[attach]:-}" ] && echo 2 || echo 1)"
  for tok in $want; do
    n=${tok%%:*}
    got+=" $(disk_verdict "$n" "$(sed -n 's/^[^:]*:LEFT://p' <<<"$tok")")"
  done
  echo "${got# }"
}

disk_matches() { [ "$1" = "$2" ]; }

main() {
  can_run || exit "$SKIP"
  : >"$RESULTS"
  local line name ci full setup want runs
  local row='^([^# ]+) +[|] +([0-9]+)/([0-9]+) +[|] +(.*[^ ]) +[|] +(.*[^ ]) *$'
  while IFS= read -r line; do
    [[ $line =~ $row ]] || continue
    name=${BASH_REMATCH[1]} ci=${BASH_REMATCH[2]} full=${BASH_REMATCH[3]}
    setup=${BASH_REMATCH[4]} want=${BASH_REMATCH[5]}
    if [ $# -gt 0 ] && [[ " $* " != *" $name "* ]]; then continue; fi
    runs=$ci
    [ "${FAULTS_FULL:-0}" = 1 ] && runs=$full
    run_row "$name" "$runs" "$setup" "$want"
  done <"$here/matrix.txt"
  [ -s "$RESULTS" ] || { echo "no such row: $*"; exit 1; }
  print_table
  ! grep -q 'WRONG$' "$RESULTS"
}

main "$@"
