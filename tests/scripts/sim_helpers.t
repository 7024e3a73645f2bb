#!/usr/bin/perl
# The simulated helpers speak the same protocol as the real ones, are
# deterministic, and stop promptly on SIGTERM.
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

# ---- netburn
my $t0 = time;
my ($out, $rc) = run_cmd({ SIM_PASS_SECONDS => 1 }, "$SIM/netburn", '-1');
my $took = time - $t0;
is($rc, 0, 'netburn: a clean pass exits 0');
ok($took >= 0.8 && $took < 5, sprintf('netburn: the pass takes about its length (%.1f s)', $took));
my @status = grep { /^@/ } split /\n/, $out;
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
like($out, qr/^eth0: [\d.]+% of \d+ frames received$/m, 'netburn: per-port message lines');
my ($again) = run_cmd({ SIM_PASS_SECONDS => 1 }, "$SIM/netburn", '-1');
is($again, $out, 'netburn: deterministic');
($out, $rc) = run_cmd({ SIM_PASS_SECONDS => 0.3, SIM_NET_FAIL => 5 }, "$SIM/netburn", '-1');
is($rc, 5, 'netburn: SIM_NET_FAIL sets the exit code');
($out) = run_cmd({ SIM_PASS_SECONDS => 0.3, SIM_NET_BAD => 'eth2' }, "$SIM/netburn", '-1');
my ($last) = (grep { /^@/ } split /\n/, $out)[-1];
my ($sent_n, $eth2) = $last =~ /^@(\d+) .* eth2=(\d+) /;
ok(defined $eth2 && $eth2 * 100 / $sent_n < 90, 'netburn: SIM_NET_BAD drops a port below 90%');

# ---- diskburn
(undef, $rc) = run_cmd({}, "$SIM/diskburn");
is($rc, 2, 'diskburn: refuses to run without --destroy');
$t0 = time;
($out, $rc) = run_cmd({ SIM_PASS_SECONDS => 1 }, "$SIM/diskburn", '--destroy');
$took = time - $t0;
is($rc, 0, 'diskburn: a clean pass exits 0');
ok($took >= 0.8 && $took < 5, sprintf('diskburn: the pass takes about its length (%.1f s)', $took));
my @lines = split /\n/, $out;
ok((grep { /^ / } @lines) >= 8, 'diskburn: detail lines begin with a blank');
ok((grep { /^\S.*\d+%$/ } @lines) >= 8, 'diskburn: progress message lines');
like($out, qr/^sda: pass OK, 0 errors\nsdb: pass OK, 0 errors\n\z/m, 'diskburn: per-disk results at the end');
($out, $rc) = run_cmd({ SIM_PASS_SECONDS => 0.2, SIM_DISK_FAIL => 3 }, "$SIM/diskburn", '--destroy');
is($rc, 3, 'diskburn: SIM_DISK_FAIL=3 exits 3');
like($out, qr/^sdb: FAILED, /m, 'diskburn: and says which disk failed');

# ---- both stop promptly on SIGTERM
for my $cmd (["$SIM/netburn", '-1'], ["$SIM/diskburn", '--destroy']) {
    my $pid = fork;
    if (!$pid) {
        open STDOUT, '>', '/dev/null';
        $ENV{SIM_PASS_SECONDS} = 60;
        exec @$cmd or POSIX::_exit(127);
    }
    sleep 0.5;
    my $sent = time;
    kill 'TERM', $pid;
    waitpid($pid, 0);
    my $status = $?;
    my $stop = time - $sent;
    is($status, 0, "$cmd->[0]: exit 0 on SIGTERM");
    ok($stop < 1, sprintf('%s: stops within a second (%.2f s)', $cmd->[0], $stop));
}

# ---- compat.pl
$t0 = time;
($out, $rc) = run_cmd({ SIM_COMPAT_SECONDS => 0.5, COMPAT_LOG => "$tmp/compat.log" }, "$SIM/compat.pl", '');
$took = time - $t0;
is($rc, 0, 'compat.pl: exit 0');
is($out, slurp("$FindBin::Bin/expected/supermicro-x9.basic"), 'compat.pl: the fake storage server, exactly');
ok($took >= 0.4, 'compat.pl: paced');
($out, $rc) = run_cmd({ SIM_COMPAT_SECONDS => 0, SIM_MACHINE => 'dell-r730', COMPAT_LOG => "$tmp/compat-a.log" },
                      "$SIM/compat.pl", '-a');
like($out, qr/^ORVEX hardware compatibility probe, advanced test\nSystem Dell Inc\. PowerEdge R730/, 'compat.pl -a: another server');
ok(-s "$tmp/compat-a.log", 'compat.pl: writes its log');

# ---- makefloppy
($out, $rc) = run_cmd({ SIM_FLOPPY_SECONDS => 0, RESULTS_LOG_DIR => $tmp, RESULTS_DIR => "$tmp/results" },
                      "$SIM/makefloppy");
is($rc, 0, 'makefloppy: exit 0');
ok(-s "$tmp/results/$_", "makefloppy: $_ in the results folder") for qw(compat.log compat-a.log report.txt report.json);
(undef, $rc) = run_cmd({ SIM_FLOPPY_SECONDS => 0, SIM_FLOPPY_FAIL => 4, RESULTS_LOG_DIR => $tmp,
                         RESULTS_DIR => "$tmp/results2" }, "$SIM/makefloppy");
is($rc, 4, 'makefloppy: SIM_FLOPPY_FAIL sets the exit code');
ok(!-e "$tmp/results2", 'makefloppy: and nothing is written then');

done_testing();
