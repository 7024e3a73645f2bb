package Rundiags::PciNames;
# Names of PCI devices from the PCI ID database (pci.ids), as the probe
# shows them and the record repeats them for the network ports: the
# vendor's short name, the device's name and the subsystem's, else the
# numeric IDs.
use strict;
use warnings;

# The database of the root being read (COMPAT_PCI_IDS wins); for the real
# machine also the copy shipped beside the helpers.
sub candidates {
    my ($root, $self_dir) = @_;
    return ($ENV{COMPAT_PCI_IDS}) if defined $ENV{COMPAT_PCI_IDS};
    my @c = map { "$root$_" } qw(/usr/share/misc/pci.ids /usr/share/hwdata/pci.ids /usr/share/pci.ids);
    push @c, "$self_dir/../share/rundiags/pci.ids", "$self_dir/pci.ids" if $root eq '' && defined $self_dir;
    return @c;
}

# Reads the names of the vendors in $want (vendor ID => 1) from the first
# candidate that opens; returns the names and the path read (undef if none).
sub load {
    my ($class, $want, @candidates) = @_;
    my $self = bless { vendor => {}, device => {}, subsys => {} }, $class;
    for my $path (@candidates) {
        open(my $fh, '<', $path) or next;
        $self->read_ids($fh, $want);
        close $fh;
        return ($self, $path);
    }
    return ($self, undef);
}

sub read_ids {
    my ($self, $fh, $want) = @_;
    my ($v, $d);
    while (my $line = <$fh>) {
        last if $line =~ /^C /;    # device classes follow; not needed
        if ($line =~ /^([0-9a-f]{4})\s+(.*?)\s*$/) {
            $v = $1; $d = undef;
            $self->{vendor}{$v} = $2 if $want->{$v};
        } elsif (defined $v && $want->{$v} && $line =~ /^\t([0-9a-f]{4})\s+(.*?)\s*$/) {
            $d = $1;
            $self->{device}{"$v:$d"} = $2;
        } elsif (defined $d && $want->{$v} && $line =~ /^\t\t([0-9a-f]{4})\s+([0-9a-f]{4})\s+(.*?)\s*$/) {
            $self->{subsys}{"$v:$d:$1:$2"} = $3;
        }
    }
}

# "Intel Corporation" -> "Intel", "Advanced Micro Devices, Inc. [AMD/ATI]"
# -> "AMD/ATI": the summary has little room.
sub vendor_short {
    my ($name) = @_;
    return $1 if $name =~ /\[([^\]]+)\]/;
    $name =~ s/,.*//;
    $name =~ s/\s+(?:and subsidiaries|Inc\.?|Corporation|Corp\.?|Co\.?|Ltd\.?|Limited|Company|GmbH|AG
                  |Technologies|Technology|Electronics|Systems|Semiconductor|Networks|Communications|International)\b.*//xi;
    $name =~ s/\s*\/.*//;
    return clean($name);
}

# $dev: vendor, device, subvendor, subdevice (lowercase hex, no 0x).
sub name {
    my ($self, $dev) = @_;
    my $vname = $self->{vendor}{$dev->{vendor}};
    my $dname = $self->{device}{"$dev->{vendor}:$dev->{device}"};
    my $sname = $self->{subsys}{"$dev->{vendor}:$dev->{device}:$dev->{subvendor}:$dev->{subdevice}"};
    my $name;
    if (defined $dname) {
        my $vs = defined $vname ? vendor_short($vname) : "vendor $dev->{vendor}";
        $name = index(lc $dname, lc $vs) == 0 ? $dname : "$vs $dname";
        $name .= ", $sname" if defined $sname && $sname ne $dname;
    } elsif (defined $vname) {
        $name = vendor_short($vname) . " device $dev->{device}";
    } else {
        $name = "PCI device $dev->{vendor}:$dev->{device}";
    }
    return clean($name);
}

sub clean {
    my ($text) = @_;
    $text =~ s/[\x00-\x1f\x7f]+/ /g;
    $text =~ s/\s+/ /g;
    $text =~ s/^ | \z//g;
    return $text;
}

1;
