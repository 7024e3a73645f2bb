#!/usr/bin/perl
# The burn-in in the record, read from whole runs as the program logs them:
# the helpers' runs kept in tests/protocol/logs (what makefloppy reads from
# each one alone is tested there), one after the other with the program's
# restarts, stop and summary: start, end and duration, passes per disk and
# for the network, each port's last and worst percentage, how it ended and
# the verdict as the screen showed it, and report.txt.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use Time::Local qw(timegm);
use RecordTest qw(make_record program_log program_end helper_run records_valid);

sub at { my ($h, $m) = @_; return sprintf('2024-05-01 %02d:%02d:00', $h, $m) }
sub again { return ['disk', "starting again.\n"] }
sub run { return helper_run($_[0], at($_[1], $_[2] // 0)) }
sub ports { my ($b) = @_; return { map { ($_->{name} => [$_->{percent}, $_->{worst}, $_->{bad} ? 1 : 0]) } @{$b->{network}{ports}} } }

# ---- a long run: the network fails in its third pass, the disks go on
# until the operator stops them in their third
my $log = program_log(run('netburn-pass', 8), run('diskburn-first-pass', 8), run('netburn-groups', 8, 1), again(),
                      run('diskburn-later-pass', 9), run('netburn-failed', 8, 2), again(), run('diskburn-stopped', 10),
                      program_end('PASSED', 'FAILED (code 4)', 1));
my ($r, $txt) = make_record('supermicro-x9', burnin => $log, mtime => timegm(0, 30, 11, 1, 4, 2024));
my $b = $r->{burnin};
is($b->{verdict}, 'FAILED', 'verdict');
is($b->{verdict_line}, '** FAILED - Press Enter When Done **', 'verdict line exactly as shown');
is($b->{ended}, 'stopped by the operator, after the network test failed with code 4', 'how it ended');
is($b->{started}, '2024-05-01T08:00:00Z', 'start: the first pass start');
is($b->{last_line}, '2024-05-01T11:30:00Z', "end: the log's last line");
is($b->{duration_seconds}, 3.5 * 3600, 'duration');
is_deeply([@{$b->{disk}}{qw(row result code passes_started passes_completed)}], ['PASS', 'PASSED', 0, 3, 2],
          'disks: row, result, passes started and completed');
is($b->{disk}{stopped}{pass}, 3, 'disks: the stopped pass');
is_deeply([map { [@$_{qw(name passes_verified)}, scalar @{$_->{failures}}] } @{$b->{disk}{devices}}],
          [['sda', 2, 0], ['nvme0n1', 2, 0]], 'disks: passes verified per disk');
is_deeply([map { [@$_{qw(name passes)}] } @{$b->{disk}{left_out}}], [['sdc', '1-3'], ['sdz', '1'], ['sdd', '3']],
          'disks: each left out once, with its passes');
is_deeply([@{$b->{network}}{qw(row result code passes_started passes_completed)}], ['FAIL', 'FAILED (code 4)', 4, 3, 2],
          'network: row, result, passes started and completed');
is_deeply(ports($b), { eth0 => [100, 100, 0], eth1 => [100, 100, 0], eth2 => [66, 66, 1], eth3 => [100, 100, 0] },
          'network: each port\'s last percentage, its worst, BAD below 90');
is_deeply($b->{network}{groups}, [[qw(eth0 eth1)], [qw(eth2 eth3)]], 'network: the groups of the last pass that had several');
is($b->{progress_lines}, 8, 'progress lines counted');
for my $line ('  Verdict      FAILED  ("** FAILED - Press Enter When Done **")',
              '  Ended        stopped by the operator, after the network test failed with code 4',
              '  Started      2024-05-01 08:00:00 UTC',
              '  Last line    2024-05-01 11:30:00 UTC',
              '  Duration     3 h 30 min',
              '  Disks        PASS  PASSED; 2 of 3 passes completed; stopped in pass 3 at 41%',
              '    sda        2 passes verified    ST4000NM0035, serial ZC1234AB, 4.0 TB',
              '               held before          gpt partition table, sda1 ext4 "data", sda2 swap',
              '    sdc        left out             in passes 1-3: holds a mounted filesystem (/srv).',
              '  Network      FAIL  FAILED (code 4); 2 of 3 passes completed',
              '               groups               eth0 eth1; eth2 eth3',
              '    eth2       66% BAD              received 7940 of 12000 frames; none from eth3; missing 60 from eth1; error counters grew: rx_crc_errors +12.',
              '    Pass failed: below 90%: eth2 66%; eth3 to eth2: 0% received; eth3 to eth2: 3 corrupted frames.') {
    like($txt, qr/^\Q$line\E$/m, "report.txt: $line");
}
unlike($txt, qr/stopped before any pass completed/, 'report.txt: no claim that nothing completed');

# ---- stopped before any pass completed
$log = program_log(run('netburn-stopped', 8), run('diskburn-stopped', 8), program_end('PASSED', 'PASSED', 1));
($r, $txt) = make_record('supermicro-x9', burnin => $log, mtime => timegm(0, 4, 8, 1, 4, 2024));
$b = $r->{burnin};
is($b->{ended}, 'stopped by the operator before any pass completed', 'early stop: said plainly');
ok(!$b->{any_pass_completed}, 'early stop: no pass completed');
is($b->{verdict}, 'PASSED', 'early stop: the verdict as the screen showed it');
like($txt, qr/^  Passes       stopped before any pass completed$/m, 'report.txt: said plainly');
like($txt, qr/^  Duration     4 min 00 s$/m, 'report.txt: short duration');

# ---- the disk test fails; the network goes on until the operator stops,
# with a port that the screen showed BAD
$log = program_log(run('netburn-pass', 8), run('diskburn-failed', 8), run('netburn-failed', 8, 1),
                   program_end('FAILED (code 5)', 'PASSED', 1));
($r, $txt) = make_record('supermicro-x9', burnin => $log);
$b = $r->{burnin};
is($b->{ended}, 'stopped by the operator, after the disk test failed with code 5', 'disk failure: how it ended');
is_deeply([$b->{disk}{row}, $b->{disk}{code}, $b->{network}{row}], ['FAIL', 5, 'BAD'],
          'disk failure: FAIL, and BAD for a port below 90% as the screen showed');
like($txt, qr/^    sdb        FAILED               Disk sdb: verify error at byte 123456789/m, 'report.txt: the failing disk');
like($txt, qr/^  Network      BAD   PASSED; 1 of 2 passes completed$/m, 'report.txt: BAD network row');

# ---- both end for a reason of their own: the test ends by itself
$log = program_log(run('netburn-too-few', 8), run('diskburn-no-disk', 8), program_end('FAILED (code 2)', 'FAILED (code 2)', 0));
($r, $txt) = make_record('qemu-kvm', burnin => $log);
$b = $r->{burnin};
is($b->{ended}, 'the disk test failed with code 2 and the network test failed with code 2, before any pass completed',
   'both failed: how it ended');
ok(!$b->{halted_by_user}, 'both failed: not stopped by the operator');
for my $line ('  Network      FAIL  FAILED (code 2); 0 of 1 pass completed',
              '               ended with           To pass the burn-in test, you need at least two network ports.',
              '               ended with           No disks to test.') {
    like($txt, qr/^\Q$line\E$/m, "report.txt: $line");
}

# ---- closed before the helpers ended: no summary
$log = program_log(run('netburn-pass', 8), run('diskburn-first-pass', 8), again(), ['prog', "\nTEST HALTED BY USER.\n\n"]);
($r, $txt) = make_record('supermicro-x9', burnin => $log);
$b = $r->{burnin};
is($b->{verdict}, undef, 'no summary: no verdict');
is($b->{ended}, 'stopped by the operator', 'no summary: stopped');
is_deeply([$b->{disk}{row}, $b->{network}{row}, $b->{disk}{result}], ['RUN', 'RUN', undef], 'no summary: rows still RUN');
like($txt, qr/^  Verdict      none: no summary in the log$/m, 'report.txt: no verdict');
$log =~ s/\nTEST HALTED BY USER.\n\n//;
($r) = make_record('supermicro-x9', burnin => $log);
is($r->{burnin}{ended}, 'the log ends before the summary: the test was closed before both helpers had ended',
   'no summary and no stop');

# ---- a helper line that only looks like the summary
$log = program_log(['net', "PASSED\n"], run('diskburn-first-pass', 8), program_end('PASSED', 'FAILED (code 2)', 0));
($r) = make_record('supermicro-x9', burnin => $log);
is_deeply([$r->{burnin}{disk}{result}, $r->{burnin}{network}{result}], ['PASSED', 'FAILED (code 2)'],
          'the summary is the pair of result lines, not a lone helper line');

records_valid();
done_testing();
