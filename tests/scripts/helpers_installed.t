#!/usr/bin/perl
# The helpers as the medium installs them: in a bin directory beside the
# interpreter (so "perl" next to the script is a file, not the modules'
# directory) with the modules in share/rundiags/perl. Nothing but the
# helpers' own lines may reach the operator: standard error stays empty.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use ScriptTest qw($REPO slurp spew scratch);
use RecordTest qw(keep_record records_valid);

my $tmp = scratch();
my $bin = "$tmp/usr/bin";
system('mkdir', '-p', $bin, "$tmp/usr/share/rundiags", "$tmp/logs") == 0 or die;
system('cp', '-a', "$REPO/tools/perl", "$tmp/usr/share/rundiags/perl") == 0 or die;
system('cp', "$REPO/tools/$_", "$bin/$_") == 0 or die for qw(compat.pl makefloppy rundiags-health);
spew("$bin/perl", "#!/bin/sh\n", 0755);    # stands where the interpreter lives

my %env = (COMPAT_ROOT => "$REPO/tools/fixtures/qemu-kvm", RESULTS_LOG_DIR => "$tmp/logs");
my @runs = (
    ['compat.pl basic', { COMPAT_LOG => "$tmp/logs/compat.log" }, 'compat.pl', ''],
    ['compat.pl advanced', { COMPAT_LOG => "$tmp/logs/compat-a.log" }, 'compat.pl', '-a'],
    ['makefloppy', {}, 'makefloppy', '--directory', "$tmp/out"],
    ['rundiags-health', { COMPAT_ROOT => "$tmp/root" }, 'rundiags-health', 'baseline'],
);
for my $run (@runs) {
    my ($name, $env, $prog, @args) = @$run;
    my $pid = fork // die "fork: $!";
    if (!$pid) {
        @ENV{keys %env} = values %env;
        @ENV{keys %$env} = values %$env;
        open STDOUT, '>', "$tmp/stdout" or die;
        open STDERR, '>', "$tmp/stderr" or die;
        exec $^X, "$bin/$prog", @args or exit 127;
    }
    waitpid $pid, 0;
    is($? >> 8, 0, "$name: exit 0");
    is(slurp("$tmp/stderr"), '', "$name: nothing on standard error");
}
ok(-s "$tmp/out/report.json", 'makefloppy wrote the record');
keep_record("$tmp/out/report.json");
records_valid();

done_testing();
