package Rundiags::Shared;
# What compat.pl and makefloppy share: running the programs they consult
# (modprobe, smartctl, dmidecode, ethtool, mtools), found safely, with
# output and errors captured; the order in which devices are listed; and
# how a memory size is written, so that the record and the probe agree.
use strict;
use warnings;
use Exporter 'import';
use POSIX ();

our @EXPORT_OK = qw(run_capture find_tool on_path natural_cmp fmt_kib);

# Runs a command with its output and errors captured and no input;
# returns (exit code, text), the code -1 when it could not start.
sub run_capture {
    my (@cmd) = @_;
    my $pid = open(my $out, '-|');
    return (-1, "fork: $!") unless defined $pid;
    if (!$pid) {
        open STDERR, '>&', \*STDOUT;
        open STDIN, '<', '/dev/null';
        exec { $cmd[0] } @cmd or POSIX::_exit(127);
    }
    local $/;
    my $text = <$out> // '';
    close $out;
    return ($? == -1 ? -1 : $? >> 8, $text);
}

# A program that reads or changes the real machine: the one named in the
# environment variable, else the installed one, but never for a fake root
# (COMPAT_ROOT), whose results must describe the fake machine only.
sub find_tool {
    my ($env, $name) = @_;
    return $ENV{$env} if defined $ENV{$env} && $ENV{$env} ne '';
    return undef if defined $ENV{COMPAT_ROOT} && $ENV{COMPAT_ROOT} ne '';
    return on_path($name);
}

# The installed program: on PATH, else where the system keeps it (PATH may
# lack the sbin directories when a user starts the helpers).
sub on_path {
    my ($name) = @_;
    for my $dir (split(/:/, $ENV{PATH} // ''), qw(/sbin /usr/sbin /bin /usr/bin)) {
        return "$dir/$name" if $dir ne '' && -x "$dir/$name";
    }
    return undef;
}

# sda < sdb < sdz < sdaa < nvme0n1, ttyS2 < ttyS10
sub natural_cmp {
    my ($x, $y) = @_;
    my @x = split /(\d+)/, $x;
    my @y = split /(\d+)/, $y;
    while (@x && @y) {
        my ($p, $q) = (shift @x, shift @y);
        my $c = ($p =~ /^\d+\z/ && $q =~ /^\d+\z/) ? $p <=> $q : (length $p <=> length $q || $p cmp $q);
        return $c if $c;
    }
    return @x <=> @y;
}

sub fmt_kib {
    my ($kb) = @_;
    return $kb >= 1024 * 1024 ? sprintf('%.1f GiB', $kb / (1024 * 1024)) : sprintf('%d MiB', int($kb / 1024));
}

1;
