#!/usr/bin/perl
# The health part of the record on fake machines: the collectors run as the
# medium runs them (baseline at boot, the kernel log's machine checks, a
# sample of the sensors), the machine changes during the "run", and the
# record at the copy gives the verdict, each finding naming its part, and
# says which sources reported nothing.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use ScriptTest qw($REPO run_cmd slurp spew scratch);
use RecordTest qw(make_record program_log records_valid);

# Each machine: EDAC DIMMs [label, corrected, uncorrected] at boot and at the
# copy; the BMC's log at boot and the entries added (undef: no BMC); kernel
# log lines; hwmon [temperature at the sample, warning limit]; diskburn's
# lines; the verdict and the findings [severity, part] expected.
my $ENTRY0 = '   1 | 12/07/2026 | 08:00:00 | Power Unit #0x01 | Power off/down | Asserted';
my $FAN = '   2 | 12/07/2026 | 09:12:44 | Fan FAN3 | Lower Critical going low | Asserted | Reading 0 < Threshold 600 RPM';
my $OEM = '   2 | 12/07/2026 | 09:30:01 | System Event #0x83 | OEM System Boot Event | Asserted';
my $CE = 'mce: [Hardware Error]: CPU 2: Machine Check: 0 Bank 7: 8c00004000010090';
my $UE = 'mce: [Hardware Error]: CPU 5: Machine Check Exception: 4 Bank 4: be00000000800400';
# The same as AMD's decoder logs it in the kernel's place.
my $AMD_UE = '[Hardware Error]: CPU:3 (19:1:1) MC4_STATUS[-|UE|MiscV|AddrV|PCC|-|-]: 0xbe00000000800400';
my $SMART0 = 'reallocated sectors 0, pending sectors 0, offline uncorrectable sectors 0, UDMA CRC errors 0';
my $SMART8 = 'reallocated sectors 8, pending sectors 0, offline uncorrectable sectors 0, UDMA CRC errors 0';
my $GREW = 'Disk sda: SMART reallocated sectors grew, 0 at the start of the pass, 8 at its end.';
my @MACHINES = (
  ['clean', { edac => [['DIMM_A1', 0, 0, 3, 0], ['DIMM_A2', 0, 0, 0, 0]], sel => [$ENTRY0], added => [],
              kmsg => ['usb 1-1: new high-speed USB device'], hwmon => [61, 85], smart_end => $SMART0 },
   'clean', [['noted', 'DIMM DIMM_A1 (mc0/dimm0)']]],
  ['corrected above the limit', { edac => [['DIMM_B1', 0, 0, 25, 0]] },
   'look at it', [['look at it', 'DIMM DIMM_B1 (mc0/dimm0)']]],
  ['uncorrected memory', { edac => [['DIMM_A1', 0, 0, 0, 0], ['DIMM_A2', 0, 0, 1, 2]] },
   'failed', [['failed', 'DIMM DIMM_A2 (mc0/dimm1)'], ['noted', 'DIMM DIMM_A2 (mc0/dimm1)']]],
  ['uncorrected, older driver', { edac => [['CPU1_A0', 0, 0, 0, 1]], csrow => 1 },
   'failed', [['failed', 'DIMM CPU1_A0 / CPU1_B0 (mc0/csrow0)']]],
  ['BMC: a fan failed', { sel => [$ENTRY0], added => [$FAN] }, 'failed', [['failed', 'Fan FAN3']]],
  ['BMC: another entry', { sel => [$ENTRY0], added => [$OEM] }, 'look at it', [['look at it', 'System Event #0x83']]],
  ['no BMC', { sel => undef, edac => [['DIMM_A1', 0, 0, 0, 0]] }, 'clean', []],
  ['machine checks corrected', { kmsg => [($CE) x 12, 'mce: [Hardware Error]: Machine check events logged'] },
   'look at it', [['look at it', 'CPU 2, bank 7']]],
  ['machine check uncorrected', { kmsg => [$UE, $CE] }, 'failed', [['failed', 'CPU 5, bank 4'], ['noted', 'CPU 2, bank 7']]],
  ['machine check uncorrected, AMD decoder', { kmsg => ['[Hardware Error]: Uncorrected, software containable error.', $AMD_UE] },
   'failed', [['failed', 'CPU 3, bank 4']]],
  ['BMC: a fan slowed', { sel => [], sensor => 'FAN2 | 300.000 | RPM | cr | na | 400.000 | 600.000 | na | na | na' },
   'look at it', [['look at it', 'FAN2']]],
  ['over a warning limit', { hwmon => [93, 85] }, 'look at it', [['look at it', 'coretemp Package id 0']]],
  ['SMART grew in a pass', { smart_end => $SMART8, fail => $GREW }, 'failed', [['failed', 'disk sda, serial Z1Z0A1B0']]],
  ['BMC never answers', { sel => [$ENTRY0], hang => 1 }, 'clean', []],
  ['nothing at all', { nothing => 1 }, 'clean', []],
);

sub put { my ($root, $path, $text) = @_; system('mkdir', '-p', "$root/" . ($path =~ s{/[^/]*$}{}r)) == 0 or die; spew("$root/$path", $text) }

sub edac {
    my ($root, $dimms, $at_copy, $csrow) = @_;
    my $mc = 'sys/devices/system/edac/mc/mc0';
    return csrow($root, "$mc/csrow0", $dimms->[0], $at_copy) if $csrow;
    my ($ce, $ue) = (0, 0);
    for my $i (0 .. $#$dimms) {
        my ($label, @n) = @{$dimms->[$i]};
        my @c = $at_copy ? @n[2, 3] : @n[0, 1];
        put($root, "$mc/dimm$i/dimm_label", "$label\n");
        put($root, "$mc/dimm$i/dimm_ce_count", "$c[0]\n");
        put($root, "$mc/dimm$i/dimm_ue_count", "$c[1]\n");
        ($ce, $ue) = ($ce + $c[0], $ue + $c[1]);
    }
    put($root, "$mc/ce_count", "$ce\n");
    put($root, "$mc/ue_count", "$ue\n");
}

# An older driver's row: two channels' labels, the row's counts.
sub csrow {
    my ($root, $row, $d, $at_copy) = @_;
    my ($label, @n) = @$d;
    put($root, "$row/ch0_dimm_label", "$label\n");
    put($root, "$row/ch1_dimm_label", ($label =~ s/A/B/r) . "\n");
    put($root, "$row/ce_count", ($at_copy ? $n[2] : $n[0]) . "\n");
    put($root, "$row/ue_count", ($at_copy ? $n[3] : $n[1]) . "\n");
    put($root, "$row/../ce_count", "0\n");
    put($root, "$row/../ue_count", ($at_copy ? $n[3] : $n[1]) . "\n");
}

sub hwmon {
    my ($root, $celsius, $warn) = @_;
    my $h = 'sys/class/hwmon/hwmon1';
    put($root, "$h/name", "coretemp\n");
    put($root, "$h/temp1_label", "Package id 0\n");
    put($root, "$h/temp1_input", $celsius * 1000 . "\n");
    put($root, "$h/temp1_max", $warn * 1000 . "\n");
    put($root, "$h/temp1_crit", ($warn + 10) * 1000 . "\n");
}

# ipmitool as far as the collectors ask it: the log from a file, no
# sensors; a missing file is a machine without a BMC.
sub stub {
    my ($dir) = @_;
    spew("$dir/ipmitool", <<"SH", 0755);
#!/bin/sh
[ -f "$dir/hang" ] && sleep 300
case "\$*" in
  "sel elist") [ -f "$dir/sel" ] || { echo "Could not open device at /dev/ipmi0 or /dev/ipmi/0 or /dev/ipmidev/0: No such file or directory" >&2; exit 1; }
               [ -s "$dir/sel" ] && cat "$dir/sel" || echo "SEL has no entries" ;;
  sensor) [ -f "$dir/sel" ] || exit 1; cat "$dir/sensor" 2>/dev/null ;;
  *) exit 1 ;;
esac
SH
    return "$dir/ipmitool";
}

sub health { my ($env, $what) = @_; my ($out, $rc) = run_cmd($env, 'perl', "$REPO/tools/rundiags-health", $what); die "rundiags-health $what ($rc): $out" if $rc }

sub burnin {
    my ($m) = @_;
    my $d = " Pass 1 started 2026-12-07 08:00:00 UTC.\nDisk sda: ST4000NM0033-9ZM, serial Z1Z0A1B0, 4.0 TB.\n"
          . " sda: 4.0 TB (4000787030016 bytes) to test, direct I/O in 512-byte units.\n"
          . " sda: SMART at the start of the pass: $SMART0.\n sda: verified in 9000.0 s, 444.5 MB/s.\n"
          . " sda: SMART at the end of the pass: " . ($m->{smart_end} // $SMART0) . ".\n"
          . ($m->{fail} ? "$m->{fail}\n" : "Pass complete: 1 disk (4.0 TB) written and verified without error.\n");
    return program_log(['disk', $d]);
}

sub machine {
    my ($m) = @_;
    my $dir = scratch();
    my $root = "$dir/root";
    system('cp', '-a', "$REPO/tools/fixtures/qemu-kvm", $root) == 0 or die;
    my %env = (COMPAT_ROOT => $root, $m->{hang} ? (HEALTH_IPMI_SECONDS => 1) : ());
    spew("$dir/hang", '') if $m->{hang};
    $env{RUNDIAGS_IPMITOOL} = stub($dir) unless $m->{nothing};
    edac($root, $m->{edac}, 0, $m->{csrow}) if $m->{edac};
    spew("$dir/sel", join('', map { "$_\n" } @{$m->{sel}})) if $m->{sel};
    spew("$dir/sensor", "CPU1 Temp | 45.000 | degrees C | ok | na | 0.000 | 5.000 | 80.000 | 85.000 | 90.000\n$m->{sensor}\n")
        if $m->{sensor};
    hwmon($root, @{$m->{hwmon}}) if $m->{hwmon};
    health(\%env, 'baseline');
    unless ($m->{nothing}) {
        my $n = 0;
        put($root, 'dev/kmsg', join('', map { sprintf("%d,%d,%d,-;%s\n", /^mce/ ? 4 : 6, $n++, 5000000 + $n, $_) } @{$m->{kmsg} // []}));
        health(\%env, 'kmsg');
        health(\%env, 'sample');
    }
    # During the run: more memory errors, new log entries, the machine cooled down again.
    edac($root, $m->{edac}, 1, $m->{csrow}) if $m->{edac};
    spew("$dir/sel", join('', map { "$_\n" } @{$m->{sel}}, @{$m->{added} // []})) if $m->{sel};
    hwmon($root, 40, $m->{hwmon}[1]) if $m->{hwmon};
    return ((make_record('qemu-kvm', root => $root, env => \%env, burnin => burnin($m)))[0, 1], $dir);
}

for my $row (@MACHINES) {
    my ($name, $m, $verdict, $items) = @$row;
    my ($r, $txt, $dir) = machine($m);
    my $h = $r->{health};
    is($h->{verdict}, $verdict, "$name: verdict");
    is_deeply([map { [$_->{severity}, $_->{part}] } @{$h->{items}}], $items, "$name: the findings and their parts");
    my ($first) = split /\n/, $txt;
    like($first, qr/^Health: \Q$verdict\E; burn-in: /, "$name: report.txt begins with the health verdict");
    is(scalar(() = $txt =~ /^  \Q$_->[0]\E +(?:BMC|memory|machine check|sensor|disk) +\Q$_->[1]\E: /mg), 1, "$name: report.txt names $_->[1]") for @$items;
    if ($name eq 'nothing at all') {
        is($first, 'Health: clean; burn-in: no verdict (the log ends before the summary); not reported: memory errors, BMC log, machine checks, sensors',
           'nothing at all: the first line says what was not reported');
        like($txt, qr/^  Memory +no memory controller reports errors/m, 'nothing at all: no EDAC, said so');
        like($txt, qr/^  Sensors +no temperature sensors/m, 'nothing at all: no sensors, said so');
    }
    if ($name eq 'machine checks corrected') {
        like($txt, qr/^  look at it +machine check CPU 2, bank 7: 12 corrected machine-check errors, last status 8c00004000010090$/m,
             'a machine check names its bank and status');
        like($txt, qr/^  Machine checks +12 corrected, 0 uncorrected; "Machine check events logged" once$/m, 'once is once');
    }
    if ($name eq 'BMC never answers') {
        is($h->{bmc}{note}, 'no BMC answered within 1 s', 'a BMC that never answers: said so');
        is_deeply([grep { (slurp($_) // '') =~ /\Q$dir\E\/ipmitool/ } glob('/proc/[0-9]*/cmdline')], [], 'nothing of its ipmitool is left running');
    }
    if ($name eq 'no BMC') {
        like($h->{bmc}{note}, qr/^no BMC answered \(ipmitool: Could not open device/, 'no BMC: said so, with what ipmitool said');
    }
    if ($name eq 'clean') {
        is($h->{bmc}{entries_at_start}, 1, 'clean: the entries at boot are not findings');
        my $d = $r->{disks_tested}[0];
        is_deeply([@$d{qw(name serial capacity_bytes passes_completed bytes_written_and_verified)}],
                  ['sda', 'Z1Z0A1B0', 4000787030016, 1, 4000787030016], 'the disk sheet: the disk, passes and bytes');
        is_deeply([$d->{smart_start}{counters}{'reallocated sectors'}, $d->{smart_end}{pass}], [0, 1],
                  'the disk sheet: SMART at the start and the end');
        like($txt, qr/^  sda +ST4000NM0033-9ZM, serial Z1Z0A1B0, firmware not reported, 4\.0 TB \(4000787030016 bytes\)$/m,
             'report.txt: the disk sheet');
    }
}

# The weight of a BMC entry, by its sensor and event as ipmitool names them.
use lib "$REPO/tools/perl";
require Makefloppy::Health;
for (['Temperature CPU1 Temp', 'Upper Critical going high', 'Asserted', 'failed'],
     ['Temperature CPU1 Temp', 'Upper Non-critical going high', 'Asserted', 'look at it'],
     ['Voltage #0x30', 'Lower Non-recoverable going low', 'Asserted', 'failed'],
     ['Power Supply PS2 Status', 'Power Supply AC lost', 'Asserted', 'failed'],
     ['Memory #0x02', 'Uncorrectable ECC', 'Asserted', 'failed'],
     ['Memory #0x02', 'Correctable ECC', 'Asserted', 'look at it'],
     ['Processor CPU2 Status', 'IERR', 'Asserted', 'failed'],
     ['Fan FAN3', 'Lower Critical going low', 'Deasserted', 'look at it'],
     ['Physical Security #0x73', 'General Chassis intrusion', 'Asserted', 'look at it']) {
    my ($sensor, $event, $dir, $want) = @$_;
    is(Makefloppy::Health::sel_severity({ sensor => $sensor, event => $event, direction => $dir }), $want,
       "BMC entry $sensor: $event ($dir): $want");
}
records_valid();

done_testing();
