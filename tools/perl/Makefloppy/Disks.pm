package Makefloppy::Disks;
# The machine's disks as sysfs describes them: model, serial number,
# firmware and size, each from where that kind of disk keeps it.
use strict;
use warnings;
use Exporter 'import';
use JSON::PP ();
use Makefloppy::Util qw(root rfile rline clean listdir link_base fmt_bytes);

our @EXPORT_OK = qw(list_disks disk_facts disk_model smart_facts);

# Not disks, or not the machine's own: what compat.pl and diskburn leave out.
my $NOT_A_DISK = qr/^(?:loop|ram|zram|dm-|md|sr|fd|nbd|rbd|drbd|bcache|mtdblock|zd|ubiblock)/;

# The disks in name order; $smart maps a disk name to the SMART facts that
# the advanced probe read.
sub list_disks {
    my ($smart) = @_;
    my @disks;
    for my $name (listdir('/sys/block')) {
        next if $name =~ $NOT_A_DISK || !-e root() . "/sys/block/$name/device";
        my $d = disk_facts($name) or next;
        $d->{smart} = $smart->{$name} if $smart && $smart->{$name};
        push @disks, $d;
    }
    return @disks;
}

sub disk_facts {
    my ($name) = @_;
    my $base = "/sys/block/$name";
    my $sectors = rline("$base/size");
    return undef unless defined $sectors && $sectors =~ /^\d+$/ && $sectors > 0;
    my $rot = rline("$base/queue/rotational");
    my %d = (name => $name, bytes => $sectors * 512, size => fmt_bytes($sectors * 512),
             model => disk_model($base), serial => disk_serial($base),
             firmware => rline("$base/device/firmware_rev") // rline("$base/device/rev")
                         // rline("$base/device/fwrev"),
             driver => link_base("$base/device/driver"),
             removable => (rline("$base/removable") // 0) eq '1' ? JSON::PP::true : JSON::PP::false);
    $d{rotational} = $rot eq '1' ? JSON::PP::true : JSON::PP::false if defined $rot && $rot =~ /^[01]$/;
    # The size above is in sysfs's 512-byte units; the disk's own sectors
    # may be larger (4096 bytes on a 4Kn disk).
    my $lbs = rline("$base/queue/logical_block_size");
    if (defined $lbs && $lbs =~ /^\d+$/ && $lbs >= 512) {
        $d{logical_sector_bytes} = $lbs + 0;
        $d{format} = '4Kn' if $lbs == 4096;
    }
    return \%d;
}

# The disk naming rule that diskburn follows too (see "How a disk is named"
# in docs/diskburn.md).
my %PCI_VENDOR = ('0x1af4' => 'Virtio');

sub disk_model {
    my ($base) = @_;
    my $vendor = name_text(rfile("$base/device/vendor"));
    my $model = name_text(rfile("$base/device/model"));
    $model = name_text(rfile("$base/device/name")) if $model eq '';    # MMC
    if ($vendor =~ /^0x[0-9a-f]{4}\z/i) {
        $vendor = $PCI_VENDOR{lc $vendor} // '';
        $model = 'disk' if $vendor ne '' && $model eq '';
    }
    $vendor = '' if $vendor eq 'ATA';
    my $name = join ' ', grep { $_ ne '' } $vendor, $model;
    return 'unknown model' if $name eq '';
    return length $name > 48 ? substr($name, 0, 45) . '...' : $name;
}

# Control bytes count as blanks, runs of blanks become one and none is left
# at either end, other bytes outside printable ASCII show as '?'; '' when
# nothing else than blanks and '?' is left.
sub name_text {
    my ($t) = @_;
    return '' unless defined $t;
    $t =~ s/[\x00-\x20\x7f]+/ /g;
    $t =~ s/^ | \z//g;
    $t =~ s/[^\x20-\x7e]/?/g;
    return $t =~ /[^ ?]/ ? $t : '';
}

# NVMe and MMC keep it on the device, virtio on the block device, SCSI and
# SATA disks in the unit serial number page of their VPD (page 0x80).
sub disk_serial {
    my ($base) = @_;
    my $s = rline("$base/device/serial") // rline("$base/serial");
    return $s if defined $s;
    my $vpd = rfile("$base/device/vpd_pg80");
    return undef unless defined $vpd && length $vpd > 4 && unpack('C', substr($vpd, 1, 1)) == 0x80;
    my $len = unpack('n', substr($vpd, 2, 2));
    return clean(substr($vpd, 4, $len));
}

# The health and the counters that matter from smartctl -H -A output
# (ATA attribute table, NVMe health log or SCSI counters).
sub smart_facts {
    my ($out) = @_;
    my %s;
    if ($out =~ /self-assessment test result:\s*(\S+)/i) {
        $s{health} = uc($1) =~ /^PASSED/ ? 'PASSED' : 'FAILED';
    } elsif ($out =~ /SMART Health Status:\s*(\S+)/i) {
        $s{health} = uc $1 eq 'OK' ? 'PASSED' : 'FAILED';
    }
    my %ata = (5 => 'reallocated_sectors', 197 => 'pending_sectors', 9 => 'power_on_hours',
               187 => 'reported_uncorrectable');
    for my $line (split /\n/, $out) {
        if ($line =~ /^\s*(\d+)\s+\S+\s+0x[0-9a-f]+\s+\S+\s+\S+\s+\S+\s+\S+\s+\S+\s+\S+\s+(\d+)/i) {
            $s{$ata{$1}} = $2 + 0 if $ata{$1};
        } elsif ($line =~ /^(Media and Data Integrity Errors|Power On Hours):\s*([\d,]+)/) {
            (my $n = $2) =~ tr/,//d;
            $s{$1 eq 'Power On Hours' ? 'power_on_hours' : 'media_errors'} = $n + 0;
        } elsif ($line =~ /^Elements in grown defect list:\s*(\d+)/) {
            $s{reallocated_sectors} = $1 + 0;
        } elsif ($line =~ /^\s*Accumulated power on time, hours:minutes\s+(\d+):/) {
            $s{power_on_hours} = $1 + 0;
        }
    }
    return \%s;
}

1;
