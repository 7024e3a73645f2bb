package SimLines;
# The stand-ins speak the real helpers' lines: each line they print is one
# of the lines kept in tests/protocol/logs (what netburn and diskburn write,
# and what the program and makefloppy are tested to read), with the
# simulated server's names and figures put in its place. A line the logs
# no longer hold stops the stand-in, so its tests notice.
use strict;
use warnings;
use Exporter 'import';
use File::Basename qw(dirname);
use Cwd qw(abs_path);
our @EXPORT_OK = qw(logged);

my $LOGS;
BEGIN { $LOGS = dirname(dirname(dirname(abs_path(__FILE__)))) . '/tests/protocol/logs' }
my %cache;

# The first line of <log>.log that begins with $begins, each [old, new] put
# in its turn (a text or a pattern, each found after the one before).
sub logged {
    my ($log, $begins, @changes) = @_;
    my $lines = $cache{$log} //= do {
        open(my $fh, '<', "$LOGS/$log.log") or die "sim: no helper log $log in $LOGS: $!\n";
        [map { chomp; $_ } <$fh>];
    };
    my ($line) = grep { index($_, $begins) == 0 } @$lines;
    die "sim: $log.log has no line beginning \"$begins\"\n" unless defined $line;
    my $at = 0;
    for my $c (@changes) {
        my ($old, $new) = @$c;
        my $re = ref $old ? $old : qr/\Q$old\E/;
        pos($line) = $at;
        $line =~ /$re/g or die "sim: \"$old\" not found in $log.log's line \"$line\"\n";
        my ($from, $to) = ($-[0], $+[0]);
        substr($line, $from, $to - $from) = $new;
        $at = $from + length $new;
    }
    return $line;
}

1;
