#!/usr/bin/env bash
# scripts/rack-server in a network namespace of its own (the collector's
# side of rack_net.sh, no QEMU): it refuses bad settings and the loopback
# before any server starts, listens on its interface alone, keeps the boot
# files read-only, takes, replaces, reads back and lists records, deletes
# nothing, keeps the records across a restart, and writes the proxy DHCP
# lines when asked. Needs root, nginx, dnsmasq and curl (else 77).
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
[ "$(id -u)" = 0 ] || { echo "SKIP: needs root"; exit 77; }
for t in nginx dnsmasq curl ip ss; do command -v $t >/dev/null || { echo "SKIP: needs $t"; exit 77; }; done
name=rs$$ work=$(mktemp -d /tmp/rackserver.XXXXXX) failed=0 pid=
col=$name-col
cleanup() { [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid"; "$top/tests/medium/rack_net.sh" down "$name"; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "FAIL: $*"; failed=1; }
"$top/tests/medium/rack_net.sh" up "$name" 0 || { echo "SKIP: no network namespaces"; exit 77; }
mkdir -p "$work/medium" && echo kernel >"$work/medium/vmlinuz" && echo initrd >"$work/medium/initrd.img"
server() { ip netns exec "$col" "$top/scripts/rack-server" "$work/col" --medium "$work/medium" "$@"; }
at() { ip netns exec "$col" "$@"; }
http() {  # http METHOD PATH [FILE]: the status code
  at curl -s -o "$work/body" -w '%{http_code}' -X "$1" ${3:+-T "$3"} "http://10.77.0.1$2"
}
start() {
  # Not through a function: $! must be rack-server itself.
  ip netns exec "$col" "$top/scripts/rack-server" "$work/col" --medium "$work/medium" --interface c0 "$@" \
    >>"$work/server.log" 2>&1 &
  pid=$!
  for _ in $(seq 50); do [ "$(http GET /boot/rack.ipxe)" = 200 ] && return 0; sleep 0.2; done
  fail "rack-server did not answer: $(cat "$work/server.log")"
}
stop() { kill "$pid"; wait "$pid"; local rc=$?; pid=; [ $rc = 0 ] || fail "stopped with status $rc"; }
listening() { at ss -H -lntu | wc -l; }

# Refused before anything listens.
for bad in "--interface c0 --set A_B" "--interface c0 --set 9A=1" "--interface c0 --set A=x y" "--interface lo" \
           "--interface c0 --medium $work/none" "--interface c0 --port x"; do
  # shellcheck disable=SC2086
  server $bad >/dev/null 2>&1 && fail "accepted $bad"
  [ "$(listening)" = 0 ] || fail "something listens after $bad"
done

start --set RUNDIAGS_STEPS=burnin --kernel-args console=ttyS0,115200n8
at ss -H -lntu | awk '{ print $5 }' | grep -Ev '^(10\.77\.0\.1|0\.0\.0\.0%c0):' && fail "listens beyond c0"
script=$(at curl -s http://10.77.0.1/boot/rack.ipxe)
for want in "rundiags_netboot" "BOOTIF=01-\${netX/mac:hexhyp}" "console=ttyS0,115200n8" "rundiags.RUNDIAGS_STEPS=burnin" \
            "rundiags.RUNDIAGS_RESULTS=http://10.77.0.1/records/"; do
  [[ $script == *" $want"* ]] || fail "rack.ipxe lacks $want: $script"
done
grep -qx 'dhcp-range=10.77.0.128,10.77.0.254,12h' "$work/col/run/dnsmasq.conf" || fail "DHCP range"
echo first >"$work/a" && echo second >"$work/b"
for step in "PUT /records/M/R/report.txt $work/a 201" "PUT /records/M/R/report.txt $work/b 204" \
            "GET /records/M/R/report.txt - 200" "PUT /boot/vmlinuz $work/a 405" "DELETE /records/M/R/report.txt - 405"; do
  set -- $step
  got=$(http "$1" "$2" "$([ "$3" = - ] || echo "$3")")
  [ "$got" = "$4" ] || fail "$1 $2: $got, wanted $4"
done
[ "$(cat "$work/col/www/records/M/R/report.txt")" = second ] || fail "the record was not replaced"
[ "$(at curl -s http://10.77.0.1/boot/vmlinuz)" = kernel ] || fail "the boot file changed"
at curl -s http://10.77.0.1/records/M/R/ | grep -q '"name":"report.txt", "type":"file"' || fail "no JSON listing"
stop
[ "$(listening)" = 0 ] || fail "something still listens after the stop"

start --proxy-dhcp
grep -qx 'dhcp-range=10.77.0.0,proxy' "$work/col/run/dnsmasq.conf" || fail "no proxy range"
grep -q '^dhcp-boot' "$work/col/run/dnsmasq.conf" && fail "proxy DHCP names a boot file of its own"
[ "$(at curl -s http://10.77.0.1/records/M/R/report.txt)" = second ] || fail "the record did not outlive the restart"
stop
[ $failed = 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $failed
