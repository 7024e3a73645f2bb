package Makefloppy::Tested;
# One sheet per disk the burn-in wrote, to go with the disk when it is
# handed on: what it is (from diskburn's lines and sysfs), how many passes
# it came through, how much was written and read back, its errors and its
# SMART counters at the start of the burn-in and at its end.
use strict;
use warnings;
use Exporter 'import';

our @EXPORT_OK = qw(disks_tested);

sub disks_tested {
    my ($burnin, $machine_disks) = @_;
    return [] unless $burnin;
    my %sys = map { ($_->{name} => $_) } @{$machine_disks || []};
    return [map { sheet($_, $sys{$_->{name}}) } @{$burnin->{disk}{devices}}];
}

# The burn-in's disk gives up what the sheet holds, so that the record
# holds it once.
sub sheet {
    my ($d, $sys) = @_;
    my %d = %$d;
    delete @$d{qw(capacity_bytes smart_start smart_end)};
    $d = \%d;
    # sysfs speaks for the same disk only when it gives the same serial.
    $sys = undef if $sys && defined $d->{serial} && defined $sys->{serial} && $sys->{serial} ne $d->{serial};
    my $bytes = $d->{capacity_bytes} // ($sys ? $sys->{bytes} : undef);
    return { name => $d->{name}, model => $d->{model} // ($sys ? $sys->{model} : undef),
             serial => $d->{serial} // ($sys ? $sys->{serial} : undef),
             firmware => $sys ? $sys->{firmware} : undef, size => $d->{size} // ($sys ? $sys->{size} : undef),
             capacity_bytes => $bytes, passes_completed => $d->{passes_verified},
             bytes_written_and_verified => defined $bytes ? $bytes * $d->{passes_verified} : undef,
             errors => $d->{failures}, smart_start => $d->{smart_start}, smart_end => $d->{smart_end} };
}

1;
