#!/usr/bin/perl
# The burn-in in the record, read from the lines the helpers print (the
# agreed beginnings) as the program logs them: start, end and duration,
# passes per disk and for the network, each port's last percentage with
# BAD, how it ended and the verdict as the screen showed it.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use Time::Local qw(timegm);
use RecordTest qw(make_record program_log program_end records_valid);

my @PORTS = qw(eth0 eth1 eth2 eth3);
my @DISKS = (['sda', 'Z1Z0A1B0'], ['sdb', 'Z1Z0A1B1']);

sub at { my ($h, $m) = @_; return sprintf('2024-05-01 %02d:%02d:00', $h, $m) }

# One run of netburn: its pass start, a status line, the per-port results
# and its last line.
sub net_run {
    my ($n, $time, $pct, $end) = @_;
    my $t = "Pass $n started $time UTC.\n@25000 " . join(' ', map { "$_=25000" } @PORTS) . "\n";
    for my $p (@PORTS) {
        my $got = 250 * ($pct->{$p} // 100);
        $t .= "Port $p: received $got of 25000 frames (" . ($pct->{$p} // 100) . "%) from 3 peers.\n";
    }
    return ['net', $t . $end . "\n"];
}

sub disk_run {
    my ($n, $time, $end) = @_;
    my $t = " Pass $n started $time UTC.\n";
    $t .= "Disk $_->[0]: ST4000NM0033-9ZM, serial $_->[1], 4.0 TB.\n" for @DISKS;
    $t .= "Pass ${_}0% done: writing 2, 850 MB/s.\n" for 1 .. 9;
    if ($end eq 'complete') {
        $t .= " $_->[0]: verified in 1790.0 s, 2234.6 MB/s.\n" for @DISKS;
        $t .= "Pass complete: 2 disks (8.0 TB) written and verified without error.\n";
    } else {
        $t .= "$end\n";
    }
    return ['disk', $t];
}

sub again { return ['disk', "starting again.\n"] }

sub ports { my ($b) = @_; return { map { ($_->{name} => [$_->{percent}, $_->{worst}, $_->{bad} ? 1 : 0]) } @{$b->{network}{ports}} } }

# ---- a clean run stopped by the operator after some passes
my $log = program_log(['disk', "Leaving out vda: holds a mounted filesystem (/).\n"],
                      net_run(1, at(8, 0), {}, 'Pass complete: 25000 frames per port, 8000 frames/s.'),
                      disk_run(1, at(8, 0), 'complete'), again(),
                      net_run(2, at(8, 1), { eth2 => 88 }, 'Pass failed: eth2 received 88% of its frames.'),
                      disk_run(2, at(9, 0), 'complete'), again(),
                      net_run(3, at(8, 2), {}, 'Pass complete: 25000 frames per port, 8000 frames/s.'),
                      net_run(4, at(8, 3), { eth1 => 40 }, 'Stopped.'),
                      disk_run(3, at(10, 0), 'Stopped in pass 3 at 41%: 2 passes completed, 17.6 TB written and verified without error.'),
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
is_deeply($b->{disk}{stopped}, { pass => 3, percent => 41,
          text => 'Stopped in pass 3 at 41%: 2 passes completed, 17.6 TB written and verified without error.' },
          'disks: how far the stopped pass got');
is_deeply([map { [@$_{qw(name passes_verified model serial size)}, scalar @{$_->{failures}}] } @{$b->{disk}{devices}}],
          [['sda', 2, 'ST4000NM0033-9ZM', 'Z1Z0A1B0', '4.0 TB', 0], ['sdb', 2, 'ST4000NM0033-9ZM', 'Z1Z0A1B1', '4.0 TB', 0]],
          'disks: passes verified per disk');
is_deeply($b->{disk}{left_out}, [{ name => 'vda', reason => 'holds a mounted filesystem (/).', passes => '1' }],
          'disks: left out');
is_deeply([@{$b->{network}}{qw(row result code passes_started passes_completed)}], ['FAIL', 'FAILED (code 4)', 4, 4, 2],
          'network: row, result, passes started and completed');
is_deeply(ports($b), { eth0 => [100, 100, 0], eth1 => [40, 40, 1], eth2 => [100, 88, 1], eth3 => [100, 100, 0] },
          'network: each port\'s last percentage, its worst, BAD below 90');
is($b->{network}{ports}[1]{received}, 10000, 'network: counts of the last result');
is_deeply($b->{network}{failed_passes}, ['Pass failed: eth2 received 88% of its frames.'], 'network: the failed pass');
is($b->{progress_lines}, 27, 'progress lines counted');
ok($b->{any_pass_completed}, 'passes completed');
for my $line ('  Verdict      FAILED  ("** FAILED - Press Enter When Done **")',
              '  Ended        stopped by the operator, after the network test failed with code 4',
              '  Started      2024-05-01 08:00:00 UTC',
              '  Last line    2024-05-01 11:30:00 UTC',
              '  Duration     3 h 30 min',
              '  Disks        PASS  PASSED; 2 of 3 passes completed; stopped in pass 3 at 41%',
              '    sda        2 passes verified    ST4000NM0033-9ZM, serial Z1Z0A1B0, 4.0 TB',
              '    vda        left out             in pass 1: holds a mounted filesystem (/).',
              '  Network      FAIL  FAILED (code 4); 2 of 4 passes completed',
              '    eth1       40% BAD              received 10000 of 25000 frames',
              '    eth2       100% BAD             received 25000 of 25000 frames; worst 88%',
              '    Pass failed: eth2 received 88% of its frames.') {
    like($txt, qr/^\Q$line\E$/m, "report.txt: $line");
}
unlike($txt, qr/stopped before any pass completed/, 'report.txt: no claim that nothing completed');

# ---- stopped before any pass completed
$log = program_log(net_run(1, at(8, 0), {}, 'Stopped.'),
                   disk_run(1, at(8, 0), 'Stopped in pass 1 at 3%: 0 passes completed, 0.2 TB written and verified without error.'),
                   program_end('PASSED', 'PASSED', 1));
($r, $txt) = make_record('supermicro-x9', burnin => $log, mtime => timegm(0, 4, 8, 1, 4, 2024));
$b = $r->{burnin};
is($b->{ended}, 'stopped by the operator before any pass completed', 'early stop: said plainly');
ok(!$b->{any_pass_completed}, 'early stop: no pass completed');
is_deeply([$b->{disk}{passes_completed}, $b->{network}{passes_completed}], [0, 0], 'early stop: zero passes each');
is($b->{verdict}, 'PASSED', 'early stop: the verdict as the screen showed it');
like($txt, qr/^  Passes       stopped before any pass completed$/m, 'report.txt: said plainly');
like($txt, qr/^  Duration     4 min 00 s$/m, 'report.txt: short duration');

# ---- the disk test fails, the network goes on until the operator stops
$log = program_log(net_run(1, at(8, 0), {}, 'Pass complete: 25000 frames per port.'),
                   disk_run(1, at(8, 0), 'Disk sdb: verify error at byte 123456789: it reads 0x5a instead of 0x00.'),
                   net_run(2, at(8, 1), { eth3 => 85 }, 'Stopped.'), program_end('FAILED (code 5)', 'PASSED', 1));
($r, $txt) = make_record('supermicro-x9', burnin => $log);
$b = $r->{burnin};
is($b->{ended}, 'stopped by the operator, after the disk test failed with code 5', 'disk failure: how it ended');
is_deeply([$b->{disk}{row}, $b->{disk}{code}, $b->{network}{row}], ['FAIL', 5, 'BAD'],
          'disk failure: FAIL, and BAD for a port below 90% as the screen showed');
is_deeply($b->{disk}{devices}[1]{failures}, ['Disk sdb: verify error at byte 123456789: it reads 0x5a instead of 0x00.'],
          'disk failure: the failing disk and its message');
like($txt, qr/^    sdb        FAILED               Disk sdb: verify error at byte 123456789/m, 'report.txt: the failing disk');
like($txt, qr/^  Network      BAD   PASSED; 1 of 2 passes completed$/m, 'report.txt: BAD network row');
like($txt, qr/^    eth3       85% BAD /m, 'report.txt: the BAD port');

# ---- both fail: the test ends by itself
$log = program_log(net_run(1, at(8, 0), { eth0 => 0 }, 'Pass failed: eth0 received no frames.'),
                   disk_run(1, at(8, 0), 'Disk sda: write error at byte 4194304 (Input/output error).'),
                   program_end('FAILED (code 4)', 'FAILED (code 4)', 0));
($r) = make_record('supermicro-x9', burnin => $log);
$b = $r->{burnin};
is($b->{ended}, 'the disk test failed with code 4 and the network test failed with code 4, before any pass completed',
   'both failed: how it ended');
ok(!$b->{halted_by_user}, 'both failed: not stopped by the operator');

# ---- closed before the helpers ended: no summary
$log = program_log(net_run(1, at(8, 0), {}, 'Pass complete: 25000 frames per port.'),
                   disk_run(1, at(8, 0), 'complete'), again(), ['prog', "\nTEST HALTED BY USER.\n\n"]);
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
$log = program_log(['net', "PASSED\n"], disk_run(1, at(8, 0), 'complete'), program_end('PASSED', 'FAILED (code 2)', 0));
($r) = make_record('supermicro-x9', burnin => $log);
is_deeply([$r->{burnin}{disk}{result}, $r->{burnin}{network}{result}], ['PASSED', 'FAILED (code 2)'],
          'the summary is the pair of result lines, not a lone helper line');

# ---- what the helpers said that the record carries: what each disk held,
# the disks left out once with their passes, the peers a port did not hear,
# the port groups, and why a helper ended without a pass to fail
my $held = ['disk', "Disk sda holds: gpt partition table, sda1 ext4 \"data\", sda2 swap.\n"
                    . "Disk sdb holds: nothing recognised.\nWriting starts in 10 s: stop the burn-in now to keep these disks.\n"];
my $fd0 = ['disk', "Leaving out fd0: floppy drive.\nLeaving out sdz: the results stick (FAT label RUNDIAGS).\n"];
my $groups = ['net', "Group 1: eth0 eth1.\nGroup 2: eth2 eth3.\n"];
my $deaf = ['net', "Port eth0: received 0 of 75000 frames (0%); none from eth1, eth3; missing 12 from eth2.\n"];
my @said = (
    ['left out once, with its passes', [['disk', " Pass 1 started 2024-05-01 08:00:00 UTC.\n"], $fd0, again(),
                                        ['disk', " Pass 2 started 2024-05-01 09:00:00 UTC.\n"], $fd0, again(),
                                        ['disk', " Pass 4 started 2024-05-01 10:00:00 UTC.\n"], $fd0],
     sub { $_[0]{disk}{left_out} }, [{ name => 'fd0', reason => 'floppy drive.', passes => '1-2, 4' },
                                     { name => 'sdz', reason => 'the results stick (FAT label RUNDIAGS).', passes => '1-2, 4' }],
     ['    fd0        left out             in passes 1-2, 4: floppy drive.']],
    ['what each disk held', [disk_run(1, at(8, 0), 'complete'), $held],
     sub { [map { $_->{held} } @{$_[0]{disk}{devices}}] }, ['gpt partition table, sda1 ext4 "data", sda2 swap', 'nothing recognised'],
     ['               held before          gpt partition table, sda1 ext4 "data", sda2 swap']],
    ['the peers a port did not hear', [net_run(1, at(8, 0), {}, 'Stopped.'), $deaf],
     sub { [@{$_[0]{network}{ports}[0]}{qw(none_from missing_from)}] }, [['eth1', 'eth3'], [{ name => 'eth2', frames => 12 }]],
     ['    eth0       0% BAD               received 0 of 75000 frames; none from eth1, eth3; missing 12 from eth2']],
    ['port groups', [$groups, net_run(1, at(8, 0), {}, 'Pass complete: all ports 100% in 2 groups (eth0 eth1; eth2 eth3).')],
     sub { $_[0]{network}{groups} }, [[qw(eth0 eth1)], [qw(eth2 eth3)]],
     ['               groups               eth0 eth1; eth2 eth3']],
    ['one group: none named', [net_run(1, at(8, 0), {}, 'Pass complete.')], sub { $_[0]{network}{groups} }, undef, []],
    ['a helper that ended for a reason of its own',
     [['net', "Pass 1 started 2024-05-01 08:00:00 UTC.\nTo pass the burn-in test, you need at least two network ports.\n"],
      program_end('PASSED', 'FAILED (code 2)', 0)],
     sub { $_[0]{network}{reason} }, 'To pass the burn-in test, you need at least two network ports.',
     ['  Network      FAIL  FAILED (code 2); 0 of 1 pass completed',
      '               ended with           To pass the burn-in test, you need at least two network ports.']],
    ['a failed pass is reason enough', [net_run(1, at(8, 0), { eth1 => 50 }, 'Pass failed: below 90%: eth1 50%.'),
                                        program_end('PASSED', 'FAILED (code 4)', 0)],
     sub { $_[0]{network}{reason} }, undef, []],
);
for my $case (@said) {
    my ($name, $parts, $part, $want, $lines) = @$case;
    ($r, $txt) = make_record('qemu-kvm', burnin => program_log(@$parts));
    is_deeply($part->($r->{burnin}), $want, "$name: report.json");
    like($txt, qr/^\Q$_\E$/m, "$name: report.txt") for @$lines;
}

records_valid();
done_testing();
