package Makefloppy::Nics;
# The machine's network ports: MAC address, driver, firmware version and
# link from sysfs; the firmware version from ethtool, when installed.
use strict;
use warnings;
use Exporter 'import';
use Makefloppy::Util qw(root rline listdir link_base run_capture find_tool);

our @EXPORT_OK = qw(list_nics);

# Ports with a device behind them; bridges, bonds, veth and tun devices
# have none and are no hardware to record.
sub list_nics {
    my $ethtool = find_tool('MAKEFLOPPY_ETHTOOL', 'ethtool');
    my @nics;
    for my $if (listdir('/sys/class/net')) {
        my $base = "/sys/class/net/$if";
        next if $if eq 'lo' || !-e root() . "$base/device";
        my %n = (name => $if, mac => rline("$base/address"), driver => link_base("$base/device/driver"),
                 firmware => undef, link => link_text($base));
        my $speed = rline("$base/speed");
        $n{speed_mbps} = $speed + 0 if defined $speed && $speed =~ /^\d+$/ && $speed > 0 && $n{link} ne 'no link';
        if (defined $ethtool) {
            my ($rc, $out) = run_capture($ethtool, '-i', $if);
            $n{firmware} = $1 if !$rc && $out =~ /^firmware-version:[ \t]*(\S.*?)\s*$/m && $1 ne 'N/A';
            $n{driver} //= $1 if !$rc && $out =~ /^driver:[ \t]*(\S+)/m;
        }
        push @nics, \%n;
    }
    return @nics;
}

sub link_text {
    my ($base) = @_;
    my $carrier = rline("$base/carrier");
    my $state = rline("$base/operstate") // '';
    return 'no link' if (defined $carrier && $carrier eq '0') || $state eq 'down';
    my $speed = rline("$base/speed");
    return 'link up' unless defined $speed && $speed =~ /^\d+$/ && $speed > 0;
    my $duplex = rline("$base/duplex");
    return "$speed Mb/s" . (defined $duplex && $duplex =~ /^(?:full|half)$/ ? ", $duplex duplex" : '');
}

1;
