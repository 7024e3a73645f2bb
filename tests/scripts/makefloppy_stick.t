#!/usr/bin/perl
# No floppy drive: makefloppy writes to the FAT file system labelled
# RUNDIAGS, into the run's own folder below the machine's. On
# loop devices this test makes (root only): one holding the RUNDIAGS file
# system as a partition, one with another label, one with no file system;
# a fake sysfs names them, so that no other device is ever looked at. The
# other two must come out untouched.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use lib "$FindBin::Bin/../../tools/perl";
use Test::More;
use JSON::PP;
use Digest::SHA qw(sha256_hex);
use POSIX ();
use ScriptTest qw($REPO run_cmd slurp spew scratch);

sub skip_all { print "1..0 # SKIP $_[0]\n"; exit 77 }
skip_all('needs root for loop devices') if $> != 0;
for my $tool (qw(losetup mkfs.fat mformat mcopy mdir mmd)) {
    skip_all("$tool not installed") unless grep { -x "$_/$tool" } split(/:/, $ENV{PATH}), '/sbin', '/usr/sbin';
}
$ENV{PATH} .= ':/sbin:/usr/sbin';
$ENV{MTOOLS_SKIP_CHECK} = 1;

my $tmp = scratch();
my (@loops, %dev);
END { system('losetup', '-d', $_) for @loops }

# A 16 MiB image on a loop device of its own.
sub loop_with {
    my ($name, @mkfs) = @_;
    my $img = "$tmp/$name.img";
    truncate_file($img, 16 << 20);
    die "@mkfs failed" if @mkfs && run_cmd({}, @mkfs, $img);
    chomp(my $node = `losetup -f --show '$img'`);
    die "losetup failed" unless $node =~ m{^/dev/loop\d+$};
    push @loops, $node;
    my $rdev = (stat $node)[6];
    $dev{$name} = { img => $img, node => $node, devno => int($rdev / 256) % 4096 . ':' . (($rdev & 0xff) | (($rdev >> 12) & ~0xff)) };
}
sub truncate_file { open(my $fh, '>', $_[0]) or die $!; truncate($fh, $_[1]); close $fh }

loop_with('stick', 'mkfs.fat', '-n', 'RUNDIAGS');
loop_with('other', 'mkfs.fat', '-n', 'OTHERSTICK');
loop_with('blank');
my %before = map { ($_ => sha256_hex(slurp($dev{$_}{img}))) } qw(other blank);

# A fake root: the storage server's facts, and a sysfs that shows "sdv"
# (the other label, whole disk) and "sdw" (no file system) with its
# partition "sdw1" (the RUNDIAGS file system).
my $root = "$tmp/root";
system('cp', '-a', "$REPO/tools/fixtures/supermicro-x9", $root) == 0 or die;
sub sys_entry {
    my ($path, $name, $part) = @_;
    mkdir "$root/sys/block/$path";
    spew("$root/sys/block/$path/dev", "$dev{$name}{devno}\n");
    spew("$root/sys/block/$path/size", "32768\n");
    spew("$root/sys/block/$path/partition", "1\n") if $part;
}
sys_entry('sdv', 'other');
sys_entry('sdw', 'blank');
sys_entry('sdw/sdw1', 'stick', 1);
# The stick's disk looks like any disk to sysfs; the record must not list it.
mkdir "$root/sys/block/sdw/device";
spew("$root/sys/block/sdw/device/model", "Flash Disk\n");
# The boot's start, which names the run.
spew("$root/proc/stat", "cpu  1 2 3 4\nbtime 1796662392\n");

my $logs = "$tmp/logs";
mkdir $logs;
run_cmd({ COMPAT_ROOT => $root, COMPAT_LOG => "$logs/compat.log" }, 'perl', "$REPO/tools/compat.pl", '');
spew("$logs/burnin.log", "Running network and disk burn-in tests.\n\n** PASSED - Press Enter When Done **\n");

sub run_mf {
    my (%env) = @_;
    return run_cmd({ RESULTS_LOG_DIR => $logs, COMPAT_ROOT => $root, FLOPPY_DEVICE => "$tmp/no-such-drive", %env },
                   'perl', "$REPO/tools/makefloppy");
}

sub on_stick {
    my ($path) = @_;
    unlink "$tmp/got";
    my (undef, $rc) = run_cmd({}, 'mcopy', '-n', '-i', $dev{stick}{img}, "::$path", "$tmp/got");
    return $rc ? undef : slurp("$tmp/got");
}

# ---- no floppy drive: the results stick
my ($out, $rc) = run_mf();
is($rc, 0, 'no floppy drive, a results stick: exit 0') or diag($out);
my $run = slurp("$root/run/rundiags/run") // '';
like($run, qr/^\Q${\POSIX::strftime('%Y%m%dT%H%M%SZ', gmtime 1796662392)}\E-[0-9a-f]{4}\n\z/,
     'no run name yet: made from the boot time, kept for the boot');
chomp $run;
my $folder = "C8150AB23N10012/$run";
like($out, qr/^results written to \Q$dev{stick}{node}\E in \Q$folder\E and verified$/m, 'written to the stick, into its folder');
my ($list) = run_cmd({}, 'mdir', '-b', '-i', $dev{stick}{img}, "::/$folder");
is_deeply([sort map { m{([^/]+)$} } split /\n/, $list], [qw(burnin.log compat.log report.json report.txt)],
          'the folder holds the same files as a floppy would');
is(on_stick("/$folder/compat.log"), slurp("$logs/compat.log"), 'compat.log reads back intact');
is(on_stick("/$folder/burnin.log"), slurp("$logs/burnin.log"), 'burnin.log reads back intact');
my $r = decode_json(on_stick("/$folder/report.json"));
is($r->{machine}{system}{serial}, 'C8150AB23N10012', 'the record is there');
is($r->{run}, $run, 'the record names the run');
is_deeply([grep { $_->{name} eq 'sdw' } @{$r->{machine}{disks}}], [], 'the stick is none of the machine\'s disks');
is_deeply([@{$r->{written_to}}{qw(medium device folder)}, $r->{written_to}{disk}{name}],
          ['results stick', $dev{stick}{node}, $folder, 'sdw'], 'the record says where it was written');
like(on_stick("/$folder/report.txt"),
     qr/^Written to   the results stick \Q$dev{stick}{node}\E \(sdw: Flash Disk, 16\.8 MB\), folder \Q$folder\E$/m,
     'report.txt names the stick there');
my ($label) = run_cmd({}, 'mdir', '-i', $dev{stick}{img}, '::');
like($label, qr/^ Volume in drive : is RUNDIAGS/m, 'the stick keeps its label: never formatted');
is(sha256_hex(slurp($dev{$_}{img})), $before{$_}, "the $_ device is untouched") for qw(other blank);

# ---- the same run again: its folder holds this copy's files only; another
# run of the machine, and a later one, have folders of their own
my $other_run = 'C8150AB23N10012/20240101T000000Z-0000';
run_cmd({}, 'mmd', '-i', $dev{stick}{img}, "::/$other_run");
spew("$tmp/keep.txt", "an earlier run's record\n");
run_cmd({}, 'mcopy', '-i', $dev{stick}{img}, "$tmp/keep.txt", "::/$other_run/report.txt");
run_cmd({}, 'mcopy', '-i', $dev{stick}{img}, "$tmp/keep.txt", "::/$folder/burnin.log.gz");
spew("$logs/burnin.log", "Running network and disk burn-in tests.\n\n** FAILED - Press Enter When Done **\n");
($out, $rc) = run_mf();
is($rc, 0, 'a second copy: exit 0') or diag($out);
is(on_stick("/$folder/burnin.log"), slurp("$logs/burnin.log"), 'a second copy of the run replaces its files');
is(on_stick("/$folder/burnin.log.gz"), undef, 'and what the earlier copy left is gone');
is(on_stick("/$other_run/report.txt"), "an earlier run's record\n", 'another run is not touched');
spew("$root/run/rundiags/run", "20261208T090000Z-beef\n");
($out, $rc) = run_mf();
is($rc, 0, 'a later run: exit 0') or diag($out);
is(on_stick("/C8150AB23N10012/20261208T090000Z-beef/burnin.log"), slurp("$logs/burnin.log"), 'a later run: its own folder');
ok(defined on_stick("/$folder/report.json"), 'the earlier run keeps its folder');
is(sha256_hex(slurp($dev{$_}{img})), $before{$_}, "the $_ device is still untouched") for qw(other blank);

# ---- the machine's name: serial number, else SMBIOS UUID, else first MAC
require Makefloppy::Stick;
for (['serial', { serial => 'AB 12/3' }, [], 'AB_12_3/R'],
     ['UUID', { uuid => '4c4c4544-0051-5810-8032-b7c04f4b3532' }, [{ mac => '0c:c4:7a:31:5e:20' }],
      'UUID-4c4c4544-0051-5810-8032-b7c04f4b3532/R'],
     ['MAC', {}, [{ name => 'lo' }, { mac => '0c:c4:7a:31:5e:20' }], 'MAC-0cc47a315e20/R'],
     ['nothing', {}, [], 'unknown-machine/R']) {
    my ($what, $system, $ports, $want) = @$_;
    is(Makefloppy::Stick::folder_name({ machine => { system => $system, board => {}, network_ports => $ports } }, 'R'),
       $want, "folder named by the $what");
}

# ---- no floppy drive and no results stick: the floppy's exit code
system('rm', '-rf', "$root/sys/block/sdw/sdw1");
my $stick_before = sha256_hex(slurp($dev{stick}{img}));
($out, $rc) = run_mf();
is($rc, 3, 'no drive and no stick: 3 (no drive)');
like($out, qr/no results stick either/, 'and says so');
is(sha256_hex(slurp($dev{$_}{img})), $before{$_}, "the $_ device is untouched then too") for qw(other blank);

# ---- the label is read, not the name: sdv carries another label
sys_entry('sdw/sdw1', 'stick', 1);
require Makefloppy::Stick;
is(Makefloppy::Stick::fat_label($dev{other}{node}), 'OTHERSTICK', 'the other label is read as such');
is(Makefloppy::Stick::fat_label($dev{blank}{node}), undef, 'no file system, no label');
# FAT32, and a label only in the root directory (as some systems relabel).
my $f32 = "$tmp/fat32.img";
truncate_file($f32, 40 << 20);
run_cmd({}, 'mkfs.fat', '-F', '32', '-n', 'RUNDIAGS', $f32);
is(Makefloppy::Stick::fat_label($f32), 'RUNDIAGS', 'a FAT32 label');
my $rootonly = "$tmp/rootonly.img";
truncate_file($rootonly, 16 << 20);
run_cmd({}, 'mkfs.fat', '-n', 'RUNDIAGS', $rootonly);
open(my $fh, '+<:raw', $rootonly) or die $!;
sysseek($fh, 43, 0);
syswrite($fh, 'NO NAME    ');
close $fh;
is(Makefloppy::Stick::fat_label($rootonly), 'RUNDIAGS', 'the root directory label counts when the boot sector has none');
{
    # A mounted stick is not written behind the kernel's back.
    no warnings qw(redefine once);
    local $ENV{COMPAT_ROOT};
    local *Makefloppy::Stick::candidates = sub { ({ node => $dev{stick}{node}, devno => $dev{stick}{devno} }) };
    local *Makefloppy::Stick::mounted_devices = sub { ($dev{stick}{devno}) };
    is(Makefloppy::Stick::find_stick(), undef, 'a mounted stick is left alone');
}
is(sha256_hex(slurp($dev{stick}{img})), $stick_before, 'the stick was not written without a copy to make');

done_testing();
