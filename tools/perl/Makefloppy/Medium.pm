package Makefloppy::Medium;
# What writing to a floppy image, a results stick or a folder shares: mtools
# runs, scratch files, and reading each file back through the file system.
use strict;
use warnings;
use Exporter 'import';
use File::Path qw(make_path);
use Makefloppy::Util qw(fail run_capture on_path EXIT_INTERNAL EXIT_TOO_BIG EXIT_WRITE EXIT_VERIFY);

our @EXPORT_OK = qw(mtools spew slurp_raw copy_files verify_files write_directory need_mtools);

sub need_mtools {
    for my $tool (qw(mformat mcopy mmd mdir mdeltree)) {
        fail(EXIT_INTERNAL, "$tool not found: install mtools") unless on_path($tool);
    }
}

# mtools on an image or a device; its checks of the geometry are for
# floppies in real drives, not for images and sticks.
sub mtools {
    my (@cmd) = @_;
    local $ENV{MTOOLS_SKIP_CHECK} = 1;
    return run_capture(@cmd);
}

sub spew {
    my ($path, $data) = @_;
    open(my $fh, '>:raw', $path) or fail(EXIT_INTERNAL, "$path: $!");
    print {$fh} $data;
    close $fh or fail(EXIT_INTERNAL, "$path: $!");
}

sub slurp_raw {
    my ($path) = @_;
    open(my $in, '<:raw', $path) or return undef;
    local $/;
    my $data = <$in>;
    close $in;
    return $data // '';
}

# Copies the files into the FAT file system in $image (below the folder
# $dir). A full file system ends the program with EXIT_TOO_BIG, any other
# failure with $code.
sub copy_files {
    my ($image, $dir, $scratch, $code, @files) = @_;
    for my $f (@files) {
        my $src = "$scratch/$f->[0]";
        spew($src, $f->[1]);
        my ($rc, $text) = mtools('mcopy', '-i', $image, '-o', $src, "::$dir/$f->[0]");
        fail(EXIT_TOO_BIG, "the results do not fit on $image: $text") if $rc && $text =~ /full|space/i;
        fail($code, "writing $f->[0] to $image failed: $text") if $rc;
    }
}

# Every file must come out of the FAT file system in $image (below the
# folder $dir) as it went in.
sub verify_files {
    my ($image, $dir, $scratch, @files) = @_;
    for my $f (@files) {
        my $got = "$scratch/readback.$f->[0]";
        unlink $got;
        my ($rc, $text) = mtools('mcopy', '-n', '-i', $image, "::$dir/$f->[0]", $got);
        my $content = $rc ? undef : slurp_raw($got);
        fail(EXIT_VERIFY, "$f->[0] does not read back intact $text")
            unless defined $content && $content eq $f->[1];
    }
}

sub write_directory {
    my ($dir, @files) = @_;
    make_path($dir, { error => \my $err });
    fail(EXIT_WRITE, "cannot make $dir") unless -d $dir;
    for my $f (@files) {
        my $path = "$dir/$f->[0]";
        unlink $path;
        open(my $fh, '>:raw', $path) or fail(EXIT_WRITE, "$path: $!");
        print {$fh} $f->[1] or fail(EXIT_WRITE, "$path: $!");
        close $fh or fail(EXIT_WRITE, "$path: $!");
    }
}

1;
