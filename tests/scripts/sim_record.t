#!/usr/bin/perl
# The demo's record: the simulated helpers run as the program runs them
# (probe, burn-in passes and a stop, then the copy), and the record
# describes the simulated server only: its identity, processors, memory,
# disks and ports, the same disks and ports in the burn-in, and nothing of
# the machine the demo runs on.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use JSON::PP;
use ScriptTest qw($REPO run_cmd slurp spew scratch);
use RecordTest qw(program_log records_valid keep_record);

my $SIM = "$REPO/sim";

# What of this machine must not show up in a simulated server's record.
my @host;
push @host, $1 if (slurp('/proc/version') // '') =~ /^(Linux version \S+)/;
push @host, $1 if (slurp('/proc/cpuinfo') // '') =~ /^model name\s*:\s*(.*?)\s*$/m;
for my $if (grep { !/^lo$/ } map { s{.*/}{}r } glob('/sys/class/net/*')) {
    my $mac = slurp("/sys/class/net/$if/address") // '';
    chomp $mac;
    push @host, $mac if $mac =~ /[1-9a-f]/;
}

sub helper {
    my ($env, $stop, @cmd) = @_;
    my @run = $stop ? ('timeout', '--preserve-status', '-s', 'TERM', $stop, @cmd) : @cmd;
    my ($out, $rc) = run_cmd({ SIM_PASS_SECONDS => 0.4, %$env }, @run);
    return ($out, $rc);
}

sub demo {
    my ($machine) = @_;
    my $dir = scratch();
    my %m = (SIM_MACHINE => $machine);
    run_cmd({ %m, SIM_COMPAT_SECONDS => 0, COMPAT_LOG => "$dir/compat.log" }, "$SIM/compat.pl", '');
    my @parts;
    push @parts, ['net', (helper({ %m, RUNDIAGS_PASS => 1 }, undef, "$SIM/netburn", '-1'))[0]];
    push @parts, ['disk', (helper({ %m, RUNDIAGS_PASS => 1 }, undef, "$SIM/diskburn", '--destroy'))[0]];
    push @parts, ['disk', "starting again.\n"];
    push @parts, ['net', (helper({ %m, RUNDIAGS_PASS => 2 }, undef, "$SIM/netburn", '-1'))[0]];
    push @parts, ['disk', (helper({ %m, RUNDIAGS_PASS => 2, SIM_PASS_SECONDS => 10 }, 0.5, "$SIM/diskburn", '--destroy'))[0]];
    push @parts, ['net', (helper({ %m, RUNDIAGS_PASS => 3, SIM_PASS_SECONDS => 10 }, 0.5, "$SIM/netburn", '-1'))[0]];
    push @parts, ['prog', "\nTEST HALTED BY USER.\n\n\n   Disk: PASSED\nNetwork: PASSED\n\n"
                          . "(All these log messages are in \"/tmp/burnin.log\")\n\n** PASSED - Press Enter When Done **\n"];
    spew("$dir/burnin.log", program_log(@parts));
    my ($out, $rc) = run_cmd({ %m, SIM_FLOPPY_SECONDS => 0, RESULTS_LOG_DIR => $dir, RESULTS_DIR => "$dir/results" },
                             "$SIM/makefloppy");
    die "makefloppy: $out" if $rc;
    keep_record("$dir/results/report.json");
    return (slurp("$dir/results/report.json"), slurp("$dir/results/report.txt"));
}

my %serial = ('supermicro-x9' => 'C8150AB23N10012', 'dell-r730' => '7QX2K52');
for my $machine (sort keys %serial) {
    my ($json, $txt) = demo($machine);
    my $r = decode_json($json);
    my $m = $r->{machine};
    is($m->{system}{serial}, $serial{$machine}, "$machine: the simulated server's serial number");
    is($m->{processors}{threads}, 32, "$machine: its processors");
    like($m->{processors}{model}, qr/^Intel Xeon CPU E5-26[27]0/, "$machine: its processor model");
    ok($m->{memory}{usable_kb} > 60e6, "$machine: its memory");
    is_deeply([map { [$_->{name}, $_->{serial}] } @{$r->{burnin}{disk}{devices}}],
              [map { [$_->{name}, $_->{serial}] } @{$m->{disks}}], "$machine: the burn-in tested its disks");
    is_deeply([map { $_->{name} } @{$r->{burnin}{network}{ports}}], [map { $_->{name} } @{$m->{network_ports}}],
              "$machine: on its ports");
    is_deeply([map { $_->{category} } grep { $_->{category} eq 'DISK' } @{$r->{compatibility}{devices}}],
              [('DISK') x @{$m->{disks}}], "$machine: the probe saw the same disks");
    my $b = $r->{burnin};
    is_deeply([$b->{disk}{passes_completed}, $b->{network}{passes_completed}], [1, 2], "$machine: passes completed");
    like($b->{disk}{devices}[0]{held}, qr/^gpt partition table, /, "$machine: what its first disk held");
    is_deeply($b->{disk}{stopped}{pass}, 2, "$machine: the stopped disk pass");
    is($b->{ended}, 'stopped by the operator', "$machine: stopped by the operator");
    like($b->{started} // '', qr/^\d{4}-\d\d-\d\dT/, "$machine: the start time from the helpers' lines");
    is_deeply([grep { index($json . $txt, $_) >= 0 } @host], [], "$machine: nothing of the machine the demo runs on");
}

records_valid();
done_testing();
