package Makefloppy::Smbios;
# The firmware's description of the machine (SMBIOS): system, board,
# chassis, BIOS/UEFI and memory modules. dmidecode reads it when it is
# installed; otherwise the kernel's copy in sysfs is read directly, the
# named fields from /sys/class/dmi/id and the memory modules from the raw
# table in /sys/firmware/dmi/tables/DMI.
use strict;
use warnings;
use Exporter 'import';
use Makefloppy::Util qw(rfile rline clean run_capture find_tool root);

our @EXPORT_OK = qw(smbios parse_dmidecode dimms_from_table);

# Firmware fills unset fields with placeholders; they identify nothing.
my $PLACEHOLDER = qr/^(?:to\sbe\sfilled\sby\so\.e\.m\.|not\sspecified|not\sprovided|not\sapplicable|n\/a
                      |default\sstring|(?:system|chassis|base\sboard)\sserial\snumber|system\sproduct\sname
                      |system\smanufacturer|none|unknown|no\sdimm|0+|x+|0123456789)$/xi;

sub real {
    my ($v) = @_;
    $v = clean($v);
    return defined $v && $v !~ $PLACEHOLDER ? $v : undef;
}

# A UUID that names this machine: not all zeros or all ones (unset).
sub uuid {
    my ($v) = @_;
    $v = clean($v) // return undef;
    return $v =~ /^[0-9a-f]{8}(?:-[0-9a-f]{4}){3}-[0-9a-f]{12}$/i && $v !~ /^[0-]+$/ && $v !~ /^[f-]+$/i ? lc $v : undef;
}

# Memory types of SMBIOS type 17 (offset 0x12).
my %MEMORY_TYPE = (0x03 => 'DRAM', 0x07 => 'RAM', 0x0f => 'SDRAM', 0x12 => 'DDR', 0x13 => 'DDR2',
                   0x14 => 'DDR2 FB-DIMM', 0x18 => 'DDR3', 0x1a => 'DDR4', 0x1b => 'LPDDR', 0x1c => 'LPDDR2',
                   0x1d => 'LPDDR3', 0x1e => 'LPDDR4', 0x20 => 'HBM', 0x21 => 'HBM2', 0x22 => 'DDR5',
                   0x23 => 'LPDDR5');

sub smbios {
    my $cmd = find_tool('MAKEFLOPPY_DMIDECODE', 'dmidecode');
    my $s = defined $cmd ? from_dmidecode($cmd) : undef;
    $s //= from_sysfs();
    $s->{firmware}{type} = -d root() . '/sys/firmware/efi' ? 'UEFI' : 'BIOS';
    return $s;
}

# ---------------------------------------------------------------- dmidecode

sub parse_dmidecode {
    my ($text) = @_;
    my @records;
    for my $block (split /\n[ \t]*\n/, $text) {
        next unless $block =~ /^Handle 0x[0-9A-Fa-f]+, DMI type (\d+),/m;
        my %r = (type => $1 + 0);
        for (split /\n/, $block) {
            $r{$1} = $2 if /^\t([^\t:][^:]*):[ \t]*(.*?)\s*$/;
        }
        push @records, \%r;
    }
    return @records;
}

sub from_dmidecode {
    my ($cmd) = @_;
    my ($rc, $text) = run_capture($cmd, '-t', '0,1,2,3,17');
    my @records = parse_dmidecode($text);
    return undef if $rc != 0 || !@records;
    my %first;
    for my $r (@records) { $first{$r->{type}} //= $r }
    my ($bios, $sys, $board, $chassis) = map { $first{$_} // {} } 0, 1, 2, 3;
    my %s = (source => 'dmidecode',
             system => { vendor => real($sys->{Manufacturer}), product => real($sys->{'Product Name'}),
                         version => real($sys->{Version}), serial => real($sys->{'Serial Number'}),
                         uuid => uuid($sys->{UUID}),
                         asset_tag => real($chassis->{'Asset Tag'}), chassis_serial => real($chassis->{'Serial Number'}) },
             board => { vendor => real($board->{Manufacturer}), product => real($board->{'Product Name'}),
                        serial => real($board->{'Serial Number'}) },
             firmware => { vendor => real($bios->{Vendor}), version => real($bios->{Version}),
                           date => real($bios->{'Release Date'}) });
    my @slots = grep { $_->{type} == 17 } @records;
    $s{memory_slots} = scalar @slots;
    $s{dimms} = [grep { defined } map { dimm_from_text($_) } @slots];
    return \%s;
}

sub mts {
    my ($v) = @_;
    return defined $v && $v =~ /^(\d+)\s*(?:MT\/s|MHz)/ && $1 > 0 ? $1 + 0 : undef;
}

sub dimm_from_text {
    my ($r) = @_;
    my $size = $r->{Size} // '';
    my $mb = $size =~ /^(\d+)\s*TB/ ? $1 * 1048576 : $size =~ /^(\d+)\s*GB/ ? $1 * 1024
           : $size =~ /^(\d+)\s*MB/ ? $1 + 0 : $size =~ /^(\d+)\s*kB/ ? int($1 / 1024) : 0;
    return undef unless $mb;
    return dimm(slot => real($r->{Locator}), bank => real($r->{'Bank Locator'}), mb => $mb,
                type => real($r->{Type}), speed => mts($r->{Speed}),
                configured => mts($r->{'Configured Memory Speed'} // $r->{'Configured Clock Speed'}),
                manufacturer => real($r->{Manufacturer}), part_number => real($r->{'Part Number'}),
                serial => real($r->{'Serial Number'}));
}

sub dimm {
    my (%d) = @_;
    my %m = (slot => $d{slot} // $d{bank}, size_mb => $d{mb},
             size => $d{mb} % 1024 ? "$d{mb} MiB" : ($d{mb} / 1024) . ' GiB');
    $m{bank} = $d{bank} if defined $d{bank} && defined $d{slot};
    for my $k (qw(type manufacturer part_number serial)) { $m{$k} = $d{$k} if defined $d{$k} }
    $m{speed_mts} = $d{speed} if $d{speed};
    $m{configured_mts} = $d{configured} if $d{configured};
    return \%m;
}

# ---------------------------------------------------------------- sysfs

sub from_sysfs {
    my $id = '/sys/class/dmi/id';
    my %f = map { ($_ => real(rline("$id/$_"))) }
            qw(sys_vendor product_name product_version product_serial chassis_serial chassis_asset_tag
               board_vendor board_name board_serial bios_vendor bios_version bios_date);
    $f{product_uuid} = uuid(rline("$id/product_uuid"));
    my $table = rfile('/sys/firmware/dmi/tables/DMI');
    my ($slots, @dimms) = defined $table ? dimms_from_table($table) : (0);
    return { source => 'sysfs',
             system => { vendor => $f{sys_vendor}, product => $f{product_name}, version => $f{product_version},
                         serial => $f{product_serial}, uuid => $f{product_uuid}, asset_tag => $f{chassis_asset_tag},
                         chassis_serial => $f{chassis_serial} },
             board => { vendor => $f{board_vendor}, product => $f{board_name}, serial => $f{board_serial} },
             firmware => { vendor => $f{bios_vendor}, version => $f{bios_version}, date => $f{bios_date} },
             memory_slots => $slots, dimms => \@dimms };
}

# Walks the raw table: each structure is a formatted part (its length in
# byte 1) and a set of strings ending in two NUL bytes. Returns the number
# of memory device structures and the installed modules.
sub dimms_from_table {
    my ($t) = @_;
    my ($pos, $slots, @dimms) = (0, 0);
    while ($pos + 4 <= length $t) {
        my ($type, $len) = unpack('CC', substr($t, $pos, 2));
        last if $type == 127 || $len < 4 || $pos + $len > length $t;
        my $end = index($t, "\0\0", $pos + $len);
        last if $end < 0;
        my @strings = split /\0/, substr($t, $pos + $len, $end - $pos - $len);
        if ($type == 17) {
            $slots++;
            my $m = dimm_from_raw(substr($t, $pos, $len), \@strings);
            push @dimms, $m if $m;
        }
        $pos = $end + 2;
    }
    return ($slots, @dimms);
}

sub dimm_from_raw {
    my ($f, $strings) = @_;
    my $byte = sub { $_[0] < length $f ? unpack('C', substr($f, $_[0], 1)) : 0 };
    my $word = sub { $_[0] + 2 <= length $f ? unpack('v', substr($f, $_[0], 2)) : 0 };
    my $str = sub { my $i = $byte->($_[0]); $i ? real($strings->[$i - 1]) : undef };
    my $size = $word->(0x0c);
    return undef if $size == 0 || $size == 0xffff;
    my $mb = $size == 0x7fff && length $f >= 0x20 ? unpack('V', substr($f, 0x1c, 4)) & 0x7fffffff
           : $size & 0x8000 ? int(($size & 0x7fff) / 1024) : $size;
    return undef unless $mb;
    return dimm(slot => $str->(0x10), bank => $str->(0x11), mb => $mb,
                type => $MEMORY_TYPE{$byte->(0x12)}, speed => $word->(0x15),
                configured => $word->(0x20), manufacturer => $str->(0x17),
                part_number => $str->(0x1a), serial => $str->(0x18));
}

1;
