package Makefloppy::Nics;
# The machine's network ports: MAC address, driver, link, the PCI function
# behind each (its address, and its name as the probe shows it) from sysfs;
# the firmware version from ethtool, when installed.
use strict;
use warnings;
use Exporter 'import';
use Cwd ();
use FindBin;
use Rundiags::PciNames;
use Makefloppy::Util qw(root rline listdir link_base run_capture find_tool);

our @EXPORT_OK = qw(list_nics);

my $PCI_ADDRESS = qr/^[0-9a-f]{4}:[0-9a-f]{2}:[0-9a-f]{2}\.[0-7]$/;

# Ports with a device behind them; bridges, bonds, veth and tun devices
# have none and are no hardware to record.
sub list_nics {
    my $ethtool = find_tool('MAKEFLOPPY_ETHTOOL', 'ethtool');
    my (@nics, %pci);
    for my $if (listdir('/sys/class/net')) {
        my $base = "/sys/class/net/$if";
        next if $if eq 'lo' || !-e root() . "$base/device";
        my %n = (name => $if, mac => rline("$base/address"), driver => link_base("$base/device/driver"),
                 firmware => undef, link => link_text($base));
        my $speed = rline("$base/speed");
        $n{speed_mbps} = $speed + 0 if defined $speed && $speed =~ /^\d+$/ && $speed > 0 && $n{link} =~ / Mb\/s/;
        ethtool_info(\%n, $ethtool) if defined $ethtool;
        my $f = pci_function($base);
        $n{pci_address} = $f ? $f->{addr} : $n{bus_info};
        $pci{$if} = $f if $f;
        delete $n{bus_info};
        push @nics, \%n;
    }
    name_models(\@nics, \%pci);
    return @nics;
}

# What the driver says of the port: its firmware version, its bus address.
sub ethtool_info {
    my ($n, $ethtool) = @_;
    my ($rc, $out) = run_capture($ethtool, '-i', $n->{name});
    return if $rc;
    $n->{firmware} = $1 if $out =~ /^firmware-version:[ \t]*(\S.*?)\s*$/m && $1 ne 'N/A';
    $n->{driver} //= $1 if $out =~ /^driver:[ \t]*(\S+)/m;
    $n->{bus_info} = $1 if $out =~ /^bus-info:[ \t]*(\S+)/m && $1 =~ $PCI_ADDRESS;
}

# The PCI function behind a port: the nearest directory at or above its
# device link that is named like a PCI address (a virtio port's device is
# one level below it). Undef for a port on no PCI bus.
sub pci_function {
    my ($base) = @_;
    my $top = root() eq '' ? '' : Cwd::realpath(root()) // return undef;
    my $path = Cwd::realpath(root() . "$base/device") // return undef;
    return undef unless index($path, "$top/") == 0;
    my @dirs = split m{/}, substr($path, length $top);
    pop @dirs while @dirs && $dirs[-1] !~ $PCI_ADDRESS;
    return undef unless @dirs;
    $path = join '/', @dirs;
    my %f = (addr => $dirs[-1]);
    for my $k (qw(vendor device subsystem_vendor subsystem_device)) {
        my $v = rline("$path/$k") // '';
        $f{$k =~ s/^subsystem_/sub/r} = $v =~ /^(?:0x)?([0-9a-fA-F]{4})$/ ? lc $1 : '';
    }
    return $f{vendor} ne '' && $f{device} ne '' ? \%f : undef;
}

sub name_models {
    my ($nics, $pci) = @_;
    return unless %$pci;
    my %want = map { ($_->{vendor} => 1) } values %$pci;
    my ($names) = Rundiags::PciNames->load(\%want, Rundiags::PciNames::candidates(root(), $FindBin::RealBin));
    $_->{model} = $pci->{$_->{name}} ? $names->name($pci->{$_->{name}}) : undef for @$nics;
}

# A port that is down was never brought up (the probe alone leaves the
# ports as it found them): its link was not tested.
sub link_text {
    my ($base) = @_;
    my $flags = rline("$base/flags");
    return 'not tested (the port is down)' if defined $flags && $flags =~ /^0x([0-9a-f]+)$/i && !(hex($1) & 1);
    my $carrier = rline("$base/carrier");
    my $state = rline("$base/operstate") // '';
    return 'no link' if (defined $carrier && $carrier eq '0') || $state eq 'down';
    my $speed = rline("$base/speed");
    return 'link up' unless defined $speed && $speed =~ /^\d+$/ && $speed > 0;
    my $duplex = rline("$base/duplex");
    return "$speed Mb/s" . (defined $duplex && $duplex =~ /^(?:full|half)$/ ? ", $duplex duplex" : '');
}

1;
