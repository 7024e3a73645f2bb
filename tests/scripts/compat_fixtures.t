#!/usr/bin/perl
# compat.pl on the fake servers: exactly the output kept in tests/protocol/logs
# (what the program and makefloppy make of it is tested there), and a log
# that holds the output plus the raw facts.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use ScriptTest qw($REPO run_cmd slurp scratch);

my $COMPAT = "$REPO/tools/compat.pl";
my $tmp = scratch();

for my $machine (qw(dell-r730 old-tower qemu-kvm supermicro-x9)) {
    my $log = "$tmp/$machine.log";
    my ($out, $rc) = run_cmd({ COMPAT_ROOT => "$REPO/tools/fixtures/$machine", COMPAT_LOG => $log },
                             'perl', $COMPAT, '');
    is($rc, 0, "$machine: exit 0");
    my $expected = slurp("$REPO/tests/protocol/logs/compat-$machine.log");
    is($out, $expected, "$machine: output is exactly as expected");

    my $logtext = slurp($log) // '';
    my $shown = join '', grep { !/^#/ } split /^/m, $logtext;
    is($shown, $out, "$machine: the log holds exactly what was printed");
    like($logtext, qr/^#\| 0000:\S+ class=\S+ id=[0-9a-f]{4}:[0-9a-f]{4} /m, "$machine: the log holds the PCI facts");
    like($logtext, qr/^#== \/proc\/cpuinfo\n#\| processor\t: 0$/m, "$machine: the log holds the raw cpuinfo");
}

# The program always passes the option as one argument; no argument at all
# must behave the same, an unknown one is refused.
my ($noarg) = run_cmd({ COMPAT_ROOT => "$REPO/tools/fixtures/old-tower", COMPAT_LOG => "$tmp/n.log" },
                      'perl', $COMPAT);
is($noarg, slurp("$REPO/tests/protocol/logs/compat-old-tower.log"), 'no argument is the basic test');
my (undef, $bad) = run_cmd({ COMPAT_ROOT => "$REPO/tools/fixtures/old-tower", COMPAT_LOG => "$tmp/b.log" },
                           'perl', $COMPAT, '-x');
is($bad, 2, 'unknown option is refused');

# A root without a PCI ID database falls back to numeric names.
like(slurp("$REPO/tests/protocol/logs/compat-old-tower.log"), qr/^NETWORK: PCI device 10ec:8139, eth0 \(8139too\)$/m,
     'numeric names without pci.ids');

done_testing();
