#!/usr/bin/perl
# makefloppy end to end on image files: the medium holds the logs and the
# consolidated report, mtools reads them back intact, and each documented
# failure gives its own exit code.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use JSON::PP;
use POSIX ();
use ScriptTest qw($REPO run_cmd slurp spew scratch);

for my $tool (qw(mformat mcopy mdir)) {
    unless (grep { -x "$_/$tool" } split /:/, $ENV{PATH}) {
        print "1..0 # SKIP $tool not installed (Debian package mtools)\n";
        exit 77;
    }
}
$ENV{MTOOLS_SKIP_CHECK} = 1;

my $MF = "$REPO/tools/makefloppy";
my $tmp = scratch();
my $logs = "$tmp/logs";
mkdir $logs or die $!;
my $fixture = "$REPO/tools/fixtures/supermicro-x9";

run_cmd({ COMPAT_ROOT => $fixture, COMPAT_LOG => "$logs/compat.log" }, 'perl', "$REPO/tools/compat.pl", '');
spew("$logs/burnin.log", <<'LOG');
Running network and disk burn-in tests.

Network: testing 4 ports: eth0 eth1 eth2 eth3
   Disk: testing 2 disks: sda sdb
   Disk:  sda: ST4000NM0033-9ZM, 7814037168 sectors
   Disk: sda: pass 1 OK, 0 errors
   Disk: sdb: pass 1 OK, 0 errors
   Disk: starting again.
Network: eth2: 84% of frames received
   Disk: sda: pass 2 OK, 0 errors
   Disk: sdb: FAILED, 12 read errors near sector 1234567
Network: eth0: link up, 1000 Mbit/s

TEST HALTED BY USER.


   Disk: FAILED (code 3)
Network: PASSED

(All these log messages are in "/tmp/burnin.log")

** FAILED - Press Enter When Done **
LOG

sub run_mf {
    my (%env) = @_;
    return run_cmd({ RESULTS_LOG_DIR => $logs, COMPAT_ROOT => $fixture, %env }, 'perl', $MF);
}

sub from_image {
    my ($img, $name) = @_;
    my $out = "$tmp/out.$name";
    unlink $out;
    my (undef, $rc) = run_cmd({}, 'mcopy', '-n', '-i', $img, "::/$name", $out);
    return $rc ? undef : slurp($out);
}

# ---- a good run
my $img = "$tmp/floppy.img";
spew($img, '');
my ($out, $rc) = run_mf(FLOPPY_DEVICE => $img);
is($rc, 0, 'exit 0 on an image file') or diag($out);
is(-s $img, 1474560, 'the medium holds a 1.44 MB image');
my ($dir) = run_cmd({}, 'mdir', '-b', '-i', $img, '::');
is_deeply([sort map { m{([^/]+)$} } split /\n/, $dir], [qw(burnin.log compat.log report.json report.txt)],
          'the medium holds the logs that exist and the two reports');
is(from_image($img, 'compat.log'), slurp("$logs/compat.log"), 'compat.log reads back intact');
is(from_image($img, 'burnin.log'), slurp("$logs/burnin.log"), 'burnin.log reads back intact');

my $r = decode_json(from_image($img, 'report.json'));
is($r->{system}{vendor}, 'Supermicro', 'system vendor');
is($r->{system}{model}, 'X9DRi-LN4+/X9DR3-LN4+', 'system model');
is($r->{system}{serial}, 'C8150AB23N10012', 'system serial number');
is($r->{compatibility}{test}, 'basic', 'inventory from the basic test');
is(scalar @{$r->{compatibility}{devices}}, 20, 'every device of the inventory');
is_deeply($r->{compatibility}{counts}, { SUPPORTED => 18, UNSUPPORTED => 1, 'SUPPORT UNKNOWN' => 1 }, 'verdict counts');
my ($sil) = grep { $_->{description} =~ /SiI 3112/ } @{$r->{compatibility}{devices}};
is($sil->{status}, 'UNSUPPORTED', 'a device keeps its verdict');
like(join(' ', @{$sil->{details}}), qr/known bad/, 'and the reason for it');
is($r->{compatibility}{memory}{usable}, '125.8 GiB', 'usable memory');
is_deeply([map { $_->{name} } @{$r->{compatibility}{serial_ports}}], [qw(ttyS0 ttyS1)], 'serial ports');

my $b = $r->{burnin};
is($b->{verdict}, 'FAILED', 'burn-in verdict');
ok($b->{halted_by_user}, 'stopped by the operator');
is($b->{disk}{result}, 'FAILED', 'disk result');
is($b->{disk}{code}, 3, 'disk exit code');
is($b->{disk}{passes_started}, 2, 'disk passes');
is($b->{network}{result}, 'PASSED', 'network result');
my %disk = map { $_->{name} => $_->{result} } @{$b->{disk}{devices}};
is_deeply(\%disk, { sda => 'NO ERROR REPORTED', sdb => 'FAILED' }, 'each disk\'s result');
my %port = map { $_->{name} => $_->{result} } @{$b->{network}{ports}};
is_deeply(\%port, { eth0 => 'PASSED', eth2 => 'PASSED' }, 'each port named in the log');
is_deeply([map { $_->{name} } @{$r->{files}}], [qw(compat.log burnin.log)], 'the files are listed');

my $txt = from_image($img, 'report.txt');
like($txt, qr/^  Serial\s+C8150AB23N10012$/m, 'report.txt: serial number');
like($txt, qr/^  UNSUPPORTED\s+RAID\s+Silicon Image SiI 3112/m, 'report.txt: inventory with verdicts');
like($txt, qr/^    sdb\s+FAILED\s+sdb: FAILED, 12 read errors/m, 'report.txt: per-disk result');
like($txt, qr/^  Verdict\s+FAILED \(stopped by the operator\)$/m, 'report.txt: verdict');

# ---- the advanced log wins when both exist
run_cmd({ COMPAT_ROOT => $fixture, COMPAT_LOG => "$logs/compat-a.log" }, 'perl', "$REPO/tools/compat.pl", '-a');
spew($img, '');
($out, $rc) = run_mf(FLOPPY_DEVICE => $img);
is($rc, 0, 'exit 0 with three logs');
is(decode_json(from_image($img, 'report.json'))->{compatibility}{test}, 'advanced', 'inventory from the advanced test');
unlink "$logs/compat-a.log";

# ---- planted links and FIFOs are not followed or read
spew("$tmp/secret", "SECRET-CONTENT\n");
symlink("$tmp/secret", "$logs/compat-a.log") or die $!;
my $logs2 = "$tmp/logs2";
mkdir $logs2;
symlink("$tmp/secret", "$logs2/compat.log") or die $!;
POSIX::mkfifo("$logs2/burnin.log", 0600);
spew($img, '');
($out, $rc) = run_mf(FLOPPY_DEVICE => $img);
is($rc, 0, 'a planted link beside real logs is skipped');
unlike(slurp($img), qr/SECRET-CONTENT/, 'the link target is not on the medium');
like($out, qr/skipping \S+compat-a\.log/, 'and the skip is reported');
unlink "$logs/compat-a.log";
($out, $rc) = run_cmd({ RESULTS_LOG_DIR => $logs2, FLOPPY_DEVICE => $img }, 'perl', $MF);
is($rc, 2, 'only a link and a FIFO: no logs (2), and no hang on the FIFO');

# ---- each failure has its own code
my $empty = "$tmp/empty";
mkdir $empty;
(undef, $rc) = run_cmd({ RESULTS_LOG_DIR => $empty, FLOPPY_DEVICE => $img }, 'perl', $MF);
is($rc, 2, 'no logs: 2');
(undef, $rc) = run_mf(FLOPPY_DEVICE => "$tmp/no-such-drive");
is($rc, 3, 'no drive: 3');
(undef, $rc) = run_mf(FLOPPY_DEVICE => $tmp);
is($rc, 3, 'a directory is no drive: 3');
(undef, $rc) = run_mf(FLOPPY_DEVICE => '/dev/full');
is($rc, 6, 'write error: 6');
(undef, $rc) = run_mf(FLOPPY_DEVICE => '/dev/null');
is($rc, 7, 'verify error: 7');

SKIP: {
    my $ro = "$tmp/protected.img";
    spew($ro, '');
    skip 'chattr +i not available here', 1 unless system("chattr +i '$ro' 2>/dev/null") == 0;
    (undef, $rc) = run_mf(FLOPPY_DEVICE => $ro);
    system('chattr', '-i', $ro);
    is($rc, 4, 'write-protected: 4');
}

my $big = "$tmp/big";
mkdir $big;
spew("$big/burnin.log", join('', map { sprintf("   Disk: sda: block %08d verified\n", $_) } 1 .. 50000));
spew($img, '');
(undef, $rc) = run_cmd({ RESULTS_LOG_DIR => $big, FLOPPY_DEVICE => $img }, 'perl', $MF);
is($rc, 5, 'too big: 5');

# ---- the directory form writes the same files
my $dest = "$tmp/results";
($out, $rc) = run_cmd({ RESULTS_LOG_DIR => $logs, COMPAT_ROOT => $fixture }, 'perl', $MF, '--directory', $dest);
is($rc, 0, '--directory: exit 0');
is_deeply([sort map { s{.*/}{}r } glob("$dest/*")], [qw(burnin.log compat.log report.json report.txt)],
          '--directory: same files');

done_testing();
