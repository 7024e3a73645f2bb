#!/usr/bin/perl
# Simulated compat.pl: the real probe run on one of the fake servers shipped
# with the tools, paced like a probe of real hardware. Safe on any machine:
# the fake root is only read, and the advanced checks are skipped on it.
#
#   SIM_MACHINE          fake server to report (tools/fixtures/NAME), default supermicro-x9
#   SIM_COMPAT_SECONDS   how long the whole probe takes, default 3
#   COMPAT_LOG           as for the real probe (default /tmp/compat[-a].log)
use strict;
use warnings;
use File::Basename qw(dirname);
use Cwd qw(abs_path);
use Time::HiRes qw(sleep);

$| = 1;
my $repo = dirname(dirname(abs_path($0)));
my $machine = $ENV{SIM_MACHINE} || 'supermicro-x9';
my $root = "$repo/tools/fixtures/$machine";
die "compat.pl (simulated): no fake server '$machine' in $repo/tools/fixtures\n" unless -d $root;
my $seconds = defined $ENV{SIM_COMPAT_SECONDS} ? $ENV{SIM_COMPAT_SECONDS} : 3;

$ENV{COMPAT_ROOT} = $root;
open(my $probe, '-|', 'perl', "$repo/tools/compat.pl", @ARGV ? $ARGV[0] : '')
    or die "compat.pl (simulated): cannot run the probe: $!\n";
my @lines = <$probe>;
close $probe;
my $pause = @lines ? $seconds / @lines : 0;
for my $line (@lines) {
    print $line;
    sleep($pause) if $pause > 0;
}
exit 0;
