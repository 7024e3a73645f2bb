package Rundiags::Health;
# What the machine itself reports about its health during the burn-in:
# memory errors (EDAC), the BMC's event log, machine checks and the
# temperatures and fans. A baseline is taken at boot, before the program
# starts; the sensors are sampled once a minute; the reading at the copy
# compares. State lives in /run/rundiags/health (below COMPAT_ROOT in tests).
use strict;
use warnings;
use Exporter 'import';
use Rundiags::Health::IO qw(read_json write_json iso_time);
use Rundiags::Health::Edac qw(memory_errors);
use Rundiags::Health::Ipmi qw(sel_read entry_key);
use Rundiags::Health::Mce qw(machine_checks);
use Rundiags::Health::Sensors qw(take_sample merge_sample PEAKS);

our @EXPORT_OK = qw(take_baseline sample_once health_reading);

use constant BASELINE => 'baseline.json';

# Once a boot: a second start keeps the first baseline.
sub take_baseline {
    return 1 if read_json(BASELINE);
    return write_json(BASELINE, { taken => iso_time(), memory => memory_errors(), sel => sel_read() });
}

sub sample_once { return write_json(PEAKS, merge_sample(read_json(PEAKS), take_sample())) }

# Everything at the copy, read only: nothing in the state changes.
sub health_reading {
    my $base = read_json(BASELINE);
    return { baseline_taken => $base ? $base->{taken} : undef, memory => memory_part($base),
             bmc => bmc_part($base), machine_checks => machine_checks(), sensors => sensors_part() };
}

sub memory_part {
    my ($base) = @_;
    my $now = memory_errors();
    return { reported => 0, note => 'no memory controller reports errors (no EDAC driver for this board)' }
        unless $now;
    my %then = map { ($_->{name} => $_) } @{$base && $base->{memory} || []};
    for my $c (@$now) {
        my $t = $then{$c->{name}} or next;
        @$c{qw(corrected_at_start uncorrected_at_start)} = @$t{qw(corrected uncorrected)};
    }
    return { reported => 1, controllers => $now };
}

sub bmc_part {
    my ($base) = @_;
    my $now = sel_read();
    return { reported => 0, note => $now->{note} } unless $now->{answered};
    my $then = $base && $base->{sel};
    my %r = (reported => 1, entries => scalar @{$now->{entries}}, entries_at_start => undef, new_entries => []);
    # The log outlives reboots: without the boot's copy, an entry of this
    # run cannot be told from one of last year.
    return { %r, note => 'no baseline was taken at boot: the entries added during the run cannot be told apart' }
        unless $then;
    return { %r, note => "the BMC did not answer at boot ($then->{note}): the entries added during the run cannot be told apart" }
        unless $then->{answered};
    my %old = map { (entry_key($_) => 1) } @{$then->{entries}};
    return { %r, entries_at_start => scalar @{$then->{entries}},
             new_entries => [grep { !$old{entry_key($_)} } @{$now->{entries}}] };
}

sub sensors_part {
    my $peaks = merge_sample(read_json(PEAKS), take_sample());
    my @r = sort { $a->{source} cmp $b->{source} || $a->{key} cmp $b->{key} } values %{$peaks->{sensors}};
    my %s = (samples => $peaks->{samples}, first => $peaks->{first}, last => $peaks->{last}, readings => \@r);
    $s{reported} = @r ? 1 : 0;
    $s{note} = 'no temperature sensors' . (defined $peaks->{bmc_note} ? "; $peaks->{bmc_note}" : '') unless @r;
    return \%s;
}

1;
