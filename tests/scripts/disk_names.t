#!/usr/bin/perl
# How makefloppy's record names a disk, over the table it shares with
# diskburn's test: both must name every disk alike.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use ScriptTest qw($REPO scratch spew);

my $root;
BEGIN { $root = ScriptTest::scratch(); $ENV{COMPAT_ROOT} = $root }
use lib "$FindBin::Bin/../../tools/perl";
use Makefloppy::Disks qw(disk_model);

sub bytes { my ($t) = @_; $t =~ s/\\x([0-9a-fA-F]{2})/chr hex $1/ge; return $t }

open(my $fh, '<', "$REPO/tests/burntools/disk_names.txt") or die "disk_names.txt: $!";
my $n = 0;
while (my $line = <$fh>) {
    chomp $line;
    next if $line eq '' || $line =~ /^#/;
    my @f = split /\|/, $line, -1;
    is(scalar @f, 4, "four fields: $line") or next;
    my $base = "/sys/block/sd" . $n++;
    system('mkdir', '-p', "$root$base/device") == 0 or die;
    my @attrs = qw(vendor model name);
    for my $k (0 .. 2) { spew("$root$base/device/$attrs[$k]", bytes($f[$k]) . "\n") if $f[$k] ne '-' }
    is(disk_model($base), bytes($f[3]), $line);
}
cmp_ok($n, '>', 10, 'the whole table');
done_testing();
