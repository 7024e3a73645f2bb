package Makefloppy::Logs;
# The result logs, and the ways of storing the burn-in log when the logs
# do not fit on a floppy: whole, gzip-compressed, and as a last resort
# shortened to its head, its tail and every line that is not a progress
# line, with a line saying how many were left out.
use strict;
use warnings;
use Exporter 'import';
use Fcntl qw(O_RDONLY O_NOFOLLOW O_NONBLOCK);
use IO::Compress::Gzip qw(gzip $GzipError);
use Makefloppy::Util qw(say_err fail EXIT_TOO_BIG EXIT_INTERNAL);
use Makefloppy::Burnin qw(is_progress);

our @EXPORT_OK = qw(LOG_NAMES collect_logs storage_plans shortened);

use constant LOG_NAMES => qw(compat.log compat-a.log burnin.log);
# Larger than any shortened burn-in log can come from; beyond it, give up.
my $LOG_LIMIT = 64 * 1024 * 1024;
# Lines kept whole at each end of a shortened log.
my $KEEP_LINES = 1000;

# The log directory is world-writable: another user could plant a link to
# any file (or a FIFO) under a log's name. Only our own kind of file goes.
sub collect_logs {
    my ($dir) = @_;
    my %logs;
    for my $name (LOG_NAMES) {
        my $path = "$dir/$name";
        my $fh;
        unless (sysopen($fh, $path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK)) {
            say_err("skipping $path: $!") unless $!{ENOENT};
            next;
        }
        unless (-f $fh) {
            say_err("skipping $path: not a regular file");
            next;
        }
        my ($size, $mtime) = (stat $fh)[7, 9];
        fail(EXIT_TOO_BIG, "$path is $size bytes, far more than a floppy holds") if $size > $LOG_LIMIT;
        my $data = '';
        while (sysread($fh, $data, 1 << 20, length $data)) { }
        close $fh;
        $logs{$name} = { data => $data, mtime => $mtime };
    }
    return \%logs;
}

# The ways to store the logs, best first. Each maps a log's name to the
# file on the medium, its content and how it was stored.
sub storage_plans {
    my ($logs) = @_;
    my %whole = map { ($_ => { file => $_, data => $logs->{$_}{data}, how => 'whole' }) } keys %$logs;
    my $burnin = $logs->{'burnin.log'} or return (\%whole);
    my @plans = (\%whole, { %whole, 'burnin.log' => gzipped($burnin->{data}, 'whole') });
    my ($short, $left) = shortened($burnin->{data});
    if (defined $short) {
        my $how = "shortened: $left progress lines left out";
        my $plain = { file => 'burnin.log', data => $short, how => $how };
        push @plans, { %whole, 'burnin.log' => $plain }, { %whole, 'burnin.log' => gzipped($short, $how) };
    }
    return @plans;
}

sub gzipped {
    my ($data, $how) = @_;
    my $out;
    gzip(\$data => \$out, Name => 'burnin.log', Time => 0, -Level => 9)
        or fail(EXIT_INTERNAL, "gzip failed: $GzipError");
    return { file => 'burnin.log.gz', data => $out, how => $how eq 'whole' ? 'gzip' : "$how, gzip" };
}

# Keeps the first and last lines and every other line that is not a
# progress line; says after the head how many were left out. Returns
# nothing when there is nothing to leave out.
sub shortened {
    my ($data, $keep) = @_;
    $keep //= $KEEP_LINES;
    my @lines = split /\n/, $data, -1;
    my $trailing = @lines && $lines[-1] eq '' ? pop @lines : undef;
    return () if @lines <= 2 * $keep;
    my @middle = @lines[$keep .. $#lines - $keep];
    my @kept = grep { !is_progress($_) } @middle;
    my $left = @middle - @kept;
    return () unless $left;
    my $note = "[makefloppy: $left progress lines left out from here to the last $keep lines;"
             . ' the whole log did not fit on the floppy]';
    my $text = join("\n", @lines[0 .. $keep - 1], $note, @kept, @lines[$#lines - $keep + 1 .. $#lines]);
    return ($text . (defined $trailing ? "\n" : ''), $left);
}

1;
