package ScriptTest;
# Helpers shared by the tests of the helper scripts.
use strict;
use warnings;
use Exporter 'import';
use File::Temp qw(tempdir);
use FindBin;
our @EXPORT_OK = qw($REPO run_cmd slurp spew scratch replay_program replay need_mtools);

our $REPO = "$FindBin::Bin/../..";

# Skips the whole test (77) where mtools is not installed; where it is, its
# checks of the geometry, meant for real floppy drives, stay off for images.
sub need_mtools {
    for my $tool (qw(mformat mcopy mdir)) {
        unless (grep { -x "$_/$tool" } split /:/, $ENV{PATH}) {
            print "1..0 # SKIP $tool not installed (Debian package mtools)\n";
            exit 77;
        }
    }
    $ENV{MTOOLS_SKIP_CHECK} = 1;
}

sub scratch { return tempdir('rundiags-test-XXXXXX', TMPDIR => 1, CLEANUP => 1) }

sub slurp {
    my ($path) = @_;
    open(my $fh, '<', $path) or return undef;
    local $/;
    my $text = <$fh>;
    close $fh;
    return $text;
}

sub spew {
    my ($path, $text, $mode) = @_;
    open(my $fh, '>', $path) or die "$path: $!";
    print $fh $text;
    close $fh;
    chmod $mode, $path if defined $mode;
}

# Runs a command with extra environment; returns (stdout+stderr, exit code).
sub run_cmd {
    my ($env, @cmd) = @_;
    my $pid = open(my $fh, '-|');
    die "fork: $!" unless defined $pid;
    if (!$pid) {
        while (my ($k, $v) = each %$env) {
            if (defined $v) { $ENV{$k} = $v } else { delete $ENV{$k} }
        }
        open STDERR, '>&', \*STDOUT;
        open STDIN, '<', '/dev/null';
        exec { $cmd[0] } @cmd or exit 127;
    }
    local $/;
    my $out = <$fh> // '';
    close $fh;
    return ($out, $? >> 8);
}

# The program's own interpreter of the probe's lines (tests/scripts/compat_replay),
# as ctest names it, or from the usual build directory.
sub replay_program {
    my $p = $ENV{COMPAT_REPLAY} // "$REPO/build/tests/scripts/compat_replay";
    return -x $p ? $p : undef;
}

# Feeds text to the program's interpreter; returns its result state.
sub replay {
    my ($text) = @_;
    my $prog = replay_program() or die 'compat_replay not built';
    my $in = scratch() . '/lines';
    spew($in, $text);
    my $pid = open(my $fh, '-|') // die "fork: $!";
    if (!$pid) {
        open STDIN, '<', $in or exit 127;
        exec { $prog } $prog or exit 127;
    }
    my %state = map { /^(\w+)=(.*)$/ ? ($1 => $2) : () } <$fh>;
    close $fh;
    return \%state;
}

1;
