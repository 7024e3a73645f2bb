package Makefloppy::Health;
# The health verdict of the record: what the machine reported during the
# burn-in, each finding naming its part, judged
#   failed      an uncorrected memory error or machine check; a BMC entry
#               for a critical or non-recoverable threshold crossing, or a
#               failure of memory, processor, power or fans; a disk whose
#               SMART counters got worse in a pass (diskburn says which)
#   look at it  more corrected memory errors on a DIMM, or corrected machine
#               checks on a processor bank, than CORRECTED_LIMIT; a
#               temperature over its sensor's warning limit, a fan under
#               its minimum; the processor throttled for heat; any other
#               BMC entry added during the run
#   clean       none of these (a few corrected errors are still listed)
use strict;
use warnings;
use Exporter 'import';
use JSON::PP ();
use Rundiags::Health qw(health_reading);

our @EXPORT_OK = qw(health_section sel_severity times_words CORRECTED_LIMIT);

# Corrected errors per DIMM or per processor bank in one burn-in that are
# still taken as the normal life of a server's memory and caches.
use constant CORRECTED_LIMIT => 10;

my %RANK = ('failed' => 3, 'look at it' => 2, 'noted' => 1);

sub health_section {
    my ($burnin) = @_;
    my $r = health_reading();
    my @items = (memory_items($r->{memory}), bmc_items($r->{bmc}), mce_items($r->{machine_checks}),
                 sensor_items($r->{sensors}), disk_items($burnin));
    my ($worst) = sort { $b <=> $a } map { $RANK{$_->{severity}} } @items;
    my $verdict = !$worst || $worst < 2 ? 'clean' : $worst == 2 ? 'look at it' : 'failed';
    $r->{$_}{reported} = $r->{$_}{reported} ? JSON::PP::true : JSON::PP::false for qw(memory bmc machine_checks sensors);
    return { verdict => $verdict, corrected_limit => CORRECTED_LIMIT, %$r,
             items => [sort { $RANK{$b->{severity}} <=> $RANK{$a->{severity}} } @items] };
}

sub item { my ($severity, $source, $part, $what) = @_; return { severity => $severity, source => $source, part => $part, what => $what } }

sub count_words {
    my ($n, $what) = @_;
    return "$n $what error" . ($n == 1 ? '' : 's');
}

# Uncorrected fails; corrected over the limit is to be looked at.
sub by_count {
    my ($source, $part, $corrected, $uncorrected, $noun) = @_;
    my @i;
    push @i, item('failed', $source, $part, count_words($uncorrected, "uncorrected $noun")) if $uncorrected;
    push @i, item($corrected > CORRECTED_LIMIT ? 'look at it' : 'noted', $source, $part,
                  count_words($corrected, "corrected $noun")) if $corrected;
    return @i;
}

sub memory_items {
    my ($m) = @_;
    return () unless $m->{reported};
    my @i;
    for my $c (@{$m->{controllers}}) {
        my ($ce, $ue) = (0, 0);
        for my $d (@{$c->{dimms}}) {
            push @i, by_count('memory', "DIMM $d->{label} ($d->{name})", $d->{corrected}, $d->{uncorrected}, 'memory');
            ($ce, $ue) = ($ce + $d->{corrected}, $ue + $d->{uncorrected});
        }
        # What the controller counted without knowing the DIMM.
        push @i, by_count('memory', "memory controller $c->{name}, DIMM not known",
                          max0($c->{corrected} - $ce), max0($c->{uncorrected} - $ue), 'memory');
    }
    return @i;
}

sub max0 { return $_[0] > 0 ? $_[0] : 0 }

# A BMC entry's weight: threshold crossings named Critical or
# Non-recoverable (not Non-critical) and failures of the parts that keep the
# machine alive fail it; anything else added during the run is looked at.
sub sel_severity {
    my ($e) = @_;
    my ($sensor, $event) = ($e->{sensor} // '', $e->{event} // '');
    return 'look at it' if ($e->{direction} // '') =~ /^deasserted$/i;
    return 'failed' if $event =~ /(?<!non-)critical|non-recoverable/i;
    return 'failed' if $sensor =~ /^(?:memory|processor|cpu|power supply|power unit|fan)\b/i
                    && $event =~ /fail|uncorrectable|ierr|thermal trip|\blost\b|parity|machine check|absent|bist|frb/i;
    return 'look at it';
}

sub bmc_items {
    my ($bmc) = @_;
    return () unless $bmc->{reported};
    for my $e (@{$bmc->{new_entries}}) { $e->{severity} = sel_severity($e) }
    return map {
        my %e = %$_;    # a copy: naming a field that is not there must not add it
        item($e{severity}, 'BMC', $e{sensor},
             join(', ', grep { defined } @e{qw(event direction detail)}) . " (SEL entry $e{id}, $e{date} $e{time})")
    } @{$bmc->{new_entries}};
}

sub mce_items {
    my ($m) = @_;
    return () unless $m->{reported};
    # The bank's status word tells a technician which error it was.
    my @i = map {
        my $status = $_->{last_status};
        map { $_->{what} .= ", last status $status"; $_ }
            by_count('machine check', $_->{part}, $_->{corrected}, $_->{uncorrected}, 'machine-check')
    } @{$m->{events}};
    push @i, map { item('look at it', 'machine check', $_->{part}, 'temperature above threshold, clock throttled ' . times_words($_->{times})) } @{$m->{hot}};
    push @i, item('noted', 'machine check', 'processor, bank not logged', 'machine check events logged ' . times_words($m->{events_logged}))
        if $m->{events_logged} && !@{$m->{events}};
    return @i;
}

sub times_words { my ($n) = @_; return $n == 1 ? 'once' : "$n times" }

sub sensor_items {
    my ($s) = @_;
    my @i;
    for my $r (@{$s->{readings} || []}) {
        my $unit = $r->{kind} eq 'fan' ? 'RPM' : 'degrees C';
        if ($r->{kind} eq 'fan') {
            push @i, item('look at it', 'sensor', $r->{part}, "fan down to $r->{value} $unit at $r->{at}, its minimum $r->{minimum} $unit")
                if defined $r->{minimum} && $r->{value} < $r->{minimum};
            next;
        }
        my $limit = $r->{warning} // $r->{critical};
        next unless defined $limit && $r->{value} > $limit;
        my $which = defined $r->{critical} && $r->{value} > $r->{critical} ? "critical limit $r->{critical}" : "warning limit $limit";
        push @i, item('look at it', 'sensor', $r->{part}, "reached $r->{value} $unit at $r->{at}, over its $which $unit");
    }
    return @i;
}

# diskburn's own verdict on a disk's SMART counters.
sub disk_items {
    my ($b) = @_;
    return () unless $b;
    return map {
        my $d = $_;
        map { item('failed', 'disk', "disk $d->{name}" . (defined $d->{serial} ? ", serial $d->{serial}" : ''), $_ =~ s/^Disk \S+: //r) }
            grep { /^Disk \S+: SMART / } @{$d->{failures}}
    } @{$b->{disk}{devices}};
}

1;
