package Makefloppy::Util;
# What every part of makefloppy shares: the exit codes, failing with one,
# and careful reading of the machine's proc and sys files.
use strict;
use warnings;
use Exporter 'import';
use Rundiags::Shared qw(run_capture find_tool on_path natural_cmp);

use constant {
    EXIT_OK => 0, EXIT_INTERNAL => 1, EXIT_NO_LOGS => 2, EXIT_NO_DRIVE => 3,
    EXIT_NO_MEDIUM => 4, EXIT_TOO_BIG => 5, EXIT_WRITE => 6, EXIT_VERIFY => 7,
};

our @EXPORT_OK = qw(EXIT_OK EXIT_INTERNAL EXIT_NO_LOGS EXIT_NO_DRIVE EXIT_NO_MEDIUM EXIT_TOO_BIG
                    EXIT_WRITE EXIT_VERIFY say_err fail on_fail root fake_root rfile rline clean listdir
                    link_base run_capture on_path find_tool natural_cmp fmt_bytes);

# COMPAT_ROOT names a fake root to read proc and sys from (tests, sim/).
my $ROOT = defined $ENV{COMPAT_ROOT} ? $ENV{COMPAT_ROOT} : '';
$ROOT =~ s{/+\z}{};

sub root { return $ROOT }
sub fake_root { return $ROOT ne '' }

sub say_err { print STDERR "makefloppy: @_\n" }

# What is still to be done when writing fails: the outbox gets the record
# of a copy that did not reach its medium. Run once, before the exit.
my $ON_FAIL;
sub on_fail { $ON_FAIL = $_[0] }

sub fail {
    my ($code, @msg) = @_;
    say_err(@msg);
    if (my $last = $ON_FAIL) {
        undef $ON_FAIL;
        $last->($code, "@msg");
    }
    exit $code;
}

# A sysfs attribute may be missing, unreadable, binary or huge; none of
# that may stop the record, so read a bounded amount and give up quietly.
sub rfile {
    my ($path) = @_;
    open(my $fh, '<:raw', $ROOT . $path) or return undef;
    my $text = '';
    my $n = read($fh, $text, 1 << 20);
    close $fh;
    return defined $n ? $text : undef;
}

sub clean {
    my ($text) = @_;
    return undef unless defined $text;
    $text =~ s/[\x00-\x1f\x7f]+/ /g;
    $text =~ s/\s+/ /g;
    $text =~ s/^ | \z//g;
    return $text eq '' ? undef : $text;
}

sub rline { my $t = rfile($_[0]); return undef unless defined $t; $t =~ s/\n.*//s; return clean($t) }

sub listdir {
    my ($path) = @_;
    opendir(my $dh, $ROOT . $path) or return ();
    my @names = grep { $_ ne '.' && $_ ne '..' } readdir $dh;
    closedir $dh;
    return sort { natural_cmp($a, $b) } @names;
}

sub link_base {
    my $target = readlink($ROOT . $_[0]);
    return undef unless defined $target;
    $target =~ s{.*/}{};
    return $target;
}

# Decimal units, as disks are sold.
sub fmt_bytes {
    my ($bytes) = @_;
    for ([1e12, 'TB'], [1e9, 'GB'], [1e6, 'MB']) {
        return sprintf('%.1f %s', $bytes / $_->[0], $_->[1]) if $bytes >= $_->[0];
    }
    return "$bytes bytes";
}

1;
