# SMART counters around a pass, on files made here with a stand-in for
# smartctl that answers as a failing disk would: a disk whose counters grow
# fails its pass, one that holds up passes, and one that gives no readings
# is noted once in the burn-in, not failed.
. "$BURN_LIB/burn_lib.sh"
trap 'rm -rf "$WORK"' EXIT
for d in grows steady silent; do truncate -s 16M "$WORK/$d.img"; done
# The stand-in: its last argument is the disk; "grows" gains 8 reallocated
# sectors and a pending one with every question.
cat >"$WORK/smartctl" <<'STUB'
#!/bin/sh
for disk; do :; done
case $disk in
*grows.img)
  n=$(cat "$disk.asked" 2>/dev/null || echo 0); echo $((n + 1)) >"$disk.asked"
  printf '{"ata_smart_attributes":{"table":[{"id":5,"raw":{"value":%d}},{"id":197,"raw":{"value":%d}}]}}\n' \
    $((n * 8)) "$n" ;;
*steady.img)
  echo '{"nvme_smart_health_information_log":{"critical_warning":0,"available_spare":100,'
  echo '"available_spare_threshold":10,"media_errors":2}}' ;;
*) echo 'Smartctl open device failed'; exit 2 ;;
esac
STUB
chmod +x "$WORK/smartctl"
export DISKBURN_SMARTCTL=$WORK/smartctl
all=$WORK/grows.img:$WORK/steady.img:$WORK/silent.img

for pass in 1 2; do
  RUNDIAGS_PASS=$pass DISKBURN_TARGETS=$all timeout 60 "$DISKBURN" --destroy >"$WORK/pass$pass" 2>&1
  expect_rc "pass $pass" 7 $?
  expect_lines "$WORK/pass$pass" \
    "^ $WORK/grows.img: SMART at the start of the pass: reallocated sectors $(((pass - 1) * 16)), pending sectors $(((pass - 1) * 2))\.$" \
    "^ $WORK/grows.img: SMART at the end of the pass: reallocated sectors $(((pass - 1) * 16 + 8)), pending sectors $(((pass - 1) * 2 + 1))\.$" \
    "^ $WORK/steady.img: SMART at the end of the pass: media errors 2, critical warning 0x00, available spare 100% \(threshold 10%\)\.$"
  tail -1 "$WORK/pass$pass" | grep -qx "Disk $WORK/grows.img: SMART reallocated sectors grew, $(((pass - 1) * 16)) at the start of the pass, $(((pass - 1) * 16 + 8)) at its end\." ||
    fail "pass $pass: last line: $(tail -1 "$WORK/pass$pass")"
done
grep -c "^No SMART readings " "$WORK/pass1" | grep -qx 1 || fail "pass 1: not one note"
expect_line "$WORK/pass1" "^No SMART readings from $WORK/silent.img \(smartctl ended with status 2\): its counters are not checked\.$"
grep "^No SMART readings " "$WORK/pass2" && fail "pass 2: noted again"

DISKBURN_TARGETS=$WORK/steady.img:$WORK/silent.img timeout 60 "$DISKBURN" --destroy >"$WORK/good" 2>&1
expect_rc "disks that held up" 0 $?
tail -1 "$WORK/good" | grep -q '^Pass complete: 2 disks ' || fail "last line: $(tail -1 "$WORK/good")"

DISKBURN_STATE_DIR=$WORK/fresh DISKBURN_SMARTCTL=$WORK/none DISKBURN_TARGETS=$WORK/steady.img timeout 60 \
  "$DISKBURN" --destroy >"$WORK/none" 2>&1
expect_rc "no smartctl" 0 $?
expect_line "$WORK/none" "^No SMART readings from $WORK/steady.img \(smartctl not found\): its counters are not checked\.$"
cat "$WORK/pass1"
finish
