#!/usr/bin/perl
# The simulated helpers speak the same protocol as the real ones (the
# agreed lines the record reads), describe the simulated server, are
# deterministic, and stop promptly on SIGTERM with the lines a real stop
# gives.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use Time::HiRes qw(time sleep);
use POSIX ();
use ScriptTest qw($REPO run_cmd slurp spew scratch);

my $SIM = "$REPO/sim";
my $tmp = scratch();
my $STARTED = qr/^Pass (\d+) started \d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC\.$/;

# ---- netburn
my $t0 = time;
my ($out, $rc) = run_cmd({ SIM_PASS_SECONDS => 1, RUNDIAGS_PASS => undef }, "$SIM/netburn", '-1');
my $took = time - $t0;
is($rc, 0, 'netburn: a clean pass exits 0');
ok($took >= 0.8 && $took < 5, sprintf('netburn: the pass takes about its length (%.1f s)', $took));
my @lines = split /\n/, $out;
like($lines[0], $STARTED, 'netburn: first line "Pass N started <time> UTC."');
is(($lines[0] =~ $STARTED)[0], 1, 'netburn: pass 1 without RUNDIAGS_PASS');
is_deeply([@lines[1 .. 4]], [map { "Port eth$_: link up, 1000 Mb/s, full duplex." } 0 .. 3],
          "netburn: the simulated server's ports and links");
my @status = grep { /^@/ } @lines;
ok(@status >= 3, 'netburn: several status lines per second');
my $bad = 0;
for my $line (@status) {
    my @pieces = grep { $_ ne '' } split /[ =]+/, $line;
    $bad++ unless @pieces == 9 && $pieces[0] =~ /^@\d+$/;
    my $sent = substr($pieces[0], 1);
    for (my $i = 1; $i < @pieces; $i += 2) {
        $bad++ unless $pieces[$i] =~ /^eth\d$/ && $pieces[$i + 1] =~ /^\d+$/ && $pieces[$i + 1] <= $sent
            && int((($pieces[$i + 1] * 1000 + 5) / $sent) / 10) >= 90;
    }
}
is($bad, 0, 'netburn: every status line is "@sent" and four port=count pairs at 90% or more');
my ($sent, %last) = $status[-1] =~ /^@(\d+) (.*)$/ ? ($1, split /[ =]/, $2) : ();
my @results = grep { /^Port \S+: received/ } @lines;
is_deeply(\@results, [map { my $p = int(int(($last{$_} * 1000 + 5) / $sent) / 10);
                            "Port $_: received $last{$_} of $sent frames ($p%)." } map { "eth$_" } 0 .. 3],
          'netburn: a result line per port with the last counts, the program\'s percentage');
like($lines[-1], qr/^Pass complete: /, 'netburn: "Pass complete: " ends a good pass');
my ($again) = run_cmd({ SIM_PASS_SECONDS => 1, RUNDIAGS_PASS => 7 }, "$SIM/netburn", '-1');
my @again = split /\n/, $again;
is(($again[0] =~ $STARTED)[0], 7, 'netburn: the pass number from RUNDIAGS_PASS');
is_deeply([@again[1 .. $#again]], [@lines[1 .. $#lines]], 'netburn: deterministic');
for my $odd ('', '0', '-2', 'x', '1.5') {
    my ($o) = run_cmd({ SIM_PASS_SECONDS => 0.1, RUNDIAGS_PASS => $odd }, "$SIM/netburn", '-1');
    is(($o =~ /^Pass (\d+) started/)[0], 1, "netburn: RUNDIAGS_PASS '$odd' counts as 1");
}
($out, $rc) = run_cmd({ SIM_PASS_SECONDS => 0.3, SIM_NET_FAIL => 5 }, "$SIM/netburn", '-1');
is($rc, 5, 'netburn: SIM_NET_FAIL sets the exit code');
like($out, qr/\nPass failed: [^\n]*\n\z/, 'netburn: and "Pass failed: " ends the pass');
($out, $rc) = run_cmd({ SIM_PASS_SECONDS => 0.3, SIM_NET_BAD => 'eth2' }, "$SIM/netburn", '-1');
is($rc, 4, 'netburn: a port below 90% fails the pass with the port-failure code');
like($out, qr/^Port eth2: received \d+ of \d+ frames \(8\d%\)/m, 'netburn: SIM_NET_BAD drops a port below 90%');
like($out, qr/\nPass failed: below 90%: eth2 8\d%\.\n\z/, 'netburn: and the pass says why');
($out, $rc) = run_cmd({ SIM_PASS_SECONDS => 0.3, SIM_MACHINE => 'qemu-kvm' }, "$SIM/netburn", '-1');
is($rc, 4, 'netburn: a port without link fails the pass');
like($out, qr/^Port enp2s0: no link; check its cable and the switch port\.$/m, 'netburn: naming the cable');
like($out, qr/^Port enp1s0: received \d+ of \d+ frames \(\d+%\); none from enp2s0\.\nPort enp2s0: [^\n]*; none from enp1s0\.$/m,
     'netburn: and the peers each port heard nothing from');
($out, $rc) = run_cmd({ SIM_PASS_SECONDS => 0.3, SIM_MACHINE => 'old-tower' }, "$SIM/netburn", '-1');
is($rc, 2, 'netburn: one port is too few (exit 2)');

# ---- diskburn
($out, $rc) = run_cmd({}, "$SIM/diskburn");
is($rc, 1, 'diskburn: refuses to run without --destroy');
$t0 = time;
($out, $rc) = run_cmd({ SIM_PASS_SECONDS => 1, RUNDIAGS_PASS => 2 }, "$SIM/diskburn", '--destroy');
$took = time - $t0;
is($rc, 0, 'diskburn: a clean pass exits 0');
ok($took >= 0.8 && $took < 5, sprintf('diskburn: the pass takes about its length (%.1f s)', $took));
@lines = split /\n/, $out;
like($lines[0], qr/^ Pass 2 started \d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC\.$/, 'diskburn: first a detail line with the pass start');
my @disks = (map({ ["sd$_->[0]", 'ST4000NM0033-9ZM', "Z1Z0A1B$_->[1]", '4.0 TB'] } [a => 0], [b => 1], [c => 2], [d => 3], [e => 4]),
             ['sdf', 'SEAGATE ST600MM0006', 'S0M1ABCD0000M4271KZF', '600.1 GB'],
             ['nvme0n1', 'INTEL SSDPE2MD800G4', 'CVFT5123000A800CGN', '800.2 GB']);
is_deeply([grep { /^Disk / } @lines], [map { "Disk $_->[0]: $_->[1], serial $_->[2], $_->[3]." } @disks],
          "diskburn: the simulated server's disks with model, serial and size");
is_deeply([map { /^ (\S+): verified in / ? $1 : () } @lines], [map { $_->[0] } @disks], 'diskburn: each disk verified');
is(scalar(grep { /^Pass \d+% done at \d+ MB\/s: / } @lines), 9, 'diskburn: a progress line at each tenth of the pass');
like($lines[-1], qr/^Pass complete: 7 disks \(21\.4 TB\) written and verified without error\.$/, 'diskburn: "Pass complete: " last');
ok(!grep({ /^ / && !/^ (?:Pass \d+ started|\S+: (?:written|verified) in )/ } @lines), 'diskburn: detail lines begin with one blank');
($out, $rc) = run_cmd({ SIM_PASS_SECONDS => 0.2, SIM_DISK_FAIL => 3 }, "$SIM/diskburn", '--destroy');
is($rc, 3, 'diskburn: SIM_DISK_FAIL=3 exits 3');
like($out, qr/\nDisk nvme0n1: verify error at byte \d+[^\n]*\n\z/, 'diskburn: and says which disk failed');
($out) = run_cmd({ SIM_PASS_SECONDS => 0.2, SIM_DISKS => 'sdx sdy' }, "$SIM/diskburn", '--destroy');
like($out, qr/^Disk sdx: Simulated disk, serial SIM0000, 500\.1 GB\.\nDisk sdx holds: gpt partition table, sdx1 vfat "EFI", /m,
     'diskburn: SIM_DISKS names other disks; the first pass says what each holds');
like($out, qr/^Disk sdy holds: nothing recognised\.$/m, 'diskburn: a disk that holds nothing known');

# ---- both stop promptly on SIGTERM, with the lines of a stop
sub stop_after {
    my ($after, $env, @cmd) = @_;
    pipe(my $r, my $w) or die $!;
    my $pid = fork;
    if (!$pid) {
        close $r;
        open STDOUT, '>&', $w;
        $ENV{$_} = $env->{$_} for keys %$env;
        exec @cmd or POSIX::_exit(127);
    }
    close $w;
    sleep $after;
    my $sent_at = time;
    kill 'TERM', $pid;
    waitpid($pid, 0);
    my ($status, $stop) = ($?, time - $sent_at);
    local $/;
    return ($status, $stop, scalar <$r>);
}
my ($status, $stop, $text) = stop_after(0.6, { SIM_PASS_SECONDS => 60 }, "$SIM/netburn", '-1');
is($status, 0, 'netburn: exit 0 on SIGTERM');
ok($stop < 1, sprintf('netburn: stops within a second (%.2f s)', $stop));
like($text, qr/(?:^Port eth\d: received \d+ of \d+ frames \(\d+%\)[^\n]*\n){4}Stopped after [\d.]+ of 60 s: \d+ frames sent, \d+ received\.\n\z/m,
     'netburn: the counts so far, then "Stopped after ..."');
($status, $stop, $text) = stop_after(0.6, { SIM_PASS_SECONDS => 1.5, RUNDIAGS_PASS => 4 }, "$SIM/diskburn", '--destroy');
is($status, 0, 'diskburn: exit 0 on SIGTERM');
ok($stop < 1, sprintf('diskburn: stops within a second (%.2f s)', $stop));
like($text, qr/\nStopped in pass 4 at [0-4]0%: 3 passes completed, 64\.2 TB written and verified without error\.\n\z/,
     'diskburn: "Stopped in pass N at P%: ..." last');

# ---- compat.pl
$t0 = time;
($out, $rc) = run_cmd({ SIM_COMPAT_SECONDS => 0.5, COMPAT_LOG => "$tmp/compat.log" }, "$SIM/compat.pl", '');
$took = time - $t0;
is($rc, 0, 'compat.pl: exit 0');
is($out, slurp("$REPO/tests/protocol/logs/compat-supermicro-x9.log"), 'compat.pl: the fake storage server, exactly');
ok($took >= 0.4, 'compat.pl: paced');
($out, $rc) = run_cmd({ SIM_COMPAT_SECONDS => 0, SIM_MACHINE => 'dell-r730', COMPAT_LOG => "$tmp/compat-a.log" },
                      "$SIM/compat.pl", '-a');
like($out, qr/^ORVEX hardware compatibility probe, advanced test\nSystem Dell Inc\. PowerEdge R730/, 'compat.pl -a: another server');
ok(-s "$tmp/compat-a.log", 'compat.pl: writes its log');

# ---- makefloppy
($out, $rc) = run_cmd({ SIM_FLOPPY_SECONDS => 0, SIM_MACHINE => 'dell-r730', RESULTS_LOG_DIR => $tmp,
                        RESULTS_DIR => "$tmp/results" }, "$SIM/makefloppy");
is($rc, 0, 'makefloppy: exit 0');
ok(-s "$tmp/results/$_", "makefloppy: $_ in the results folder") for qw(compat.log compat-a.log report.txt report.json);
(undef, $rc) = run_cmd({ SIM_FLOPPY_SECONDS => 0, SIM_FLOPPY_FAIL => 4, RESULTS_LOG_DIR => $tmp,
                         RESULTS_DIR => "$tmp/results2" }, "$SIM/makefloppy");
is($rc, 4, 'makefloppy: SIM_FLOPPY_FAIL sets the exit code');
ok(!-e "$tmp/results2", 'makefloppy: and nothing is written then');

done_testing();
