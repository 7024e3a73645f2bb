package ScriptTest;
# Helpers shared by the tests of the helper scripts.
use strict;
use warnings;
use Exporter 'import';
use File::Temp qw(tempdir);
use FindBin;
our @EXPORT_OK = qw($REPO run_cmd slurp spew scratch);

our $REPO = "$FindBin::Bin/../..";

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

1;
