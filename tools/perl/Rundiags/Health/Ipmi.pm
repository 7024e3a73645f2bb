package Rundiags::Health::Ipmi;
# The BMC through ipmitool: its event log (SEL) and its sensors with their
# thresholds. A BMC that is missing or does not answer within the time
# limit is said so, never read as an empty log.
use strict;
use warnings;
use Exporter 'import';
use Rundiags::Shared qw(find_tool);
use Rundiags::Health::IO qw(run_timed);

our @EXPORT_OK = qw(sel_read parse_sel bmc_sensors parse_sensors entry_key);

# Long enough for a slow BMC's SEL of a few thousand entries;
# HEALTH_IPMI_SECONDS changes it (tests).
sub ipmi_seconds {
    my $s = $ENV{HEALTH_IPMI_SECONDS} // '';
    return $s =~ /^\d+$/ && $s > 0 ? $s + 0 : 30;
}

# RUNDIAGS_IPMITOOL names the program (tests: a stub); with a fake root
# nothing else is run.
sub ipmitool { return find_tool('RUNDIAGS_IPMITOOL', 'ipmitool') }

# (output) or (undef, why no BMC answered).
sub ask {
    my (@args) = @_;
    my $tool = ipmitool() // return (undef, 'no BMC answered (no ipmitool to ask)');
    my ($rc, $out, $late) = run_timed(ipmi_seconds(), $tool, @args);
    return (undef, 'no BMC answered within ' . ipmi_seconds() . ' s') if $late;
    return ($out) if $rc == 0;
    my ($first) = grep { /\S/ } split /\n/, $out;
    $first = defined $first ? substr($first =~ s/[\x00-\x1f\x7f]+/ /gr =~ s/^\s+|\s+$//gr, 0, 160) : "status $rc";
    return (undef, "no BMC answered (ipmitool: $first)");
}

# { answered => 1, entries => [...] } or { answered => 0, note => ... }.
# "sel elist" names the sensors; an ipmitool that cannot gives "sel list".
sub sel_read {
    my ($out, $why) = ask('sel', 'elist');
    ($out, my $why2) = ask('sel', 'list') if !defined $out && $why !~ /within|no ipmitool|open|establish/i;
    return { answered => 0, note => $why2 // $why } unless defined $out;
    return { answered => 1, entries => [parse_sel($out)] };
}

#    1 | 04/25/2024 | 10:31:15 | Fan FAN1 | Lower Critical going low | Asserted | Reading 0 < Threshold 500 RPM
sub parse_sel {
    my ($text) = @_;
    my @entries;
    for my $line (split /\n/, $text) {
        $line =~ s/[\x00-\x1f\x7f]+/ /g;
        my @f = map { s/^\s+|\s+$//gr } split /\|/, $line;
        next unless @f >= 5 && $f[0] =~ /^[0-9a-fA-F]+$/;
        my %e = (id => lc $f[0], date => $f[1], time => $f[2], sensor => $f[3], event => $f[4]);
        $e{direction} = $f[5] if defined $f[5] && $f[5] =~ /^(?:De)?asserted$/i;
        my @more = grep { $_ ne '' } @f[(defined $e{direction} ? 6 : 5) .. $#f];
        $e{detail} = join('; ', @more) if @more;
        push @entries, \%e;
    }
    return @entries;
}

# The same entry read at the boot and at the copy: its id alone may be
# reused after the log is cleared.
sub entry_key { my ($e) = @_; return join "\x1f", map { $_ // '' } @$e{qw(id date time sensor event direction)} }

# The BMC's temperatures and fans with their limits, or (undef, why).
sub bmc_sensors {
    my ($out, $why) = ask('sensor');
    return (undef, $why) unless defined $out;
    return [parse_sensors($out)];
}

# CPU1 Temp | 45.000 | degrees C | ok | na | 0.000 | 5.000 | 80.000 | 85.000 | 90.000
# (name, reading, unit, status, then the lower non-recoverable, critical
# and non-critical thresholds and the upper non-critical, critical and
# non-recoverable ones).
sub parse_sensors {
    my ($text) = @_;
    my @s;
    for my $line (split /\n/, $text) {
        my @f = map { s/^\s+|\s+$//gr } split /\|/, $line =~ s/[\x00-\x1f\x7f]+/ /gr;
        next unless @f >= 10 && $f[1] =~ /^-?\d+(?:\.\d+)?$/;
        my $kind = $f[2] =~ /degrees C/i ? 'temperature' : $f[2] =~ /RPM/i ? 'fan' : next;
        my @t = map { /^-?\d+(?:\.\d+)?$/ ? $_ + 0 : undef } @f[4 .. 9];
        my %r = (key => "bmc/$f[0]", part => $f[0], source => 'BMC', kind => $kind, value => $f[1] + 0);
        if ($kind eq 'temperature') { @r{qw(warning critical)} = @t[3, 4] }
        else { $r{minimum} = $t[2] // $t[1] }
        push @s, \%r;
    }
    return @s;
}

1;
