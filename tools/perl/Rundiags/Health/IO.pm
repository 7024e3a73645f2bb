package Rundiags::Health::IO;
# What the health collectors share: the root they read (COMPAT_ROOT, a fake
# machine for tests), the state directory below it, bounded reads of the
# kernel's files, JSON state written whole or not at all, and programs run
# with a time limit, since a BMC that does not answer may hold ipmitool for
# minutes.
use strict;
use warnings;
use Exporter 'import';
use JSON::PP ();
use POSIX ();
use Time::HiRes ();
use File::Path qw(make_path);
use Rundiags::Shared qw(natural_cmp);

our @EXPORT_OK = qw(hroot state_dir read_text read_value list_names read_json write_json run_timed iso_time);

use constant MAX_OUTPUT => 1 << 20;

sub hroot { my $r = $ENV{COMPAT_ROOT} // ''; $r =~ s{/+\z}{}; return $r }

sub state_dir { return hroot() . '/run/rundiags/health' }

sub iso_time { return POSIX::strftime('%Y-%m-%dT%H:%M:%SZ', gmtime($_[0] // time)) }

# A file below the root (or a state file when the path is absolute under
# the state directory already), at most 1 MiB; undef when it cannot be read.
sub read_text {
    my ($path, $raw) = @_;
    open(my $fh, '<:raw', $raw ? $path : hroot() . $path) or return undef;
    my $n = read($fh, my $text, MAX_OUTPUT);
    close $fh;
    return defined $n ? $text : undef;
}

# One attribute: its first line without control bytes, undef when empty.
sub read_value {
    my $t = read_text($_[0]) // return undef;
    $t =~ s/\n.*//s;
    $t =~ s/[\x00-\x1f\x7f]+/ /g;
    $t =~ s/^\s+|\s+$//g;
    return $t eq '' ? undef : $t;
}

sub list_names {
    my ($path, $re) = @_;
    opendir(my $dh, hroot() . $path) or return ();
    my @names = grep { $_ =~ $re } readdir $dh;
    closedir $dh;
    return sort { natural_cmp($a, $b) } @names;
}

sub read_json {
    my ($name) = @_;
    my $text = read_text(state_dir() . "/$name", 1) // return undef;
    return eval { JSON::PP::decode_json($text) };
}

# Written to a file of its own and renamed into place, so a reader never
# sees half a state.
sub write_json {
    my ($name, $data) = @_;
    my $dir = state_dir();
    make_path($dir, { mode => 0755, error => \my $err });
    my $tmp = "$dir/.$name.$$";
    open(my $fh, '>', $tmp) or return 0;
    print {$fh} JSON::PP->new->canonical->encode($data);
    close($fh) or return 0;
    return rename($tmp, "$dir/$name");
}

# Runs a program without a shell, input from /dev/null, errors with its
# output, in a process group of its own that is killed when it takes longer
# than $seconds. Returns (exit code or -1, output (1 MiB at most), late).
sub run_timed {
    my ($seconds, @cmd) = @_;
    pipe(my $r, my $w) or return (-1, "pipe: $!", 0);
    my $pid = fork // return (-1, "fork: $!", 0);
    if (!$pid) {
        POSIX::setpgid(0, 0);
        close $r;
        open STDIN, '<', '/dev/null';
        open STDOUT, '>&', $w;
        open STDERR, '>&', $w;
        exec { $cmd[0] } @cmd or POSIX::_exit(127);
    }
    close $w;
    my ($out, $late) = collect_output($r, Time::HiRes::time() + $seconds);
    kill 'KILL', -$pid if $late;
    close $r;
    waitpid($pid, 0);
    return ($late || $? & 127 ? -1 : $? >> 8, $out, $late);
}

sub collect_output {
    my ($r, $deadline) = @_;
    my $out = '';
    while (1) {
        my $left = $deadline - Time::HiRes::time();
        return ($out, 1) if $left <= 0;
        my $bits = '';
        vec($bits, fileno($r), 1) = 1;
        next unless select($bits, undef, undef, $left) > 0;
        my $n = sysread($r, my $chunk, 65536);
        return ($out, 0) unless $n;
        $out .= $chunk if length($out) < MAX_OUTPUT;
    }
}

1;
