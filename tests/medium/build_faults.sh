#!/usr/bin/env bash
# scripts/medium stops with one clear line, and leaves the medium it built
# before as it was, when the mirror does not answer or a package is missing.
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
fails=0
check() {  # name, then the environment for scripts/medium
  local name=$1; shift
  local out=$dir/$name
  mkdir -p "$out"
  echo "previous medium" >"$out/rundiags.iso"
  env MEDIUM_DIR="$out" "$@" "$top/scripts/medium" >"$out.stdout" 2>"$out.stderr"
  local rc=$? lines
  lines=$(wc -l <"$out.stderr")
  if [ $rc -eq 0 ]; then echo "FAIL $name: scripts/medium succeeded"; fails=$((fails + 1)); fi
  if [ "$lines" -ne 1 ] || ! grep -q '^scripts/medium: ' "$out.stderr"; then
    echo "FAIL $name: not one line of error:"; cat "$out.stderr"; fails=$((fails + 1))
  fi
  if [ "$(cat "$out/rundiags.iso")" != "previous medium" ]; then
    echo "FAIL $name: the previous medium was replaced"; fails=$((fails + 1))
  fi
  for f in vmlinuz initrd.img boot.ipxe; do
    [ -e "$out/$f" ] && { echo "FAIL $name: $f was left"; fails=$((fails + 1)); }
  done
  echo "$name: $(cat "$out.stderr")"
}
# Port 9 of this machine's loopback: nothing listens there.
check unreachable-mirror MEDIUM_MIRROR=http://127.0.0.1:9/debian
grep -q 'mirror' "$dir/unreachable-mirror.stderr" || { echo "FAIL: the line does not name the mirror"; fails=$((fails + 1)); }
check missing-package MEDIUM_EXTRA_PACKAGES=rundiags-no-such-package
grep -q 'rundiags-no-such-package' "$dir/missing-package.stderr" ||
  { echo "FAIL: the line does not name the package"; fails=$((fails + 1)); }
[ $fails -eq 0 ] && echo "2 passed, 0 failed" || echo "0 passed, $fails failed"
exit $((fails > 0))
