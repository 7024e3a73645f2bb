package Rundiags::Health::Edac;
# Memory errors as the kernel's EDAC drivers count them: per memory
# controller, and per DIMM (dimm*/ on newer drivers, csrow*/ on older ones).
# The counts start at zero when the driver loads, so they are this boot's.
use strict;
use warnings;
use Exporter 'import';
use Rundiags::Health::IO qw(read_value list_names);

our @EXPORT_OK = qw(memory_errors);

my $MC = '/sys/devices/system/edac/mc';

sub count { my $v = read_value($_[0]); return defined $v && $v =~ /^\d+$/ ? $v + 0 : 0 }

# undef when no memory controller reports errors (no EDAC driver for this
# board, or none loaded).
sub memory_errors {
    my @mcs = list_names($MC, qr/^mc\d+$/);
    return undef unless @mcs;
    return [map { controller($_) } @mcs];
}

sub controller {
    my ($mc) = @_;
    my $dir = "$MC/$mc";
    my @dimms = map { dimm($mc, $_) } list_names($dir, qr/^(?:dimm|rank)\d+$/);
    @dimms = map { csrow($mc, $_) } list_names($dir, qr/^csrow\d+$/) unless @dimms;
    return { name => $mc, corrected => count("$dir/ce_count"), uncorrected => count("$dir/ue_count"),
             dimms => \@dimms };
}

sub dimm {
    my ($mc, $d) = @_;
    my $dir = "$MC/$mc/$d";
    return { name => "$mc/$d", label => read_value("$dir/dimm_label") // "$mc $d",
             corrected => count("$dir/dimm_ce_count"), uncorrected => count("$dir/dimm_ue_count") };
}

# An older driver's chip-select row: the labels of its channels' DIMMs.
sub csrow {
    my ($mc, $row) = @_;
    my $dir = "$MC/$mc/$row";
    my @labels = grep { defined } map { read_value("$dir/$_") } list_names($dir, qr/^ch\d+_dimm_label$/);
    return { name => "$mc/$row", label => @labels ? join(' / ', @labels) : "$mc $row",
             corrected => count("$dir/ce_count"), uncorrected => count("$dir/ue_count") };
}

1;
