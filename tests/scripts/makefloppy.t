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
use Digest::SHA ();
use POSIX ();
use ScriptTest qw($REPO run_cmd slurp spew scratch need_mtools);
use RecordTest qw(keep_record records_valid);

need_mtools();

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
is($r->{machine}{system}{serial}, 'C8150AB23N10012', 'the record of the machine');
is_deeply($r->{written_to}, { medium => 'floppy', device => $img }, 'the record says where it was written');
is_deeply([map { [@$_{qw(name stored stored_as)}] } @{$r->{files}}],
          [['compat.log', 'whole', 'compat.log'], ['burnin.log', 'whole', 'burnin.log']], 'the logs are listed, stored whole');
is($r->{files}[1]{sha256}, Digest::SHA::sha256_hex(slurp("$logs/burnin.log")), 'with their checksums');
like(from_image($img, 'report.txt'), qr/^  Serial       C8150AB23N10012$/m, 'report.txt is there too');

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
($out, $rc) = run_cmd({ RESULTS_LOG_DIR => $logs2, COMPAT_ROOT => $fixture, FLOPPY_DEVICE => $img }, 'perl', $MF);
is($rc, 2, 'only a link and a FIFO: no logs (2), and no hang on the FIFO');

# ---- each failure has its own code
my $empty = "$tmp/empty";
mkdir $empty;
(undef, $rc) = run_cmd({ RESULTS_LOG_DIR => $empty, COMPAT_ROOT => $fixture, FLOPPY_DEVICE => $img }, 'perl', $MF);
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

# A log that neither compresses nor has progress lines to leave out.
my $big = "$tmp/big";
mkdir $big;
srand(7);
spew("$big/burnin.log", join('', map { '   Disk:  ' . join('', map { chr(33 + int rand 94) } 1 .. 70) . "\n" } 1 .. 30000));
spew($img, '');
(undef, $rc) = run_cmd({ RESULTS_LOG_DIR => $big, COMPAT_ROOT => $fixture, FLOPPY_DEVICE => $img }, 'perl', $MF);
is($rc, 5, 'too big: 5');

# ---- the directory form writes the same files
my $dest = "$tmp/results";
($out, $rc) = run_cmd({ RESULTS_LOG_DIR => $logs, COMPAT_ROOT => $fixture }, 'perl', $MF, '--directory', $dest);
is($rc, 0, '--directory: exit 0');
is_deeply([sort map { s{.*/}{}r } glob("$dest/*")], [qw(burnin.log compat.log report.json report.txt)],
          '--directory: same files');
keep_record("$dest/report.json");
is(decode_json(slurp("$dest/report.json"))->{collector}, undef, 'no collector named: none in the record');

# ---- with a collector named, every copy also goes whole into the outbox
my $root = "$tmp/root";
system('cp', '-a', $fixture, $root) == 0 or die;
system('mkdir', '-p', "$root/run/rundiags");
spew("$root/run/rundiags/run", "20261207T165312Z-3f9a\n");
my $box = "$tmp/outbox";
my $run = "$box/C8150AB23N10012/20261207T165312Z-3f9a";
my $stopped = 'stopped: RUNDIAGS_STEPS: "probe" is no step (basic, advanced, burnin, copy).';
spew("$tmp/state.json", encode_json({ schema => 'rundiags-state/1', step => 'menu', automation => $stopped }));
my %collect = (COMPAT_ROOT => $root, RUNDIAGS_RESULTS => 'http://collector/records', RUNDIAGS_OUTBOX => $box,
               RUNDIAGS_STATE_FILE => "$tmp/state.json");
system('mkdir', '-p', $run, "$box/C8150AB23N10012/20261207T000000Z-0000");
spew("$run/from-an-earlier-copy", '');
spew("$box/C8150AB23N10012/20261207T000000Z-0000/report.txt", 'another run');
for my $case (['a floppy', $img, 0, 'floppy'], ['a floppy that fails', '/dev/full', 6, 'none', qr/^writing .* failed/],
              ['no floppy and no stick', "$tmp/no-such-drive", 0, 'none', qr/^no drive: .*; no results stick either/]) {
    my ($name, $dev, $code, $medium, $why) = @$case;
    spew($img, '');
    ($out, $rc) = run_mf(%collect, FLOPPY_DEVICE => $dev);
    is($rc, $code, "$name: exit $code") or diag($out);
    is_deeply([sort map { s{.*/}{}r } glob("$run/*")], [qw(burnin.log compat.log report.json report.txt)],
              "$name: the outbox holds the record, whole, and nothing of the earlier copy");
    my $o = decode_json(slurp("$run/report.json"));
    is_deeply([$o->{written_to}{medium}, $o->{collector}{url}],
              [$medium, 'http://collector/records/C8150AB23N10012/20261207T165312Z-3f9a/'], "$name: where it went");
    like($o->{written_to}{reason}, $why, "$name: why no medium has it") if $why;
    is_deeply($o->{unattended}, { automation => $stopped, step => 'menu' },
              "$name: the record says why the unattended run did not start");
    keep_record("$run/report.json");
}
($out, $rc) = run_mf(%collect, RUNDIAGS_RESULTS => 'collector/records', FLOPPY_DEVICE => "$tmp/no-such-drive");
is($rc, 3, 'a collector named by no http:// address: no outbox, no drive (3)');
like($out, qr{RUNDIAGS_RESULTS=collector/records is no http:// address}, 'and that is said');
is(slurp("$box/C8150AB23N10012/20261207T000000Z-0000/report.txt"), 'another run', "another run's folder is not touched");
opendir(my $dh, "$box/C8150AB23N10012") or die;
is_deeply([sort grep { !/^\.\.?$/ } readdir $dh], [qw(20261207T000000Z-0000 20261207T165312Z-3f9a)],
          'and no folder of a copy is left aside');
($out) = run_cmd({ COMPAT_ROOT => $root }, 'perl', $MF, '--folder');
is($out, "C8150AB23N10012/20261207T165312Z-3f9a\n", '--folder: the machine and the run, as the outbox names them');
records_valid();

done_testing();
