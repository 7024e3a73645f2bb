#!/usr/bin/perl
# No Perl function of the helpers and the simulated helpers runs over 80
# lines (a named sub from its "sub" line to the "}" that closes it at the
# start of a line).
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use File::Find qw(find);
use ScriptTest qw($REPO slurp);

my @files = ("$REPO/tools/compat.pl", "$REPO/tools/makefloppy", "$REPO/tools/rundiags-health", "$REPO/tools/fixtures/make-fixtures.pl",
             grep { (slurp($_) // '') =~ /\A#!\/usr\/bin\/perl/ } glob("$REPO/sim/*"));
find(sub { push @files, $File::Find::name if /\.pm\z/ }, "$REPO/tools/perl", "$REPO/sim/lib");

my @long;
for my $file (sort @files) {
    my ($name, $from);
    my @lines = split /\n/, slurp($file);
    for my $i (0 .. $#lines) {
        ($name, $from) = ($1, $i) if $lines[$i] =~ /^sub (\w+)/ && $lines[$i] !~ /}\s*$/;
        next unless defined $name && $lines[$i] =~ /^}/;
        push @long, sprintf('%s: %s has %d lines', $file =~ s{^\Q$REPO\E/}{}r, $name, $i - $from + 1)
            if $i - $from + 1 > 80;
        undef $name;
    }
}
ok(@files > 15, scalar(@files) . ' files looked at');
is_deeply(\@long, [], 'no function over 80 lines');
done_testing();
