#!/usr/bin/perl
# The record (report.json and report.txt) of each fake server, field by
# field: the machine from sysfs or dmidecode, the SMART readings of the
# advanced probe, and the compatibility verdicts with totals that add up.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use ScriptTest qw($REPO slurp spew scratch);
use RecordTest qw(make_record records_valid);
use lib "$REPO/tools/perl";

my $tmp = scratch();
my $T = JSON::PP::true;
my $F = JSON::PP::false;

sub nic { my ($name, $mac, $driver, $speed, $model, $pci) = @_;
          return { name => $name, mac => $mac, driver => $driver, firmware => undef, model => $model, pci_address => $pci,
                   link => $speed ? "$speed Mb/s, full duplex" : 'no link', $speed ? (speed_mbps => $speed) : () } }
sub disk { my ($name, $model, $serial, $fw, $sectors, $size, $driver, $rot) = @_;
           return { name => $name, model => $model, serial => $serial, firmware => $fw, bytes => $sectors * 512,
                    size => $size, driver => $driver, removable => $F, rotational => $rot ? $T : $F } }
sub dimm { my ($slot, $bank, $mb, $type, $speed, $conf, $maker, $part, $serial) = @_;
           my %d = (slot => $slot, size_mb => $mb, size => $mb % 1024 ? "$mb MiB" : ($mb / 1024) . ' GiB');
           $d{bank} = $bank if $bank; $d{type} = $type if $type; $d{speed_mts} = $speed if $speed;
           $d{configured_mts} = $conf if $conf; $d{manufacturer} = $maker if $maker;
           $d{part_number} = $part if $part; $d{serial} = $serial if $serial;
           return \%d }

my $XEON = 'Intel Xeon CPU E5-2670 0 @ 2.60GHz';
my %machine = (
    'supermicro-x9' => {
        smbios_from => 'sysfs', kernel => undef,
        system => { vendor => 'Supermicro', product => 'X9DRi-LN4+/X9DR3-LN4+', version => undef,
                    serial => 'C8150AB23N10012', uuid => undef, asset_tag => undef, chassis_serial => undef },
        board => { vendor => 'Supermicro', product => 'X9DRi-LN4+/X9DR3-LN4+', serial => undef },
        firmware => { type => 'BIOS', vendor => 'American Megatrends Inc.', version => '3.3', date => '07/12/2018' },
        processors => { model => $XEON, sockets => 2, cores => 16, threads => 32 },
        memory => { usable => '125.8 GiB', usable_kb => 131919624, installed => '128.0 GiB', slots => 16,
                    dimms => [map { my $p = $_ < 4 ? 1 : 2;
                                    dimm(sprintf('P%d-DIMM%s1', $p, chr(65 + $_)),
                                         sprintf('P%d_Node%d_Channel%d_Dimm0', $p - 1, $p - 1, $_ % 4), 16384, 'DDR3',
                                         1600, 1333, 'Samsung', 'M393B2G70QH0-YK0', sprintf('35A1F20%d', $_)) } 0 .. 7] },
        disks => [(map { disk("sd$_->[0]", 'ST4000NM0033-9ZM', "Z1Z0A1B$_->[1]", 'SN04', 7814037168, '4.0 TB', 'sd', 1) }
                   [a => 0], [b => 1], [c => 2], [d => 3], [e => 4]),
                  disk('sdf', 'SEAGATE ST600MM0006', 'S0M1ABCD0000M4271KZF', '0004', 1172123568, '600.1 GB', 'sd', 1),
                  disk('nvme0n1', 'INTEL SSDPE2MD800G4', 'CVFT5123000A800CGN', '8DV10171', 1562824368, '800.2 GB',
                       undef, 0)],
        network_ports => [map { nic("eth$_", "0c:c4:7a:31:5e:2$_", 'igb', 1000, 'Intel I350 Gigabit Network Connection',
                                     "0000:06:00.$_") } 0 .. 3],
    },
    'dell-r730' => {
        smbios_from => 'sysfs',
        kernel => 'Linux version 6.1.0-18-amd64 (debian-kernel@lists.debian.org) #1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)',
        system => { vendor => 'Dell Inc.', product => 'PowerEdge R730', version => undef, serial => '7QX2K52',
                    uuid => undef, asset_tag => 'IT-004711', chassis_serial => '7QX2K52' },
        board => { vendor => 'Dell Inc.', product => '0WCJNT', serial => undef },
        firmware => { type => 'UEFI', vendor => 'Dell Inc.', version => '2.17.0', date => '03/15/2023' },
        processors => { model => 'Intel Xeon CPU E5-2620 v4 @ 2.10GHz', sockets => 2, cores => 16, threads => 32 },
        memory => { usable => '62.8 GiB', usable_kb => 65843212, installed => '64.0 GiB', slots => 24,
                    dimms => [map { dimm($_->[0], undef, 8192, 'DDR4', 2400, 2133, '00AD00B300AD', 'HMA41GR7AFR4N-UH',
                                         "3A1B$_->[1]") }
                              [A1 => '2E19'], [B1 => '2E21'], [A2 => '2E1A'], [B2 => '2E22'],
                              [A3 => '2E1B'], [B3 => '2E23'], [A4 => '2E1C'], [B4 => '2E24']] },
        disks => [disk('sda', 'DELL PERC H730 Mini', '0064d1a22a4f3e1f2c00b0a1b2c3d4e5', '4.30', 3904897024, '2.0 TB', 'sd', 1),
                  disk('sdb', 'DELL PERC H730 Mini', '00c3d2e12b4f3e1f2c00b0a1b2c3d4e5', '4.30', 7810842624, '4.0 TB', 'sd', 1),
                  disk('sdc', 'Samsung SSD 860 EVO 500GB', 'S3Z2NB0K123456A', 'RVT0', 976773168, '500.1 GB', 'sd', 0)],
        network_ports => [map { nic("eno$_", '24:6e:96:1a:2b:3' . ($_ - 1), 'tg3', 1000, 'Broadcom NetXtreme BCM5720 Gigabit Ethernet PCIe',
                                     sprintf('0000:%02d:00.%d', 2 + ($_ > 2), ($_ - 1) % 2)) } 1 .. 4],
    },
    'qemu-kvm' => {
        smbios_from => 'sysfs',
        kernel => 'Linux version 6.1.0-18-amd64 (debian-kernel@lists.debian.org) #1 SMP PREEMPT_DYNAMIC Debian 6.1.76-1 (2024-02-01)',
        system => { vendor => 'QEMU', product => 'Standard PC (Q35 + ICH9, 2009)', version => 'pc-q35-7.2',
                    serial => undef, uuid => undef, asset_tag => undef, chassis_serial => undef },
        board => { vendor => undef, product => undef, serial => undef },
        firmware => { type => 'BIOS', vendor => 'SeaBIOS', version => '1.16.2-debian-1.16.2-1', date => '04/01/2014' },
        processors => { model => 'QEMU Virtual CPU version 2.5+', sockets => 1, cores => 4, threads => 4 },
        memory => { usable => '3.8 GiB', usable_kb => 4025932, installed => '4.0 GiB', slots => 1,
                    dimms => [dimm('DIMM 0', undef, 4096, 'RAM', 0, 0, 'QEMU')] },
        # A virtio disk: no PCI vendor number in place of a model.
        disks => [disk('vda', 'Virtio disk', 'rundiags-vda', undef, 67108864, '34.4 GB', 'virtio_blk', 1)],
        network_ports => [nic('enp1s0', '52:54:00:12:34:56', 'virtio_net', 1000, 'Red Hat Virtio 1.0 network device', '0000:01:00.0'),
                          nic('enp2s0', '52:54:00:12:34:57', 'virtio_net', 0, 'Red Hat Virtio 1.0 network device', '0000:02:00.0')],
    },
    'old-tower' => {
        smbios_from => 'sysfs', kernel => undef,
        system => { map { $_ => undef } qw(vendor product version serial uuid asset_tag chassis_serial) },
        board => { vendor => undef, product => undef, serial => undef },
        firmware => { type => 'BIOS', vendor => undef, version => undef, date => undef },
        processors => { model => 'Intel Pentium 4 CPU 2.80GHz', sockets => 1, cores => 1, threads => 1 },
        memory => { usable => '376 MiB', usable_kb => 385316, slots => undef, dimms => [] },
        disks => [disk('sda', 'WDC WD800JB-00JJ', 'WD-WCAM91234567', '05.0', 156301488, '80.0 GB', 'sd', 1)],
        network_ports => [nic('eth0', '00:e0:4c:12:34:56', '8139too', 100, 'PCI device 10ec:8139', '0000:01:02.0')],
    },
);
my %totals = ('supermicro-x9' => [21, 1, 1], 'qemu-kvm' => [9, 0, 0], 'old-tower' => [6, 3, 0], 'dell-r730' => [15, 0, 0]);

# ---- the machine, field by field
for my $m (sort keys %machine) {
    my ($r, $txt) = make_record($m);
    is_deeply($r->{machine}, $machine{$m}, "$m: the machine in report.json");
    my ($s, $u, $k) = @{$totals{$m}};
    is_deeply($r->{compatibility}{totals},
              { SUPPORTED => $s, UNSUPPORTED => $u, 'SUPPORT UNKNOWN' => $k, devices => $s + $u + $k },
              "$m: verdict totals add up");
    is(scalar @{$r->{compatibility}{devices}}, $s + $u + $k, "$m: every device counted once");
    like(slurp("$REPO/tests/protocol/logs/compat-$m.log"), qr/^Finished\. $s supported, $u unsupported, $k support unknown\.$/m,
         "$m: the same totals as the probe's last line");
    like($txt, qr/^  Totals: ${\($s + $u + $k)} devices: $s supported, $u unsupported, $k support unknown$/m,
         "$m: report.txt totals");
    is($r->{burnin}, undef, "$m: no burn-in log, no burn-in");
    like($txt, qr/^BURN-IN\n  not run$/m, "$m: report.txt says the burn-in was not run");
}

# ---- report.txt, line by line where it matters
my ($r, $txt) = make_record('supermicro-x9');
my ($name) = slurp("$REPO/diags/rundiags.cpp") =~ /"(ORVEX [^"]*)"/;
my ($version) = slurp("$REPO/diags/rundiags.cpp") =~ /"Version %s", "([^"]+)"/;
is_deeply($r->{tool}, { name => $name, version => $version }, "the program's own name and version");
like($r->{generated}, qr/^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$/, 'generated in UTC');
for my $line ("ORVEX Compatibility and Diagnostics, version $version",
              'MACHINE (firmware tables read from sysfs)',
              '  Vendor       Supermicro',
              '  Product      X9DRi-LN4+/X9DR3-LN4+',
              '  Version      not reported by the firmware',
              '  Serial       C8150AB23N10012',
              '  Asset tag    not reported by the firmware',
              '  Board        Supermicro X9DRi-LN4+/X9DR3-LN4+',
              '  Firmware     BIOS: American Megatrends Inc. 3.3 (07/12/2018)',
              "  Processors   2 sockets, 16 cores, 32 threads: $XEON",
              '  Memory       125.8 GiB usable; 128.0 GiB installed in 8 modules (16 slots)',
              '  P1-DIMMA1        16 GiB DDR3 1600 MT/s (runs at 1333), Samsung M393B2G70QH0-YK0, serial 35A1F200',
              '  sdf       SEAGATE ST600MM0006, serial S0M1ABCD0000M4271KZF, firmware 0004, 600.1 GB',
              '  nvme0n1   INTEL SSDPE2MD800G4, serial CVFT5123000A800CGN, firmware 8DV10171, 800.2 GB',
              '  eth3      0c:c4:7a:31:5e:23  igb, firmware not reported; 1000 Mb/s, full duplex',
              '            Intel I350 Gigabit Network Connection, PCI 0000:06:00.3',
              '  SUPPORTED       MEMORY   125.8 GiB usable',
              '  SUPPORTED       SERIAL   ttyS1: 16550A UART at I/O port 0x2f8, IRQ 3',
              '  UNSUPPORTED     RAID     Silicon Image SiI 3112 [SATALink/SATARaid] Serial ATA Controller, SiI 3112 SATALink Controller (sata_sil)') {
    like($txt, qr/^\Q$line\E$/m, "report.txt: $line");
}
($r, $txt) = make_record('qemu-kvm');
like($txt, qr/^  vda       Virtio disk, serial rundiags-vda, firmware not reported, 34\.4 GB$/m, 'report.txt: virtio disk');
like($txt, qr/^  enp2s0    52:54:00:12:34:57  virtio_net, firmware not reported; no link$/m, 'report.txt: port without link');
like($txt, qr/^  DIMM 0           4 GiB RAM, QEMU, serial not reported$/m, 'report.txt: a module without serial number');
($r, $txt) = make_record('old-tower');
like($txt, qr/^MEMORY MODULES\n  none reported by the firmware$/m, 'report.txt: no firmware tables, no modules');
like($txt, qr/^  Memory       376 MiB usable$/m, 'report.txt: usable memory without modules');

# ---- dmidecode when installed, ethtool for firmware versions
spew("$tmp/dmidecode", <<'SH', 0755);
#!/bin/sh
[ "$*" = "-t 0,1,2,3,17" ] || exit 2
cat <<'OUT'
# dmidecode 3.4
Getting SMBIOS data from sysfs.
SMBIOS 2.8 present.

Handle 0x0000, DMI type 0, 24 bytes
BIOS Information
	Vendor: Dell Inc.
	Version: 2.17.0
	Release Date: 03/15/2023
	Characteristics:
		PCI is supported
		UEFI is supported

Handle 0x0100, DMI type 1, 27 bytes
System Information
	Manufacturer: Dell Inc.
	Product Name: PowerEdge R730
	Version: Not Specified
	Serial Number: 7QX2K52
	UUID: 4C4C4544-0051-5810-8032-B7C04F4B3532

Handle 0x0200, DMI type 2, 8 bytes
Base Board Information
	Manufacturer: Dell Inc.
	Product Name: 0WCJNT
	Serial Number: .7QX2K52.CN7475159C0123.

Handle 0x0300, DMI type 3, 22 bytes
Chassis Information
	Manufacturer: Dell Inc.
	Serial Number: 7QX2K52
	Asset Tag: IT-004711
OUT
for slot in A1 B1 A2 B2 A3 B3 A4 B4; do
  n=$(printf '%X' $((0x2C10 + $(printf '%d' "'$slot") * 8 + ${slot#?})))
  printf '\nHandle 0x1100, DMI type 17, 40 bytes\nMemory Device\n\tSize: 8 GB\n\tLocator: %s\n\tBank Locator: Not Specified\n\tType: DDR4\n\tSpeed: 2400 MT/s\n\tManufacturer: 00AD00B300AD\n\tSerial Number: 3A1B%s\n\tPart Number: HMA41GR7AFR4N-UH\n\tConfigured Memory Speed: 2133 MT/s\n' "$slot" "$n"
done
for slot in A5 B5 A6 B6 A7 B7 A8 B8 A9 B9 A10 B10 A11 B11 A12 B12; do
  printf '\nHandle 0x1100, DMI type 17, 40 bytes\nMemory Device\n\tSize: No Module Installed\n\tLocator: %s\n' "$slot"
done
SH
spew("$tmp/ethtool", <<'SH', 0755);
#!/bin/sh
[ "$1" = "-i" ] || exit 2
printf 'driver: tg3\nversion: 3.137\nfirmware-version: FFV21.80.8 bc 5720-v1.39\nbus-info: 0000:02:00.0\n'
SH
my ($sys) = make_record('dell-r730');
my ($dmi, $dtxt) = make_record('dell-r730', env => { MAKEFLOPPY_DMIDECODE => "$tmp/dmidecode",
                                                     MAKEFLOPPY_ETHTOOL => "$tmp/ethtool" });
is($sys->{machine}{smbios_from}, 'sysfs', 'dell: sysfs without dmidecode');
is($dmi->{machine}{smbios_from}, 'dmidecode', 'dell: dmidecode when it is there');
is_deeply($dmi->{machine}{memory}, $sys->{machine}{memory}, 'dell: the same modules through dmidecode as from the raw table');
is(scalar @{$sys->{machine}{memory}{dimms}}, 8, 'dell: eight modules in 24 slots');
is($sys->{machine}{memory}{slots}, 24, 'dell: 24 slots');
is_deeply($dmi->{machine}{system}, { vendor => 'Dell Inc.', product => 'PowerEdge R730', version => undef,
                                     serial => '7QX2K52', uuid => '4c4c4544-0051-5810-8032-b7c04f4b3532',
                                     asset_tag => 'IT-004711', chassis_serial => '7QX2K52' },
          'dell: system through dmidecode');
is_deeply({ %{$dmi->{machine}{system}}, uuid => undef }, $sys->{machine}{system}, 'dell: the same system from sysfs');
require Makefloppy::Smbios;
for (['4C4C4544-0051-5810-8032-B7C04F4B3532', '4c4c4544-0051-5810-8032-b7c04f4b3532'],
     ['00000000-0000-0000-0000-000000000000', undef], ['FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF', undef],
     ['Not Settable', undef]) {
    is(Makefloppy::Smbios::uuid($_->[0]), $_->[1], "SMBIOS UUID $_->[0]");
}
is($dmi->{machine}{board}{serial}, '.7QX2K52.CN7475159C0123.', 'dell: board serial number through dmidecode');
is_deeply($dmi->{machine}{firmware}, { type => 'UEFI', vendor => 'Dell Inc.', version => '2.17.0', date => '03/15/2023' },
          'dell: UEFI firmware');
is_deeply([map { $_->{firmware} } @{$dmi->{machine}{network_ports}}], [('FFV21.80.8 bc 5720-v1.39') x 4],
          'dell: NIC firmware through ethtool');
is_deeply([map { $_->{firmware} } @{$sys->{machine}{network_ports}}], [(undef) x 4],
          'dell: no ethtool on a fake root unless named');
like($dtxt, qr/^MACHINE \(firmware tables read through dmidecode\)$/m, 'report.txt: names dmidecode');
like($dtxt, qr/^  eno1      24:6e:96:1a:2b:30  tg3, firmware FFV21\.80\.8 bc 5720-v1\.39; 1000 Mb\/s, full duplex$/m,
     'report.txt: NIC with firmware');
like($dtxt, qr/^  Asset tag    IT-004711$/m, 'report.txt: asset tag');

# ---- SMART health and counters from the advanced probe
spew("$tmp/smartctl", <<'SH', 0755);
#!/bin/sh
ata() {
  echo "SMART overall-health self-assessment test result: $1"
  echo "ID# ATTRIBUTE_NAME          FLAG     VALUE WORST THRESH TYPE      UPDATED  WHEN_FAILED RAW_VALUE"
  echo "  5 Reallocated_Sector_Ct   0x0033   100   100   010    Pre-fail  Always       -       $2"
  echo "  9 Power_On_Hours          0x0032   076   076   000    Old_age   Always       -       $4"
  echo "197 Current_Pending_Sector  0x0012   100   100   000    Old_age   Always       -       $3"
}
case "$3" in
  /dev/sda) ata PASSED 0 0 21034 ;;
  /dev/sdb) ata FAILED! 1536 24 30122h+12m+05.123s; exit 8 ;;
  /dev/sdd) echo "SMART support is: Unavailable - device lacks SMART capability."; exit 4 ;;
  /dev/sdf) printf 'SMART Health Status: OK\n\nElements in grown defect list: 3\n\nAccumulated power on time, hours:minutes 41210:07\n' ;;
  /dev/nvme0n1) printf 'SMART overall-health self-assessment test result: PASSED\nMedia and Data Integrity Errors:    0\nPower On Hours:                     12,345\n' ;;
  *) ata PASSED 0 0 100 ;;
esac
SH
($r, $txt) = make_record('supermicro-x9', option => '-a', env => { COMPAT_SMARTCTL => "$tmp/smartctl" });
my %smart = map { ($_->{name} => $_->{smart}) } @{$r->{machine}{disks}};
is_deeply(\%smart, {
    sda => { health => 'PASSED', reallocated_sectors => 0, pending_sectors => 0, power_on_hours => 21034 },
    sdb => { health => 'FAILED', reallocated_sectors => 1536, pending_sectors => 24, power_on_hours => 30122 },
    sdc => { health => 'PASSED', reallocated_sectors => 0, pending_sectors => 0, power_on_hours => 100 },
    sdd => {},
    sde => { health => 'PASSED', reallocated_sectors => 0, pending_sectors => 0, power_on_hours => 100 },
    sdf => { health => 'PASSED', reallocated_sectors => 3, power_on_hours => 41210 },
    nvme0n1 => { health => 'PASSED', media_errors => 0, power_on_hours => 12345 },
}, 'SMART health and counters of every disk the advanced probe read');
is($r->{compatibility}{test}, 'advanced', 'inventory from the advanced probe');
like($txt, qr/^  sdb       ST4000NM0033-9ZM, serial Z1Z0A1B1, firmware SN04, 4\.0 TB\n            SMART health FAILED; 1536 reallocated; 24 pending sectors; 30122 power-on hours$/m,
     'report.txt: SMART under its disk');
like($txt, qr/^            SMART health PASSED; 0 media errors; 12345 power-on hours$/m, 'report.txt: NVMe counters');
($r) = make_record('supermicro-x9');
ok(!grep({ exists $_->{smart} } @{$r->{machine}{disks}}), 'the basic probe reads no SMART: none in the record');

records_valid();
done_testing();
