package Makefloppy::Burnin;
# The burn-in as it happened, read from /tmp/burnin.log: the program logs
# every netburn message line as "Network: <line>" and every diskburn line
# as "   Disk: <line>", and adds its own lines (restarts, the stop, the
# summary, the verdict). The helpers' lines that matter begin as agreed:
# "Pass <n> started <time> UTC.", "Port <name>: received <N> of <M> frames
# (<P>%)", "Pass complete: ", "Pass failed: ", "Stopped", "Disk <name>: ",
# " <name>: verified in ", "Stopped in pass <n> at <P>%: ".
use strict;
use warnings;
use Exporter 'import';
use JSON::PP ();
use POSIX ();
use Time::Local qw(timegm);
use List::Util qw(min max);

our @EXPORT_OK = qw(parse_burnin is_progress);

# The program's BAD threshold for a port.
my $BAD_BELOW = 90;
my $TIME = qr/(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d) UTC/;
my $RESULT = qr/(?:PASSED|FAILED \(code -?\d+\))/;

# diskburn's progress messages ("Pass 37% done: ..."): the lines a log
# too big for a floppy can lose.
sub is_progress { return $_[0] =~ /^   Disk: Pass \d+% done\b/ }

sub parse_burnin {
    my ($text, $mtime) = @_;
    my @lines = split /\n/, $text;
    my $b = { halted => 0, progress => 0, starts => [],
              disk => { passes_started => 1, passes_completed => 0, devices => {}, order => [], left_out => [] },
              net => { passes_started => 0, passes_completed => 0, ports => {}, order => [], failed => [] } };
    for my $i (0 .. $#lines) {
        my $line = $lines[$i];
        # The summary: the program's two result lines, one after the other.
        if ($line =~ /^   Disk: $RESULT$/ && ($lines[$i + 1] // '') =~ /^Network: $RESULT$/) {
            $b->{summary} = { disk => substr($line, 9), net => substr($lines[$i + 1], 9) };
        } elsif ($line =~ /^Network: $RESULT$/ && $b->{summary}) {
            next;
        } elsif ($line =~ /^Network: (.*)$/) {
            net_line($b, $1);
        } elsif ($line =~ /^   Disk: (.*)$/) {
            disk_line($b, $1);
        } elsif ($line eq 'TEST HALTED BY USER.') {
            $b->{halted} = 1;
        } elsif ($line =~ /^\*\* (PASSED|FAILED) - Press Enter When Done \*\*$/) {
            $b->{verdict} = $1;
            $b->{verdict_line} = $line;
        }
    }
    return result($b, $mtime);
}

sub started {
    my ($b, $line) = @_;
    return undef unless $line =~ /^Pass (\d+) started $TIME\.$/;
    my $t = eval { timegm($7, $6, $5, $4, $3 - 1, $2) };
    push @{$b->{starts}}, $t if defined $t;
    return $1;
}

sub port {
    my ($net, $name) = @_;
    push @{$net->{order}}, $name unless $net->{ports}{$name};
    return $net->{ports}{$name} //= { name => $name, messages => [] };
}

sub net_line {
    my ($b, $msg) = @_;
    my $net = $b->{net};
    if (defined started($b, $msg)) {
        $net->{passes_started}++;
    } elsif ($msg =~ /^Port (\S+): received (\d+) of (\d+) frames \((-?\d+)%\)/) {
        my $p = port($net, $1);
        @$p{qw(received sent percent)} = ($2 + 0, $3 + 0, $4 + 0);
        $p->{worst} = $4 + 0 if !defined $p->{worst} || $4 < $p->{worst};
    } elsif ($msg =~ /^Port (\S+): (.*)$/) {
        my $p = port($net, $1);
        push @{$p->{messages}}, $2;
        splice @{$p->{messages}}, 0, -5;    # the latest few say enough
    } elsif ($msg =~ /^Pass complete: /) {
        $net->{passes_completed}++;
    } elsif ($msg =~ /^Pass failed: /) {
        push @{$net->{failed}}, $msg;
    } elsif ($msg =~ /^Stopped/) {
        $net->{stopped} = $msg;
    }
}

sub disk {
    my ($d, $name) = @_;
    push @{$d->{order}}, $name unless $d->{devices}{$name};
    return $d->{devices}{$name} //= { name => $name, passes_verified => 0, failures => [] };
}

sub disk_line {
    my ($b, $msg) = @_;
    my $d = $b->{disk};
    if ($msg eq 'starting again.') {
        $d->{passes_started}++;
    } elsif ($msg =~ /^ (.*)$/) {
        my $detail = $1;
        return if defined started($b, $detail);
        disk($d, $1)->{passes_verified}++ if $detail =~ /^(\S+): verified in /;
    } elsif (is_progress("   Disk: $msg")) {
        $b->{progress}++;
    } elsif ($msg =~ /^Disk (\S+): (.*), serial (.*), ([\d.]+ \S*B)\.$/) {
        my $e = disk($d, $1);
        @$e{qw(model serial size)} = ($2, $3, $4);
    } elsif ($msg =~ /^Disk (\S+): (.*)$/) {
        my $e = disk($d, $1);
        push @{$e->{failures}}, $msg;
    } elsif ($msg =~ /^Pass complete: /) {
        $d->{passes_completed}++;
    } elsif ($msg =~ /^Stopped in pass (\d+) at (\d+)%: (.*)$/) {
        $d->{stopped} = { pass => $1 + 0, percent => $2 + 0, text => $msg };
    } elsif ($msg =~ /^Leaving out (\S+?): (.*)$/) {
        push @{$d->{left_out}}, { name => $1, reason => $2 };
    }
}

sub bool { return $_[0] ? JSON::PP::true : JSON::PP::false }

sub iso { return POSIX::strftime('%Y-%m-%dT%H:%M:%SZ', gmtime $_[0]) }

# How each part ended: its result as the summary logged it, its code, and
# the word its row of the status table showed at the end.
sub part_result {
    my ($logged, $bad) = @_;
    return (undef, undef, 'RUN') unless defined $logged;
    my ($code) = $logged =~ /code (-?\d+)/;
    return ($logged, defined $code ? $code + 0 : 0, defined $code ? 'FAIL' : $bad ? 'BAD' : 'PASS');
}

sub result {
    my ($b, $mtime) = @_;
    my ($disk, $net) = ($b->{disk}, $b->{net});
    my @ports = map { $net->{ports}{$_} } @{$net->{order}};
    for my $p (@ports) { $p->{bad} = bool(defined $p->{worst} && $p->{worst} < $BAD_BELOW) }
    my $bad = grep { $_->{bad} } @ports;
    my %r = (verdict => $b->{verdict}, verdict_line => $b->{verdict_line},
             halted_by_user => bool($b->{halted}), progress_lines => $b->{progress});
    my @dr = part_result($b->{summary} && $b->{summary}{disk}, 0);
    my @nr = part_result($b->{summary} && $b->{summary}{net}, $bad);
    $r{disk} = { result => $dr[0], code => $dr[1], row => $dr[2], passes_started => $disk->{passes_started},
                 passes_completed => $disk->{passes_completed}, stopped => $disk->{stopped},
                 devices => [map { $disk->{devices}{$_} } @{$disk->{order}}], left_out => $disk->{left_out} };
    $r{network} = { result => $nr[0], code => $nr[1], row => $nr[2], passes_started => $net->{passes_started},
                    passes_completed => $net->{passes_completed}, failed_passes => $net->{failed},
                    stopped => $net->{stopped}, ports => \@ports };
    $r{any_pass_completed} = bool($disk->{passes_completed} || $net->{passes_completed});
    $r{ended} = how_it_ended(\%r);
    timing(\%r, $b->{starts}, $mtime);
    return \%r;
}

sub how_it_ended {
    my ($r) = @_;
    my @failed = map { "the $_->[0] test failed with code $_->[1]{code}" }
                 grep { $_->[1]{code} } ['disk', $r->{disk}], ['network', $r->{network}];
    my $none = !$r->{any_pass_completed};
    if ($r->{halted_by_user}) {
        return 'stopped by the operator' . ($none ? ' before any pass completed' : '')
             . (@failed ? ', after ' . join(' and ', @failed) : '');
    }
    return join(' and ', @failed) . ($none ? ', before any pass completed' : '') if defined $r->{verdict};
    return 'the log ends before the summary: the test was closed before both helpers had ended'
         . (@failed ? '; ' . join(' and ', @failed) : '') . ($none ? '; no pass completed' : '');
}

# Start: the first pass start a helper logged. End: the time of the log's
# last line (the file's modification time), as the program appends to it
# until the end.
sub timing {
    my ($r, $starts, $mtime) = @_;
    return unless @$starts;
    my ($first, $last) = (min(@$starts), max(@$starts));
    my $end = defined $mtime && $mtime >= $last ? $mtime : $last;
    $r->{started} = iso($first);
    $r->{last_line} = iso($end);
    $r->{duration_seconds} = $end - $first;
}

1;
