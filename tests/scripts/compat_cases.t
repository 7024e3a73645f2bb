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

my $sda = sub { my $d = $_[0]{machine}{disks}[0]; +{ map { exists $d->{$_} ? ($_ => $d->{$_}) : () } qw(logical_sector_bytes format bytes) } };
my $eth0 = sub { my $n = $_[0]{machine}{network_ports}[0]; +{ link => $n->{link}, speed => $n->{speed_mbps} } };

# name, option, { file below the root => content }, lines the probe shows,
# a line of report.txt (or undef), [ a part of report.json, what it holds ]
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
     [$sda, { logical_sector_bytes => 4096, format => '4Kn', bytes => 80026361856 }]],
    ['512-byte sectors', '', { 'sys/block/sda/queue/logical_block_size' => "512\n" },
     ["      156301488 sectors of 512 bytes, driver sd, rotational\n"],
     '  sda       WDC WD800JB-00JJ, serial WD-WCAM91234567, firmware 05.0, 80.0 GB',
     [$sda, { logical_sector_bytes => 512, bytes => 80026361856 }]],
    ['a port never brought up', '', { 'sys/class/net/eth0/flags' => "0x1002\n" }, [],
     '  eth0      00:e0:4c:12:34:56  8139too, firmware not reported; not tested (the port is down)',
     [$eth0, { link => 'not tested (the port is down)', speed => undef }]],
    ['warnings from the medium', '', { 'run/rundiags/warnings' => "No driver for eth9.\nThe clock \x1b[1mwas\x07 wrong.\n" }, [],
     '  The clock [1mwas wrong.', [sub { $_[0]{medium_warnings} }, ['No driver for eth9.', 'The clock [1mwas wrong.']]],
    ['no warnings from the medium', '', {}, [], '  Memory       376 MiB usable', [sub { $_[0]{medium_warnings} }, []]],
    ["the medium's run", '', { 'run/rundiags/run' => "20261207T165312Z-3f9a\n" }, [], 'Run          20261207T165312Z-3f9a',
     [sub { [$_[0]{run}, $_[0]{written_to}{medium}] }, ['20261207T165312Z-3f9a', 'directory']]],
    ['a port up without a cable', '', { 'sys/class/net/eth0/flags' => "0x1003\n", 'sys/class/net/eth0/carrier' => "0\n" }, [],
     '  eth0      00:e0:4c:12:34:56  8139too, firmware not reported; no link', [$eth0, { link => 'no link', speed => undef }]],
);

for my $case (@cases) {
    my ($name, $option, $files, $shown, $txt_line, $json) = @$case;
    my $root = "$tmp/root";
    system('rm', '-rf', $root);
    system('cp', '-a', "$REPO/tools/fixtures/old-tower", $root) == 0 or die 'copy failed';
    for my $file (keys %$files) {
        system('mkdir', '-p', "$root/" . ($file =~ s{/[^/]*$}{}r));
        spew("$root/$file", $files->{$file});
    }
    my ($out) = run_cmd({ COMPAT_ROOT => $root, COMPAT_LOG => "$tmp/log" }, 'perl', "$REPO/tools/compat.pl", $option);
    ok(index($out, $_) >= 0, "$name: the probe shows it") or diag($out) for @$shown;
    next unless defined $txt_line;
    my ($r, $txt) = make_record('old-tower', root => $root, option => $option);
    like($txt, qr/^\Q$txt_line\E$/m, "$name: report.txt");
    is_deeply($json->[0]->($r), $json->[1], "$name: report.json");
}

done_testing();
