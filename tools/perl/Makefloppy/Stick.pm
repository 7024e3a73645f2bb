package Makefloppy::Stick;
# The results stick, for machines without a floppy drive: a FAT file system
# labelled RUNDIAGS on a whole disk or on a partition. Found by reading the
# label of each block device sysfs lists; written with mtools into a folder
# of the run's own, below one named after the machine; never formatted, and
# no other device is written.
use strict;
use warnings;
use Exporter 'import';
use Fcntl qw(O_RDONLY);
use IO::Handle;
use Makefloppy::Util qw(say_err fail root rline listdir EXIT_WRITE EXIT_VERIFY);
use Makefloppy::Medium qw(mtools copy_files verify_files);

our @EXPORT_OK = qw(rundiags_sticks find_stick write_stick folder_name fat_label);

use constant LABEL => 'RUNDIAGS';

# Never disks: RAM disks, optical drives and the floppy drive itself.
my $NO_STICK = qr/^(?:ram|zram|sr|fd)\d/;

# Every device, in sysfs order, whose FAT file system is labelled
# RUNDIAGS: node, device number, the whole disk's name, and whether it is
# mounted. None of them is a disk of the machine.
sub rundiags_sticks {
    my %mounted = map { ($_ => 1) } mounted_devices();
    my @sticks;
    for my $c (candidates()) {
        my $label = fat_label($c->{node}) // next;
        push @sticks, { %$c, mounted => $mounted{$c->{devno}} ? 1 : 0 } if $label eq LABEL;
    }
    return @sticks;
}

# The first of them that is not mounted; undef when there is none.
sub find_stick {
    my (@sticks) = @_ ? @_ : rundiags_sticks();
    for my $c (@sticks) {
        return $c unless $c->{mounted};
        say_err("$c->{node} is labelled " . LABEL . ' but mounted: not written behind the kernel');
    }
    return undef;
}

# Whole disks and their partitions, with the device node that has the
# number sysfs gives (so a node is never taken on its name alone).
sub candidates {
    my @c;
    for my $disk (grep { !/$NO_STICK/ } listdir('/sys/block')) {
        my @parts = grep { -e root() . "/sys/block/$disk/$_/partition" } listdir("/sys/block/$disk");
        for my $path ($disk, map { "$disk/$_" } @parts) {
            my ($major, $minor) = (rline("/sys/block/$path/dev") // '') =~ /^(\d+):(\d+)$/ or next;
            next unless (rline("/sys/block/$path/size") // 0) =~ /^[1-9]/;
            next if (rline("/sys/block/$path/ro") // 0) eq '1';
            my $node = device_node($path =~ s{.*/}{}r, $major, $minor) // next;
            push @c, { node => $node, devno => "$major:$minor", disk => $disk };
        }
    }
    return @c;
}

sub devno_of {
    my ($rdev) = @_;
    return ((($rdev >> 8) & 0xfff) | (($rdev >> 32) & ~0xfff)) . ':' . (($rdev & 0xff) | (($rdev >> 12) & ~0xff));
}

sub device_node {
    my ($name, $major, $minor) = @_;
    my $want = "$major:$minor";
    for my $node ("/dev/$name", map { "/dev/$_" } sort(listdir_real('/dev'))) {
        my @st = stat $node;
        return $node if @st && -b _ && devno_of($st[6]) eq $want;
    }
    return undef;
}

sub listdir_real {
    opendir(my $dh, $_[0]) or return ();
    my @n = grep { !/^\./ } readdir $dh;
    closedir $dh;
    return @n;
}

sub mounted_devices {
    open(my $fh, '<', '/proc/self/mountinfo') or return ();
    my @d = map { (split ' ')[2] } <$fh>;
    close $fh;
    return @d;
}

# The volume label of a FAT file system: the root directory's label entry
# as mtools reads it, else the boot sector's. Undef for anything not FAT.
sub fat_label {
    my ($node) = @_;
    sysopen(my $fh, $node, O_RDONLY) or return undef;
    my $boot = '';
    sysread($fh, $boot, 512);
    close $fh;
    my $bpb = boot_sector_label($boot) // return undef;
    my ($rc, $text) = mtools('mdir', '-i', $node, '::');
    return $1 if !$rc && $text =~ /^ Volume in drive \S* is (.*?)\s*$/m;
    return undef if !$rc && $text =~ /has no label/;
    return $bpb eq 'NO NAME' ? '' : $bpb;
}

# The label in the boot sector, '' when it has none; undef when the
# sector is no FAT boot sector.
sub boot_sector_label {
    my ($b) = @_;
    return undef unless length $b == 512 && substr($b, 510, 2) eq "\x55\xaa";
    my ($bps, $spc, $reserved, $fats) = unpack('x11 v C v C', $b);
    return undef unless grep { $bps == $_ } 512, 1024, 2048, 4096;
    return undef unless $spc && !($spc & ($spc - 1)) && $reserved && ($fats == 1 || $fats == 2);
    my $fat32 = unpack('x22 v', $b) == 0;
    my ($sig, $at) = $fat32 ? (66, 71) : (38, 43);
    return '' unless unpack("x$sig C", $b) == 0x29;
    (my $label = substr($b, $at, 11)) =~ s/ +\z//;
    return $label;
}

# "<machine>/<run>": the machine by its serial number, else its SMBIOS
# UUID, else its first network port's MAC address; in characters any FAT
# file system takes.
sub folder_name {
    my ($r, $run) = @_;
    my ($s, $m) = ($r->{machine}{system}, $r->{machine});
    my $id = $s->{serial} // $s->{chassis_serial} // $m->{board}{serial};
    $id //= "UUID-$s->{uuid}" if defined $s->{uuid};
    unless (defined $id) {
        my ($port) = grep { defined $_->{mac} } @{$m->{network_ports}};
        $id = $port ? 'MAC-' . ($port->{mac} =~ tr/://dr) : 'unknown-machine';
    }
    $id =~ s/[^A-Za-z0-9._-]+/_/g;
    return "$id/$run";
}

# Into the run's folder: a later copy of the same run replaces what the
# earlier one left there; the machine's other runs are not touched.
sub write_stick {
    my ($stick, $folder, $scratch, @files) = @_;
    my $dev = $stick->{node};
    make_folder($dev, $folder =~ s{/[^/]*$}{}r);
    unless (missing($dev, $folder)) {
        my ($rc, $text) = mtools('mdeltree', '-i', $dev, "::/$folder");
        fail(EXIT_WRITE, "cannot clear the folder $folder on $dev: $text") if $rc;
    }
    make_folder($dev, $folder);
    copy_files($dev, "/$folder", $scratch, EXIT_WRITE, @files);
    flush($dev);
    verify_files($dev, "/$folder", $scratch, @files);
}

sub missing { my ($dev, $folder) = @_; my ($rc) = mtools('mdir', '-i', $dev, "::/$folder"); return $rc }

sub make_folder {
    my ($dev, $folder) = @_;
    my ($rc, $text) = mtools('mmd', '-i', $dev, "::/$folder");
    # Already there is fine; missing is not.
    fail(EXIT_WRITE, "cannot make the folder $folder on $dev: $text") if $rc && missing($dev, $folder);
}

# Onto the stick itself, and what the kernel kept of it dropped, so that
# the check reads the stick and not memory.
sub flush {
    my ($dev) = @_;
    sysopen(my $fh, $dev, O_RDONLY) or fail(EXIT_VERIFY, "cannot reopen $dev: $!");
    $fh->sync or fail(EXIT_WRITE, "flushing $dev failed: $!");
    ioctl($fh, 0x1261, 0);     # BLKFLSBUF
    close $fh;
}

1;
