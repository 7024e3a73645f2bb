#!/usr/bin/perl
# compat.pl on the fake servers: exact output, every line read back the way
# rundiags reads it, and a log that holds the output plus the raw facts.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use CompatLines qw(new_state interpret close_fields summary);
use ScriptTest qw($REPO run_cmd slurp scratch);

my $COMPAT = "$REPO/tools/compat.pl";
my $tmp = scratch();

my %summary = (
    'dell-r730' => {
        CPU => 'Xeon-E5-2620-v4', cpucount => 2, Memory => '62.8 GiB',
        Video => 'Matrox G200eR2', Network => 'tg3, tg3, tg3, tg3',
        SCSI => 'ahci IDE, megaraid_sas RAID', Disks => 'sda, sdb, sdc',
        Serial => 'ttyS0, ttyS1', Parallel => '',
    },
    'supermicro-x9' => {
        CPU => 'Xeon-E5-2670', cpucount => 2, Memory => '125.8 GiB',
        Video => 'ASPEED Graphics Family', Network => 'igb, igb, igb, igb',
        SCSI => 'ahci IDE, mpt3sas SCSI, nvme SCSI',
        Disks => 'sda, sdb, sdc, sdd, sde, sdf, nvme0n1',
        Serial => 'ttyS0, ttyS1', Parallel => 'parport0',
    },
    'qemu-kvm' => {
        CPU => 'QEMU-Virtual-version', cpucount => 1, Memory => '3.8 GiB', Video => 'PCI device 1234:1111',
        Network => 'virtio_net, virtio_net', SCSI => 'ahci IDE, virtio_blk SCSI', Disks => 'vda',
        Serial => 'ttyS0', Parallel => '',
    },
    'old-tower' => {
        CPU => 'NONE', cpucount => 1, Memory => 'NONE', Video => 'PCI device 8086:2572',
        Network => 'NONE', SCSI => 'ata_piix IDE', Disks => 'sda',
        Serial => 'ttyS0, ttyS1', Parallel => 'parport0',
    },
);
my %categories = map { $_ => 1 } qw(CPU MEMORY VIDEO NETWORK IDE SCSI RAID DISK SERIAL PARALLEL);

for my $machine (sort keys %summary) {
    my $log = "$tmp/$machine.log";
    my ($out, $rc) = run_cmd({ COMPAT_ROOT => "$REPO/tools/fixtures/$machine", COMPAT_LOG => $log },
                             'perl', $COMPAT, '');
    is($rc, 0, "$machine: exit 0");
    my $expected = slurp("$FindBin::Bin/expected/$machine.basic");
    is($out, $expected, "$machine: output is exactly as expected");

    my $st = new_state();
    my ($open_device, @problems) = (undef);
    for my $line (split /\n/, $out) {
        my $kind = interpret($st, $line);
        if ($kind eq 'device') {
            push @problems, "unknown category: $line" unless $categories{$st->{category}};
            push @problems, "device without status before: $line" if $open_device;
            $open_device = $line;
        } elsif ($kind eq 'status') {
            push @problems, "status without device: $line" unless $open_device;
            push @problems, "not a status word: $line"
                unless $line =~ /^   Status: (?:SUPPORTED|UNSUPPORTED|SUPPORT UNKNOWN)$/;
            $open_device = undef;
        }
    }
    push @problems, "last device has no status: $open_device" if $open_device;
    is_deeply(\@problems, [], "$machine: every line reads back as meant");
    close_fields($st);
    my %got = map { my $v = $st->{$_}; $v =~ s/\x08,\x08 /, /g; $v =~ tr/\x07//d; ($_ => $v) }
              qw(CPU Memory Video Network SCSI Disks Serial Parallel);
    $got{cpucount} = $st->{cpucount};
    is_deeply(\%got, $summary{$machine}, "$machine: summary fields");
    note(summary($st));

    my $logtext = slurp($log) // '';
    my $shown = join '', grep { !/^#/ } split /^/m, $logtext;
    is($shown, $out, "$machine: the log holds exactly what was printed");
    like($logtext, qr/^#\| 0000:\S+ class=\S+ id=[0-9a-f]{4}:[0-9a-f]{4} /m, "$machine: the log holds the PCI facts");
    like($logtext, qr/^#== \/proc\/cpuinfo\n#\| processor\t: 0$/m, "$machine: the log holds the raw cpuinfo");
}

# The program always passes the option as one argument; no argument at all
# must behave the same, an unknown one is refused.
my ($noarg) = run_cmd({ COMPAT_ROOT => "$REPO/tools/fixtures/old-tower", COMPAT_LOG => "$tmp/n.log" },
                      'perl', $COMPAT);
is($noarg, slurp("$FindBin::Bin/expected/old-tower.basic"), 'no argument is the basic test');
my (undef, $bad) = run_cmd({ COMPAT_ROOT => "$REPO/tools/fixtures/old-tower", COMPAT_LOG => "$tmp/b.log" },
                           'perl', $COMPAT, '-x');
is($bad, 2, 'unknown option is refused');

# A root without a PCI ID database falls back to numeric names.
like(slurp("$FindBin::Bin/expected/old-tower.basic"), qr/^NETWORK: PCI device 10ec:8139, eth0 \(8139too\)$/m,
     'numeric names without pci.ids');

done_testing();
