package Makefloppy::Floppy;
# The floppy: a 1.44 MB FAT image built with mtools, written to the drive
# and read back to verify.
use strict;
use warnings;
use Exporter 'import';
use Fcntl qw(O_RDONLY O_RDWR SEEK_SET);
use IO::Handle;
use Makefloppy::Util qw(fail EXIT_INTERNAL EXIT_NO_DRIVE EXIT_NO_MEDIUM EXIT_TOO_BIG EXIT_WRITE
                        EXIT_VERIFY);
use Makefloppy::Medium qw(mtools spew slurp_raw copy_files verify_files);

our @EXPORT_OK = qw(open_floppy fits_floppy write_floppy);

my $IMAGE_BYTES = 1474560;          # 80 cylinders, 2 heads, 18 sectors
my $DATA_BYTES = 2847 * 512;        # FAT12 clusters of one sector after the system area

# Opens the drive for writing. Returns the handle, or (undef, code, why)
# when no drive answers (EXIT_NO_DRIVE) or it holds no writable medium
# (EXIT_NO_MEDIUM); other failures end the program.
sub open_floppy {
    my ($device) = @_;
    my @st = stat $device;
    return (undef, EXIT_NO_DRIVE, "no drive: $device does not exist") unless @st;
    return (undef, EXIT_NO_DRIVE, "no drive: $device is a directory") if -d _;
    my $is_block = -b _;
    my $fh;
    unless (sysopen($fh, $device, O_RDWR)) {
        my $e = $!;
        return (undef, EXIT_NO_DRIVE, "no drive: $device: $e") if $!{ENODEV} || $!{ENOENT};
        return (undef, EXIT_NO_MEDIUM, "no medium or write-protected: $device: $e")
            if $!{ENXIO} || $!{EROFS} || $!{EACCES} || $!{EPERM} || $! == 123;    # 123: ENOMEDIUM
        fail(EXIT_WRITE, "cannot open $device: $e");
    }
    if ($is_block) {
        my $buf = pack('Q', 0);
        if (ioctl($fh, 0x80081272, $buf)) {    # BLKGETSIZE64
            my $size = unpack('Q', $buf);
            return (undef, EXIT_NO_MEDIUM, "no medium in $device") if $size == 0;
            fail(EXIT_TOO_BIG, "$device holds only $size bytes") if $size < $IMAGE_BYTES;
        }
    }
    return $fh;
}

sub fits_floppy {
    my (@files) = @_;
    my $need = 0;
    $need += 512 * int((length($_->[1]) + 511) / 512) for @files;
    return $need <= $DATA_BYTES;
}

sub write_floppy {
    my ($fh, $device, $scratch, @files) = @_;
    my $image = build_image($scratch, @files);
    write_image($fh, $device, $image);
    close $fh;
    verify($device, $image, $scratch, @files);
}

sub build_image {
    my ($scratch, @files) = @_;
    fail(EXIT_TOO_BIG, 'the results do not fit on a floppy even with the burn-in log shortened')
        unless fits_floppy(@files);
    my $image = "$scratch/floppy.img";
    my ($rc, $text) = mtools('mformat', '-i', $image, '-C', '-f', '1440', '-v', 'RESULTS', '::');
    fail(EXIT_INTERNAL, "mformat failed: $text") if $rc;
    copy_files($image, '', $scratch, EXIT_INTERNAL, @files);
    my $data = slurp_raw($image) // fail(EXIT_INTERNAL, "$image: $!");
    fail(EXIT_INTERNAL, 'the image has the wrong size') unless length $data == $IMAGE_BYTES;
    return $data;
}

sub write_image {
    my ($fh, $device, $data) = @_;
    sysseek($fh, 0, SEEK_SET) or fail(EXIT_WRITE, "seek on $device: $!");
    my $off = 0;
    while ($off < length $data) {
        my $n = syswrite($fh, $data, length($data) - $off, $off);
        unless ($n) {
            fail(EXIT_WRITE, "writing $device made no progress after $off bytes") if defined $n;
            fail(EXIT_NO_MEDIUM, "$device is write-protected: $!") if $!{EROFS} || $!{EPERM};
            fail(EXIT_TOO_BIG, "$device is full after $off bytes") if $!{ENOSPC} && -b $fh;
            fail(EXIT_WRITE, "writing $device failed after $off bytes: $!");
        }
        $off += $n;
    }
    truncate($fh, $IMAGE_BYTES) if -f $fh;
    $fh->sync or fail(EXIT_WRITE, "flushing $device failed: $!") unless -c $fh;
}

sub read_back {
    my ($device) = @_;
    my $fh;
    sysopen($fh, $device, O_RDONLY) or fail(EXIT_VERIFY, "cannot reopen $device: $!");
    if (-b $fh) {
        # Drop what the kernel kept of our writes so the medium itself is read.
        ioctl($fh, 0x024b, 0);     # FDFLUSH
        ioctl($fh, 0x1261, 0);     # BLKFLSBUF
    }
    my $back = '';
    while (length $back < $IMAGE_BYTES) {
        my $n = sysread($fh, $back, $IMAGE_BYTES - length $back, length $back);
        fail(EXIT_VERIFY, "reading $device back failed: $!") unless defined $n;
        last unless $n;
    }
    close $fh;
    return $back;
}

sub verify {
    my ($device, $data, $scratch, @files) = @_;
    my $back = read_back($device);
    fail(EXIT_VERIFY, "read back " . length($back) . " bytes, wrote $IMAGE_BYTES") unless length $back == $IMAGE_BYTES;
    fail(EXIT_VERIFY, "what was read back differs from what was written") unless $back eq $data;
    # And the files must come out of the file system as they went in.
    my $copy = "$scratch/readback.img";
    spew($copy, $back);
    verify_files($copy, '', $scratch, @files);
}

1;
