package Makefloppy::Burnin;
# The burn-in as it happened, read from /tmp/burnin.log: the program logs
# every netburn message line as "Network: <line>" and every diskburn line
# as "   Disk: <line>", and adds its own lines (restarts, the stop, the
# summary, the verdict). The helpers' lines that matter begin as agreed:
# "Pass <n> started <time> UTC.", "Port <name>: received <N> of <M> frames
# (<P>%)" (with "; none from <names>" and "; missing <K> from <name>, ..."),
# "Group <n>: <names>.", "Pass complete: ", "Pass failed: ", "Stopped",
# "Disk <name>: ", "Disk <name> holds: ", " <name>: verified in ",
# "Stopped in pass <n> at <P>%: ", "Leaving out <name>: ".
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
              disk => { passes_started => 1, passes_completed => 0, devices => {}, order => [], left_out => [],
                        pass => 1 },
              net => { passes_started => 0, passes_completed => 0, ports => {}, order => [], failed => [],
                       groups => [] } };
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
        $net->{pass_groups} = [];
        delete @$net{qw(said told)};
        return;
    }
    $net->{said} = $msg;
    if ($msg =~ /^Port (\S+): received (\d+) of (\d+) frames \((-?\d+)%\)(.*)$/) {
        my $p = port($net, $1);
        @$p{qw(received sent percent)} = ($2 + 0, $3 + 0, $4 + 0);
        $p->{worst} = $4 + 0 if !defined $p->{worst} || $4 < $p->{worst};
        unheard($p, $5);
    } elsif ($msg =~ /^Group \d+: (.*?)\.?$/) {
        # The groups of the latest pass that had several.
        push @{$net->{pass_groups}}, [split ' ', $1];
        $net->{groups} = $net->{pass_groups};
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
    $net->{told} = 1 if $msg =~ /^(?:Pass failed: |Stopped)/;
}

# The peers a port did not hear in its latest result: "; none from eth1,
# eth3" and "; missing 12 from eth2, 3 from eth4".
sub unheard {
    my ($p, $tail) = @_;
    my ($none) = $tail =~ /; none from ([^;]*?)\.?(?:;|$)/;
    my ($some) = $tail =~ /; missing ([^;]*?)\.?(?:;|$)/;
    delete @$p{qw(none_from missing_from)};
    $p->{none_from} = [split /, /, $none] if defined $none;
    $p->{missing_from} = [map { /^(\d+) from (\S+)$/ ? { name => $2, frames => $1 + 0 } : () } split /, /, $some]
        if defined $some;
}

sub disk {
    my ($d, $name) = @_;
    push @{$d->{order}}, $name unless $d->{devices}{$name};
    return $d->{devices}{$name} //= { name => $name, passes_verified => 0, failures => [] };
}

sub disk_line {
    my ($b, $msg) = @_;
    my $d = $b->{disk};
    if ($msg =~ /^ (.*)$/) {
        my $detail = $1;
        my $pass = started($b, $detail);
        ($d->{pass}, $d->{said}, $d->{told}) = ($pass + 0) if defined $pass;
        disk($d, $1)->{passes_verified}++ if $detail =~ /^(\S+): verified in /;
        disk($d, $1)->{capacity_bytes} = $2 + 0 if $detail =~ /^(\S+): [\d.]+ \S+ \((\d+) bytes\) to test/;
        smart($d, $1, $2, $3) if $detail =~ /^(\S+): SMART at the (start|end) of the pass: (.*?)\.?$/;
        return;
    }
    return $b->{progress}++ if is_progress("   Disk: $msg");
    $d->{said} = $msg;
    if ($msg eq 'starting again.') {
        $d->{passes_started}++;
    } elsif ($msg =~ /^Disk (\S+) holds: (.*?)\.?$/) {
        disk($d, $1)->{held} = $2;
    } elsif ($msg =~ /^Disk (\S+): (.*), serial (.*), ([\d.]+ \S*B)\.$/) {
        my $e = disk($d, $1);
        @$e{qw(model serial size)} = ($2, $3, $4);
    } elsif ($msg =~ /^Disk (\S+): (.*)$/) {
        my $e = disk($d, $1);
        push @{$e->{failures}}, $msg;
        $d->{told} = 1;
    } elsif ($msg =~ /^Pass complete: /) {
        $d->{passes_completed}++;
    } elsif ($msg =~ /^Stopped in pass (\d+) at (\d+)%: (.*)$/) {
        $d->{stopped} = { pass => $1 + 0, percent => $2 + 0, text => $msg };
        $d->{told} = 1;
    } elsif ($msg =~ /^Leaving out (\S+?): (.*)$/) {
        left_out($d, $1, $2);
    }
}

# A disk's SMART counters as diskburn read them: at the start of its first
# pass and at the end of its last, each "name value" of the detail line
# ("reallocated sectors 0", "available spare 100% (threshold 10%)").
sub smart {
    my ($d, $name, $when, $list) = @_;
    my $e = disk($d, $name);
    return if $when eq 'start' && $e->{smart_start};
    my %c;
    for (split /, /, $list) {
        my ($k, $v) = /^(.*?) (\S+(?: \([^)]*\))?)$/ or next;
        $c{$k} = $v =~ /^\d+$/ ? $v + 0 : $v;
    }
    $e->{"smart_$when"} = { pass => $d->{pass}, text => $list, counters => \%c };
}

# Each disk left out is listed once, with the passes it was left out of.
sub left_out {
    my ($d, $name, $reason) = @_;
    my ($e) = grep { $_->{name} eq $name && $_->{reason} eq $reason } @{$d->{left_out}};
    push @{$d->{left_out}}, $e = { name => $name, reason => $reason, in_passes => [] } unless $e;
    push @{$e->{in_passes}}, $d->{pass} unless grep { $_ == $d->{pass} } @{$e->{in_passes}};
}

# 1, 2, 3, 5 -> "1-3, 5"
sub ranges {
    my (@n) = sort { $a <=> $b } @_;
    my @r;
    for my $n (@n) {
        if (@r && $r[-1][1] == $n - 1) { $r[-1][1] = $n } else { push @r, [$n, $n] }
    }
    return join ', ', map { $_->[0] == $_->[1] ? $_->[0] : "$_->[0]-$_->[1]" } @r;
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
    $_->{passes} = ranges(@{delete $_->{in_passes}}) for @{$disk->{left_out}};
    $r{disk} = { result => $dr[0], code => $dr[1], row => $dr[2], passes_started => $disk->{passes_started},
                 passes_completed => $disk->{passes_completed}, stopped => $disk->{stopped},
                 devices => [map { $disk->{devices}{$_} } @{$disk->{order}}], left_out => $disk->{left_out} };
    $r{network} = { result => $nr[0], code => $nr[1], row => $nr[2], passes_started => $net->{passes_started},
                    passes_completed => $net->{passes_completed}, failed_passes => $net->{failed},
                    stopped => $net->{stopped}, ports => \@ports };
    # A helper that failed for a reason of its own (too few ports, no disk),
    # not with a failed pass or disk, said why last.
    for (['disk', $disk, $dr[1]], ['network', $net, $nr[1]]) {
        my ($part, $x, $code) = @$_;
        $r{$part}{reason} = $x->{said} if $code && !$x->{told} && defined $x->{said};
    }
    $r{network}{groups} = $net->{groups} if @{$net->{groups}} > 1;
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
