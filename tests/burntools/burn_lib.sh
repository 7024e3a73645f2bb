# Assertions and protocol helpers shared by the burn-in helper tests.
set -u
: "${NETBURN:?}" "${DISKBURN:?}"
SKIP=77
WORK=$(mktemp -d /tmp/burntest.XXXXXX)
# diskburn keeps the burn-in's disk set in the test's own directory, and
# starts writing at once.
export DISKBURN_STATE_DIR=$WORK/state DISKBURN_GRACE_SECONDS=0
FAILED=0

fail() { echo "FAIL: $*"; FAILED=1; }
finish() { if [ "$FAILED" = 0 ]; then echo "PASS"; exit 0; else exit 1; fi; }

# expect_rc NAME WANT GOT
expect_rc() { [ "$2" = "$3" ] || fail "$1: exit status $3, wanted $2"; }

# expect_line FILE REGEX: some line matches (grep -E)
expect_line() { grep -Eq -- "$2" "$1" || { fail "no line matching /$2/ in $1"; sed 's/^/  | /' "$1"; }; }

# The protocol: message lines never begin with a blank, status lines begin
# with "@", detail lines (diskburn) begin with exactly one blank.
expect_no_leading_blank() { if grep -q '^ ' "$1"; then fail "line with a leading blank in $1"; fi; }

# Percent per port as rundiags computes it: ((count*1000+5)/sent)/10.
# pct_last FILE PORT: percent of PORT in the last status line.
pct_last() {
  awk -v port="$2" '/^@/{last=$0} END{
    n=split(last, f, /[ =]+/); s=substr(f[1],2)+0; if (s==0) s=1;
    for (i=2;i<n;i+=2) if (f[i]==port) { printf "%d\n", int((f[i+1]*1000+5)/s/10); exit }
    print "none" }' "$1"
}
# pct_min FILE: lowest percent of any port in any status line
pct_min() {
  awk '/^@/{n=split($0, f, /[ =]+/); s=substr(f[1],2)+0; if (s==0) s=1;
    for (i=2;i<n;i+=2) { p=int((f[i+1]*1000+5)/s/10); if (min==""||p<min) min=p } }
    END{ print (min=="" ? "none" : min) }' "$1"
}
