package Makefloppy::Machine;
# The machine in the record: identity and firmware (SMBIOS), processors,
# memory with its modules, disks and network ports. Everything is read from
# the root being recorded, so a fake root gives the fake machine only.
use strict;
use warnings;
use Exporter 'import';
use Makefloppy::Util qw(rfile rline clean);
use Rundiags::Shared qw(fmt_kib);
use Makefloppy::Smbios qw(smbios);
use Makefloppy::Disks qw(list_disks);
use Makefloppy::Nics qw(list_nics);

our @EXPORT_OK = qw(machine processors);

# $sticks: the results sticks found (Makefloppy::Stick), which are no disks
# of the machine.
sub machine {
    my ($smart, $sticks) = @_;
    my $s = smbios();
    my %stick = map { ($_->{disk} => 1) } @$sticks;
    return { smbios_from => $s->{source}, system => $s->{system}, board => $s->{board},
             firmware => $s->{firmware}, kernel => rline('/proc/version'),
             processors => processors(), memory => memory($s),
             disks => [grep { !$stick{$_->{name}} } list_disks($smart)], network_ports => [list_nics()] };
}

# Sockets, cores and threads, each named as what it is: the summary's
# "x N" counts sockets (one CPU line per package).
sub processors {
    my $text = rfile('/proc/cpuinfo');
    return undef unless defined $text;
    my (%sockets, %cores, $threads, $model);
    for my $block (split /\n\s*\n/, $text) {
        my %f;
        for (split /\n/, $block) { $f{lc clean($1)} = clean($2) if /^([^:]+):\s*(.*)$/ }
        next unless defined $f{processor} && $f{processor} =~ /^\d+$/;
        $threads++;
        my $socket = $f{'physical id'}
                  // rline("/sys/devices/system/cpu/cpu$f{processor}/topology/physical_package_id") // 0;
        my $core = $f{'core id'} // rline("/sys/devices/system/cpu/cpu$f{processor}/topology/core_id");
        $sockets{$socket} = 1;
        $cores{defined $core ? "$socket/$core" : "t$f{processor}"} = 1;
        $model //= $f{'model name'} // $f{'cpu model'} // $f{cpu};
    }
    return undef unless $threads;
    $model =~ s/\((?:R|TM)\)//gi if defined $model;
    return { model => clean($model), sockets => scalar keys %sockets, cores => scalar keys %cores,
             threads => $threads };
}

sub memory {
    my ($s) = @_;
    my %m = (dimms => $s->{dimms}, slots => $s->{memory_slots} || undef);
    my $info = rfile('/proc/meminfo');
    if (defined $info && $info =~ /^MemTotal:\s*(\d+)\s*kB/m) {
        $m{usable_kb} = $1 + 0;
        $m{usable} = fmt_kib($1);
    }
    my $mb = 0;
    $mb += $_->{size_mb} for @{$s->{dimms}};
    $m{installed} = fmt_kib($mb * 1024) if $mb;
    return \%m;
}

1;
