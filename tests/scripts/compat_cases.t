#!/usr/bin/perl
# The probe and the record on a copy of a fake server changed in one fact
# per case: what the probe shows for it, and what the record keeps.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use ScriptTest qw($REPO run_cmd slurp spew scratch);
use RecordTest qw(make_record);

my $tmp = scratch();
my $VGA = 'sys/bus/pci/devices/0000:00:02.0';

# name, option, { file below the root => content }, lines the probe shows,
# report.txt line (or undef), the record's sda (or undef)
my @cases = (
    ['VGA-compatible without a driver', '', {},
     ["VIDEO: PCI device 8086:2572\n      0000:00:02.0 [8086:2572] subsystem [8086:2572] rev 02\n      no driver bound\n"
      . "      VGA-compatible (PCI class 0300, prog-if 00): the console needs no driver\n   Status: SUPPORTED\n"]],
    ['VGA-compatible, no driver loads', '-a', {},
     ["      no driver bound, and none could be loaded\n"
      . "      VGA-compatible (PCI class 0300, prog-if 00): the console needs no driver\n   Status: SUPPORTED\n"]],
    ['8514-compatible without a driver', '', { "$VGA/class" => "0x030001\n" },
     ["      no driver bound\n   Status: SUPPORT UNKNOWN\n", "  SUPPORT UNKNOWN VIDEO    PCI device 8086:2572: no driver\n"]],
    ['other display controller without a driver', '-a', { "$VGA/class" => "0x038000\n" },
     ["      no driver bound, and none could be loaded\n   Status: SUPPORT UNKNOWN\n"]],
    ['4Kn disk', '', { 'sys/block/sda/queue/logical_block_size' => "4096\n" },
     ["      19537686 sectors of 4096 bytes (4Kn), driver sd, rotational\n"],
     '  sda       WDC WD800JB-00JJ, serial WD-WCAM91234567, firmware 05.0, 80.0 GB, 4Kn (4096-byte sectors)',
     { logical_sector_bytes => 4096, format => '4Kn', bytes => 80026361856 }],
    ['512-byte sectors', '', { 'sys/block/sda/queue/logical_block_size' => "512\n" },
     ["      156301488 sectors of 512 bytes, driver sd, rotational\n"],
     '  sda       WDC WD800JB-00JJ, serial WD-WCAM91234567, firmware 05.0, 80.0 GB',
     { logical_sector_bytes => 512, bytes => 80026361856 }],
);

for my $case (@cases) {
    my ($name, $option, $files, $shown, $txt_line, $sda) = @$case;
    my $root = "$tmp/root";
    system('rm', '-rf', $root);
    system('cp', '-a', "$REPO/tools/fixtures/old-tower", $root) == 0 or die 'copy failed';
    spew("$root/$_", $files->{$_}) for keys %$files;
    my ($out) = run_cmd({ COMPAT_ROOT => $root, COMPAT_LOG => "$tmp/log" }, 'perl', "$REPO/tools/compat.pl", $option);
    ok(index($out, $_) >= 0, "$name: the probe shows it") or diag($out) for @$shown;
    next unless defined $txt_line;
    my ($r, $txt) = make_record('old-tower', root => $root, option => $option);
    like($txt, qr/^\Q$txt_line\E$/m, "$name: report.txt");
    my %got = map { exists $r->{machine}{disks}[0]{$_} ? ($_ => $r->{machine}{disks}[0]{$_}) : () }
              qw(logical_sector_bytes format bytes);
    is_deeply(\%got, $sda, "$name: report.json");
}

done_testing();
