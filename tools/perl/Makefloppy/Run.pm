package Makefloppy::Run;
# This boot's run of the burn-in, as the medium's start-up describes it in
# /run/rundiags: the run's name ("run": the boot's start in UTC and four
# random hex digits, 20261207T165312Z-3f9a) and the warnings it gave the
# operator ("warnings", one a line). Off the medium, a copy to a results
# stick names the run itself, the same way and once per boot: the stick's
# folders need it, and a fake root for tests is never written otherwise.
use strict;
use warnings;
use Exporter 'import';
use Fcntl qw(O_WRONLY O_CREAT O_EXCL);
use File::Path qw(make_path);
use POSIX ();
use Makefloppy::Util qw(root rfile rline clean);

our @EXPORT_OK = qw(run_name make_run_name medium_warnings);

my $DIR = '/run/rundiags';

# Where the run's name is kept: /run/rundiags (below the fake root in
# tests), or RUNDIAGS_RUN_DIR, a folder of the caller's own, for the
# stand-ins that record a fake server from its read-only fixture.
sub run_dir {
    my $own = $ENV{RUNDIAGS_RUN_DIR};
    return defined $own && $own ne '' ? $own : root() . $DIR;
}

# The run's name, in characters any FAT file system takes; undef when the
# run has none yet.
sub run_name {
    open(my $fh, '<', run_dir() . '/run') or return undef;
    my $line = <$fh> // '';
    close $fh;
    $line =~ s/\n.*//s;
    my $name = clean($line) // return undef;
    $name =~ s/[^A-Za-z0-9._-]+/_/g;
    return $name eq '' ? undef : $name;
}

# The run's name, made when there is none. Written to a file of its own
# first and then linked into place, so that two copies in one boot agree
# on the first one's name.
sub make_run_name {
    my $have = run_name();
    return $have if defined $have;
    my ($btime) = (rfile('/proc/stat') // '') =~ /^btime (\d+)$/m;
    my $name = POSIX::strftime('%Y%m%dT%H%M%SZ', gmtime($btime // time)) . sprintf('-%04x', random16());
    my $dir = run_dir();
    make_path($dir, { mode => 0755, error => \my $err });
    my $tmp = "$dir/.run.$$";
    if (sysopen(my $fh, $tmp, O_WRONLY | O_CREAT | O_EXCL, 0644)) {
        print {$fh} "$name\n";
        close $fh;
        link($tmp, "$dir/run");
        unlink $tmp;
    }
    return run_name() // $name;
}

sub random16 {
    if (open(my $fh, '<:raw', '/dev/urandom')) {
        my $n = read($fh, my $bytes, 2);
        close $fh;
        return unpack('n', $bytes) if $n && $n == 2;
    }
    return int(rand(65536));
}

# Every warning the medium gave the operator, control bytes blanked.
sub medium_warnings {
    my $text = rfile("$DIR/warnings") // return ();
    return grep { defined } map { clean($_) } split /\n/, $text;
}

1;
