#!/usr/bin/perl
# compat.pl - hardware compatibility probe for the rundiags boot medium.
#
#   compat.pl ""     basic test: reads /proc and /sys only, changes nothing
#   compat.pl -a     advanced test: also tries to load drivers for devices
#                    that have none, reads SMART health (and, for the record,
#                    the attributes) and opens serial ports
#
# Output is read line by line by rundiags, so the shape of every line matters:
#   "CATEGORY: description"   a device; the category is one word
#   "   Status: WORD"         verdict for the device above: SUPPORTED,
#                             UNSUPPORTED or SUPPORT UNKNOWN, nothing else
#   "Memory usable: amount"   usable memory (always counted as supported)
#   "ttyS0: description"      a serial port that has a real UART
# Everything else is progress text; it must never look like one of the
# above, so detail lines are indented by six blanks and headings carry no
# "word: " prefix. The recap of the devices to look at, just before the
# last line, is indented by two blanks for the same reason. The totals of
# that last line count every device once, the memory and serial port lines
# included.
#
# The short name rundiags shows for a device is the first word inside the
# last parentheses of the description, so every description ends in a
# parenthesised driver, model or port name that was chosen for that.
#
# Environment (for tests and for building boot media):
#   COMPAT_ROOT        read proc/ and sys/ below this directory instead of /
#   COMPAT_LOG         write the log here instead of /tmp/compat[-a].log
#   COMPAT_KNOWN_BAD   the known-bad list to use
#   COMPAT_PCI_IDS     the PCI ID database to use
#   COMPAT_MODPROBE    command used by -a to load drivers (default modprobe;
#                      with COMPAT_ROOT set, only when given explicitly)
#   COMPAT_SMARTCTL    command used by -a for SMART health (default smartctl;
#                      with COMPAT_ROOT set, only when given explicitly)
use strict;
use warnings;
use Fcntl qw(O_WRONLY O_RDWR O_CREAT O_EXCL O_NOFOLLOW O_NONBLOCK O_NOCTTY);
use File::Basename qw(dirname basename);
use Cwd qw(abs_path);
use POSIX ();
use FindBin;
# Beside the source, or where the medium installs it. Installed in /usr/bin,
# "perl" beside the script is the interpreter itself: only directories count.
use lib grep { -d } "$FindBin::RealBin/perl", "$FindBin::RealBin/../share/rundiags/perl";
use Rundiags::Shared qw(run_capture find_tool natural_cmp fmt_kib);
use Rundiags::PciNames;

$| = 1;    # rundiags shows each line as it comes

my $option = @ARGV ? $ARGV[0] : '';
if ($option ne '' && $option ne '-a') {
    print STDERR "usage: compat.pl [\"\" | -a]\n";
    exit 2;
}
my $ADVANCED = $option eq '-a';

my $ROOT = defined $ENV{COMPAT_ROOT} ? $ENV{COMPAT_ROOT} : '';
$ROOT =~ s{/+\z}{};
my $FAKE_ROOT = $ROOT ne '';
my $SELF_DIR = dirname(abs_path($0) // $0);

# The recap lines fit the Details list of an 80-column screen.
my $RECAP_WIDTH = 72;
# Below this the burn-in and the boot medium itself do not fit comfortably.
my $MIN_MEMORY_KB = 512 * 1024;
# What a 64-bit x86 boot medium needs from the processor.
my @REQUIRED_X86_FLAGS = qw(fpu tsc cx8 cmov fxsr mmx sse sse2 lm);

my $LOG;
my $LOG_PATH = defined $ENV{COMPAT_LOG} && $ENV{COMPAT_LOG} ne ''
    ? $ENV{COMPAT_LOG}
    : sprintf('/tmp/compat%s.log', $option);

my %count = (SUPPORTED => 0, UNSUPPORTED => 0, 'SUPPORT UNKNOWN' => 0);
# Devices that are not plainly supported, for the recap at the end.
my @attention;

# ---------------------------------------------------------------- output

sub out {
    for my $line (@_) {
        print STDOUT "$line\n";
        print {$LOG} "$line\n" if $LOG;
    }
}

# Raw facts go to the log only, marked so that readers of the log can tell
# them from what was shown.
sub fact {
    return unless $LOG;
    for my $line (@_) {
        for my $part (split /\n/, $line, -1) {
            print {$LOG} "#| $part\n";
        }
    }
}

sub section { print {$LOG} "#== $_[0]\n" if $LOG }

sub detail { out(map { "      $_" } @_) }

# The verdict for the device just shown. Anything but SUPPORTED is also
# remembered with its class, a name and a reason of a few words.
sub status {
    my ($word, $class, $name, $reason) = @_;
    $count{$word}++;
    push @attention, [$word, $class, $name, $reason] if $word ne 'SUPPORTED';
    out("   Status: $word");
}

# A line the program takes as supported hardware without a status line
# ("Memory usable: ...", "ttyS0: ...") counts as supported all the same, so
# that the totals count every device once.
sub supported_line {
    my ($line) = @_;
    $count{SUPPORTED}++;
    out($line);
}

# One line per device that needs a look, so the operator finds them at the
# end of the list. Each begins with a blank, which makes it a line the
# program's result rules ignore: it changes neither the summary nor the
# device the next status line belongs to.
sub recap {
    return unless @attention;
    out('', sprintf('Devices to look at (%d unsupported, %d support unknown)',
                    $count{UNSUPPORTED}, $count{'SUPPORT UNKNOWN'}));
    for my $a (@attention) {
        my ($word, $class, $name, $reason) = @$a;
        my $head = sprintf('  %-15s %-8s ', $word, $class);
        my $room = $RECAP_WIDTH - length($head) - length(": $reason");
        $name = substr($name, 0, $room - 3) . '...' if length $name > $room && $room > 6;
        out("$head$name: $reason");
    }
}

# /tmp is shared with every other user: never follow a planted link, and
# never write into a file somebody else owns.
sub open_log_safely {
    my ($path) = @_;
    for (1 .. 3) {
        if (sysopen(my $fh, $path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0644)) {
            return $fh;
        }
        return (undef, "$!") unless $!{EEXIST};
        my @l = lstat $path;
        # Only root makes device nodes: one there was meant (COMPAT_LOG=/dev/null).
        return (undef, 'it is a device') if -b _ || -c _;
        if (@l && -f _ && $l[4] == $> && $l[3] == 1
            && sysopen(my $fh, $path, O_WRONLY | O_NOFOLLOW)) {
            my @s = stat $fh;
            if (@s && $s[0] == $l[0] && $s[1] == $l[1]) {
                truncate $fh, 0;
                return $fh;
            }
            close $fh;
        }
        unlink $path or return (undef, "cannot replace it: $!");
    }
    return (undef, 'it keeps reappearing');
}

# ---------------------------------------------------------------- reading

sub rpath { $ROOT . $_[0] }

sub slurp {
    my ($path) = @_;
    open(my $fh, '<', rpath($path)) or return undef;
    local $/;
    my $text = <$fh>;
    close $fh;
    return $text;
}

sub line1 {
    my $text = slurp($_[0]);
    return undef unless defined $text;
    $text =~ s/\n.*//s;
    return clean($text);
}

sub clean {
    my ($text) = @_;
    return undef unless defined $text;
    $text =~ s/[\x00-\x1f\x7f]+/ /g;
    $text =~ s/\s+/ /g;
    $text =~ s/^ //;
    $text =~ s/ \z//;
    return $text;
}

sub listdir {
    my ($path) = @_;
    opendir(my $dh, rpath($path)) or return ();
    my @names = grep { $_ ne '.' && $_ ne '..' } readdir $dh;
    closedir $dh;
    return @names;
}

sub link_base {
    my $target = readlink(rpath($_[0]));
    return defined $target ? basename($target) : undef;
}

# ---------------------------------------------------------------- main

sub main {
    my $err;
    ($LOG, $err) = open_log_safely($LOG_PATH);
    if ($LOG) {
        binmode $LOG;
        $LOG->autoflush(1);
    }

    out(sprintf('ORVEX hardware compatibility probe, %s test',
                $ADVANCED ? 'advanced' : 'basic'));
    out("Cannot write the log $LOG_PATH ($err)") unless $LOG;
    section('run');
    fact("option=$option", "root=" . ($FAKE_ROOT ? $ROOT : '/'),
         'time=' . POSIX::strftime('%Y-%m-%dT%H:%M:%SZ', gmtime));
    my $version = line1('/proc/version');
    fact("kernel=$version") if defined $version;

    system_identity();
    out('');
    probe_cpus();
    out('');
    probe_memory();
    out('');
    probe_pci();
    out('');
    probe_disks();
    out('');
    probe_ports();
    recap();
    out('');
    out(sprintf('Finished. %d supported, %d unsupported, %d support unknown.',
                $count{SUPPORTED}, $count{UNSUPPORTED}, $count{'SUPPORT UNKNOWN'}));
    close $LOG if $LOG;
}

sub system_identity {
    section('dmi');
    my %dmi;
    for my $key (qw(sys_vendor product_name product_version product_serial
                    board_vendor board_name bios_vendor bios_version bios_date
                    chassis_serial)) {
        my $value = line1("/sys/class/dmi/id/$key");
        next unless defined $value && $value ne '';
        $dmi{$key} = $value;
        fact("$key=$value");
    }
    my $name = join ' ', grep { defined } @dmi{qw(sys_vendor product_name)};
    return unless $name ne '';
    $name .= ", serial $dmi{product_serial}" if defined $dmi{product_serial};
    out("System $name");
}

# ---------------------------------------------------------------- processors

sub architecture {
    my $arch = line1('/proc/sys/kernel/arch');
    return $arch if defined $arch && $arch ne '';
    return 'unknown' if $FAKE_ROOT;
    return (POSIX::uname())[4];
}

sub cpu_short_model {
    my ($model) = @_;
    my $m = $model;
    $m =~ s/@.*//;
    $m =~ s/\b\d+(?:\.\d+)?\s*[GM]Hz\b//gi;
    $m =~ s/\b\d+-Core\b//gi;
    $m =~ s/\b(?:CPU|Processor|Intel|AMD|GenuineIntel|AuthenticAMD)\b//gi;
    # "E5-2670 0" is Intel's way of saying "first generation"
    my @words = grep { $_ ne '0' } split ' ', $m;
    @words = split ' ', $model unless @words;
    my $short = join '-', grep { defined } @words[0 .. ($#words < 2 ? $#words : 2)];
    $short =~ s/[\s,.;\[\]()]+/-/g;
    $short =~ s/-+/-/g;
    $short =~ s/^-|-\z//g;
    return $short eq '' ? 'unknown' : $short;
}

# Groups the logical processors by package. Without a "physical id" the
# kernel's topology says which package a processor is on; without either,
# all are one package, so that one CPU line always stands for one socket.
sub cpu_packages {
    my ($text) = @_;
    my (@order, %pkg);
    for my $block (split /\n\s*\n/, $text) {
        my %f;
        for (split /\n/, $block) {
            $f{lc clean($1)} = clean($2) if /^([^:]+):\s*(.*)$/;
        }
        next unless defined $f{processor} && $f{processor} =~ /^\d+$/;
        my $socket = $f{'physical id'}
                  // line1("/sys/devices/system/cpu/cpu$f{processor}/topology/physical_package_id");
        my $id = defined $socket && $socket =~ /^\d+$/ ? $socket : 0;
        push @order, $id unless $pkg{$id};
        push @{$pkg{$id}}, \%f;
    }
    return (\@order, \%pkg);
}

sub cpu_model {
    my ($f) = @_;
    my $model = $f->{'model name'} // $f->{'cpu model'} // $f->{cpu}
             // $f->{'vendor_id'} // 'Unknown processor';
    $model =~ s/\((?:R|TM)\)//gi;
    return clean($model);
}

# The verdict, why in full, and why in a few words.
sub cpu_verdict {
    my ($f, $arch) = @_;
    unless (defined $f->{flags} && ($arch =~ /^(?:x86_64|i[3-6]86)$/ || $arch eq 'unknown')) {
        return ('SUPPORT UNKNOWN', "no compatibility rules for the $arch architecture", "no rules for $arch");
    }
    my %has = map { $_ => 1 } split ' ', $f->{flags};
    my @missing = grep { !$has{$_} } @REQUIRED_X86_FLAGS;
    return ('SUPPORTED', "64-bit x86 processor with all required features ($arch kernel)") unless @missing;
    return ('UNSUPPORTED', 'no 64-bit mode (lm): a 32-bit processor cannot run this medium', '32-bit only')
        unless $has{lm};
    return ('UNSUPPORTED', 'missing processor features: ' . join(' ', @missing), 'lacks ' . join(' ', @missing));
}

sub probe_cpus {
    out('Checking processors');
    my $text = slurp('/proc/cpuinfo');
    section('/proc/cpuinfo');
    fact($text) if defined $text;
    unless (defined $text) {
        out('CPU: processor information unavailable (unknown)');
        detail('/proc/cpuinfo could not be read');
        status('SUPPORT UNKNOWN', 'CPU', 'processors', 'cpuinfo unreadable');
        return;
    }
    my $arch = architecture();
    fact("arch=$arch");
    my ($order, $pkg) = cpu_packages($text);
    probe_package($pkg->{$_}, $arch) for @$order;
}

sub probe_package {
    my ($threads, $arch) = @_;
    my $f = $threads->[0];
    my $model = cpu_model($f);
    my $cores = $f->{'cpu cores'};
    my $desc = $model;
    $desc .= ", $cores cores" if defined $cores;
    $desc .= sprintf(', %d thread%s', scalar @$threads, @$threads == 1 ? '' : 's');
    out("CPU: $desc (" . cpu_short_model($model) . ')');

    my @where;
    push @where, "socket $f->{'physical id'}" if defined $f->{'physical id'};
    push @where, "family $f->{'cpu family'} model $f->{model} stepping $f->{stepping}"
        if defined $f->{'cpu family'} && defined $f->{model} && defined $f->{stepping};
    push @where, sprintf('%.0f MHz', $f->{'cpu mhz'})
        if defined $f->{'cpu mhz'} && $f->{'cpu mhz'} =~ /^[\d.]+$/;
    detail(join(', ', @where)) if @where;

    my ($verdict, $why, $short) = cpu_verdict($f, $arch);
    detail($why);
    status($verdict, 'CPU', $model, $short);
}

# ---------------------------------------------------------------- memory

sub probe_memory {
    out('Checking memory');
    my $text = slurp('/proc/meminfo');
    section('/proc/meminfo');
    fact($text) if defined $text;
    my ($total) = defined $text ? $text =~ /^MemTotal:\s*(\d+)\s*kB/m : ();

    my $installed;
    my $block_hex = line1('/sys/devices/system/memory/block_size_bytes');
    if (defined $block_hex && $block_hex =~ /^(?:0x)?([0-9a-fA-F]+)$/) {
        my $blocks = 0;
        for my $b (grep { /^memory\d+$/ } listdir('/sys/devices/system/memory')) {
            my $state = line1("/sys/devices/system/memory/$b/state");
            $blocks++ if !defined $state || $state eq 'online';
        }
        $installed = $blocks * hex($1) / 1024 if $blocks;
        fact("memory blocks online=$blocks block_size=0x$1");
    }

    my $need = 'at least ' . fmt_kib($MIN_MEMORY_KB) . ' needed';
    if (!defined $total) {
        out('MEMORY: size unknown (unknown)');
        detail('MemTotal missing from /proc/meminfo');
        status('SUPPORT UNKNOWN', 'MEMORY', 'memory', 'size unreadable');
    } elsif ($total < $MIN_MEMORY_KB) {
        # Not a "Memory" line: rundiags would count that as usable memory
        # and hide the shortage. As a device line it ends up marked NONE.
        out('MEMORY: ' . fmt_kib($total) . " usable, $need (too-small)");
        detail("MemTotal $total kB");
        status('UNSUPPORTED', 'MEMORY', fmt_kib($total) . ' usable', fmt_kib($MIN_MEMORY_KB) . ' needed');
    } else {
        supported_line('Memory usable: ' . fmt_kib($total));
        detail("MemTotal $total kB"
               . (defined $installed ? ', ' . fmt_kib($installed) . ' in online memory blocks' : '')
               . ", $need");
    }
}

# ---------------------------------------------------------------- PCI

my %known_bad;
my $PCI_NAMES;

sub load_known_bad {
    my @candidates = defined $ENV{COMPAT_KNOWN_BAD}
        ? ($ENV{COMPAT_KNOWN_BAD})
        : ("$SELF_DIR/compat-known-bad.txt", "$SELF_DIR/../share/rundiags/compat-known-bad.txt");
    for my $path (@candidates) {
        open(my $fh, '<', $path) or next;
        fact("known-bad list=$path");
        while (<$fh>) {
            s/#.*//;
            next unless /^\s*([0-9a-fA-F]{4}):([0-9a-fA-F]{4})\s+(.*?)\s*$/;
            $known_bad{lc "$1:$2"} = $3 eq '' ? 'on the known-bad list' : $3;
        }
        close $fh;
        return;
    }
    fact('known-bad list=none found');
}

# The names of the vendors in %want, from the PCI ID database.
sub load_pci_ids {
    my (%want) = @_;
    my $path;
    ($PCI_NAMES, $path) = Rundiags::PciNames->load(\%want, Rundiags::PciNames::candidates($ROOT, $SELF_DIR));
    fact(defined $path ? "pci.ids=$path" : 'pci.ids=none found');
}

sub pci_name { return $PCI_NAMES->name($_[0]) }

sub hexid {
    my $v = line1($_[0]);
    return undef unless defined $v && $v =~ /^(?:0x)?([0-9a-fA-F]+)$/;
    return lc $1;
}

sub pci_category {
    my ($class) = @_;    # 24-bit class code as hex text
    my $base = substr($class, 0, 2);
    my $sub = substr($class, 2, 2);
    return 'VIDEO' if $base eq '03';
    return 'NETWORK' if $base eq '02';
    return undef unless $base eq '01';
    return 'RAID' if $sub eq '04';
    return 'IDE' if $sub eq '01' || $sub eq '05' || $sub eq '06';
    return undef if $sub eq '02';    # floppy controllers are not burned in
    # SCSI, SAS, NVMe and other mass storage: the summary has no better row.
    return 'SCSI';
}

sub read_pci_device {
    my ($addr) = @_;
    my $base = "/sys/bus/pci/devices/$addr";
    my %d = (addr => $addr);
    $d{class} = hexid("$base/class") // return undef;
    $d{class} = sprintf('%06s', $d{class});
    $d{class} =~ tr/ /0/;
    $d{vendor} = hexid("$base/vendor") // return undef;
    $d{device} = hexid("$base/device") // return undef;
    $d{subvendor} = hexid("$base/subsystem_vendor") // '';
    $d{subdevice} = hexid("$base/subsystem_device") // '';
    $d{revision} = hexid("$base/revision");
    $d{modalias} = line1("$base/modalias");
    read_pci_driver(\%d);
    return \%d;
}

sub read_pci_driver {
    my ($d) = @_;
    my $base = "/sys/bus/pci/devices/$d->{addr}";
    $d->{driver} = link_base("$base/driver");
    my @ifaces = sort { natural_cmp($a, $b) } listdir("$base/net");
    # virtio hides the real driver and the interface one level down
    for my $child (sort grep { /^virtio\d+$/ } listdir($base)) {
        my $drv = link_base("$base/$child/driver");
        $d->{driver} = $drv if defined $drv;
        push @ifaces, sort { natural_cmp($a, $b) } listdir("$base/$child/net");
    }
    $d->{ifaces} = \@ifaces;
}

sub describe_pci {
    my ($d, $cat) = @_;
    my $name = pci_name($d);
    if ($cat eq 'VIDEO') {
        # Shown whole in the summary: keep it short.
        return $name;
    }
    $name .= ', ' . join(' ', @{$d->{ifaces}}) if @{$d->{ifaces}};
    return $name . ' (' . ($d->{driver} // 'no driver') . ')';
}

sub pci_facts {
    my ($d) = @_;
    return sprintf('%s class=%s id=%s:%s sub=%s:%s rev=%s driver=%s modalias=%s ifaces=%s',
                   $d->{addr}, $d->{class}, $d->{vendor}, $d->{device},
                   $d->{subvendor}, $d->{subdevice}, $d->{revision} // '-',
                   $d->{driver} // '-', $d->{modalias} // '-',
                   join(',', @{$d->{ifaces}}) || '-');
}

sub probe_pci {
    out('Checking PCI devices');
    section('pci');
    my @devs;
    for my $addr (sort { natural_cmp($a, $b) } listdir('/sys/bus/pci/devices')) {
        my $d = read_pci_device($addr) or next;
        fact(pci_facts($d));
        push @devs, $d;
    }
    unless (@devs) {
        out('No PCI devices found');
        return;
    }
    load_known_bad();
    load_pci_ids(map { ($_->{vendor} => 1) } @devs);

    my @order = (VIDEO => 0, NETWORK => 1, RAID => 2, SCSI => 2, IDE => 2);
    my %rank = @order;
    my @shown = map { [$_, pci_category($_->{class})] } @devs;
    @shown = grep { defined $_->[1] } @shown;
    # stable: grouped by kind, bus order within a kind
    my $i = 0;
    @shown = map { $_->[0] } sort { $a->[1] <=> $b->[1] || $a->[2] <=> $b->[2] }
             map { [$_, $rank{$_->[1]}, $i++] } @shown;

    probe_pci_device(@$_) for @shown;
}

# The verdict, why in full (one or two detail lines), and why in a few
# words. The medium carries no graphics drivers: a VGA-compatible
# controller runs the text console this program shows on without one.
sub pci_verdict {
    my ($d) = @_;
    my $id = "$d->{vendor}:$d->{device}";
    return ('UNSUPPORTED', "known bad: $known_bad{$id}", 'known bad') if exists $known_bad{$id};
    return ('SUPPORTED', "driver $d->{driver} bound") if defined $d->{driver};
    my $none = 'no driver bound';
    if ($ADVANCED) {
        my $loaded = try_driver($d);
        return ('SUPPORTED', "driver $loaded bound after loading it") if defined $loaded;
        $none = 'no driver bound, and none could be loaded';
    }
    return ('SUPPORTED', "$none\nVGA-compatible (PCI class 0300, prog-if 00): the console needs no driver")
        if $d->{class} eq '030000';
    return ('SUPPORT UNKNOWN', $none, $ADVANCED ? 'no driver loads' : 'no driver');
}

sub probe_pci_device {
    my ($d, $cat) = @_;
    my ($verdict, $why, $short) = pci_verdict($d);
    out("$cat: " . describe_pci($d, $cat));
    my $where = "$d->{addr} [$d->{vendor}:$d->{device}]";
    $where .= " subsystem [$d->{subvendor}:$d->{subdevice}]" if $d->{subvendor} ne '';
    $where .= " rev $d->{revision}" if defined $d->{revision};
    detail($where, split /\n/, $why);
    status($verdict, $cat, pci_name($d), $short);
}

sub try_driver {
    my ($d) = @_;
    my $modprobe = find_tool('COMPAT_MODPROBE', 'modprobe');
    unless (defined $modprobe && defined $d->{modalias}) {
        detail('driver loading skipped: ' . (defined $modprobe ? 'no modalias' : 'modprobe not available'));
        return undef;
    }
    out("Trying to load a driver for $d->{addr}");
    my ($rc, $output) = run_capture($modprobe, '-b', '-q', '--', $d->{modalias});
    section("modprobe $d->{modalias}");
    fact("exit=$rc", $output) ;
    select(undef, undef, undef, 0.5) unless $FAKE_ROOT;    # binding is asynchronous
    read_pci_driver($d);
    fact('after: ' . pci_facts($d));
    return $d->{driver};
}

# ---------------------------------------------------------------- disks

sub fmt_bytes_gb {
    my ($bytes) = @_;
    return sprintf('%.1f GB', $bytes / 1e9);
}

sub read_disks {
    my @disks;
    for my $name (sort { natural_cmp($a, $b) } listdir('/sys/block')) {
        next if $name =~ /^(?:loop|ram|zram|dm-|md|sr|fd|nbd|rbd|drbd|bcache|mtdblock)/;
        my $base = "/sys/block/$name";
        next unless -e rpath("$base/device");
        my $sectors = line1("$base/size") // 0;
        my $removable = line1("$base/removable") // 0;
        my $vendor = line1("$base/device/vendor") // '';
        my $model = line1("$base/device/model") // '';
        my $driver = link_base("$base/device/driver") // '';
        fact("$name size=$sectors removable=$removable vendor=$vendor model=$model driver=$driver");
        next unless $sectors =~ /^\d+$/ && $sectors > 0;
        # sysfs counts the size in 512-byte units whatever the disk's own
        # sector size; a 4Kn disk has 4096-byte logical sectors.
        my $lbs = line1("$base/queue/logical_block_size") // '';
        $lbs = 512 unless $lbs =~ /^\d+$/ && $lbs >= 512 && !($lbs & ($lbs - 1));
        fact("$name logical_block_size=$lbs");
        push @disks, { name => $name, bytes => $sectors * 512, sectors => int($sectors * 512 / $lbs),
                       sector_bytes => $lbs,
                       removable => $removable, vendor => $vendor, model => $model,
                       driver => $driver,
                       rotational => line1("$base/queue/rotational") };
    }
    return @disks;
}

sub probe_disks {
    out('Checking disks');
    section('block');
    my @disks = read_disks();
    unless (@disks) {
        out('No disks found');
        return;
    }
    my $smartctl = $ADVANCED ? find_tool('COMPAT_SMARTCTL', 'smartctl') : undef;
    probe_disk($_, $smartctl) for @disks;
}

sub probe_disk {
    my ($disk, $smartctl) = @_;
    my $vendor = $disk->{vendor};
    $vendor = '' if $vendor eq 'ATA' || $vendor =~ /^0x/;
    my $model = clean(join ' ', grep { $_ ne '' } $vendor, $disk->{model});
    if ($model eq '') {
        $model = $disk->{vendor} eq '0x1af4' ? 'Virtio disk' : 'Disk';
    }
    $model =~ tr/()/[]/;    # the size must be the last parentheses
    out("DISK: $model - $disk->{name} (" . fmt_bytes_gb($disk->{bytes}) . ')');
    my @about = ("$disk->{sectors} sectors of $disk->{sector_bytes} bytes"
                 . ($disk->{sector_bytes} == 4096 ? ' (4Kn)' : ''));
    push @about, "driver $disk->{driver}" if $disk->{driver} ne '';
    push @about, $disk->{rotational} ? 'rotational' : 'solid state'
        if defined $disk->{rotational};
    push @about, 'removable' if $disk->{removable};
    detail(join ', ', @about);

    my $verdict = 'SUPPORTED';
    my $why = 'the kernel drives it as a block device';
    if ($ADVANCED) {
        my $health = smart_health($smartctl, $disk->{name});
        if ($health eq 'FAILED') {
            ($verdict, $why) = ('UNSUPPORTED', 'SMART health check FAILED: the disk predicts its own failure');
        } else {
            $why .= "; SMART health $health";
        }
    }
    detail($why);
    status($verdict, 'DISK', "$disk->{name} $model", 'SMART health FAILED');
}

# The attributes (-A) are read with the health so that the record can show
# the counters that matter; only the health decides the verdict.
sub smart_health {
    my ($smartctl, $name) = @_;
    return 'not checked (smartctl not available)' unless defined $smartctl;
    out("Reading SMART health of $name");
    my ($rc, $output) = run_capture($smartctl, '-H', '-A', "/dev/$name");
    section("smartctl -H -A /dev/$name");
    fact("exit=$rc", $output);
    return 'not checked (smartctl did not run)' if $rc < 0 || $rc == 127;
    return 'FAILED' if $output =~ /self-assessment test result:\s*FAILED/i
                    || $output =~ /SMART Health Status:\s*(?!OK)\S/i
                    || ($rc & 8);
    return 'PASSED' if $output =~ /self-assessment test result:\s*PASSED/i
                    || $output =~ /SMART Health Status:\s*OK/i;
    return 'unavailable (the disk does not report it)';
}

# ---------------------------------------------------------------- ports

my %UART = (1 => '8250', 2 => '16450', 3 => '16550', 4 => '16550A', 5 => 'Cirrus',
            6 => '16650', 7 => '16650V2', 8 => '16750', 9 => 'Startech',
            10 => '16C950', 11 => '16654', 12 => '16850', 13 => 'RSA', 14 => 'NS16550A');

sub probe_ports {
    out('Checking serial and parallel ports');
    section('serial');
    my $found = 0;
    for my $tty (sort { natural_cmp($a, $b) } grep { /^ttyS\d+$/ } listdir('/sys/class/tty')) {
        $found += probe_serial($tty);
    }
    out('No serial ports with a UART found') unless $found;

    section('parallel');
    my @parports = sort { natural_cmp($a, $b) } grep { /^parport\d+$/ } listdir('/proc/sys/dev/parport');
    probe_parallel($_) for @parports;
}

# Returns 1 when a UART is behind the port.
sub probe_serial {
    my ($tty) = @_;
    my $base = "/sys/class/tty/$tty";
    my $type = line1("$base/type");
    my $port = line1("$base/port");
    my $iotype = line1("$base/io_type") // 0;
    my $mem = line1("$base/iomem_base");
    my $irq = line1("$base/irq");
    fact(sprintf('%s type=%s port=%s io_type=%s iomem=%s irq=%s', $tty,
                 map { $_ // '-' } $type, $port, $iotype, $mem, $irq));
    # The kernel keeps placeholder ports with no UART behind them.
    return 0 unless defined $type && $type =~ /^\d+$/ && $type != 0;
    my $uart = $UART{$type} // "type $type";
    my $at = $iotype =~ /^\d+$/ && $iotype != 0 && defined $mem
        ? 'memory ' . lc $mem : 'I/O port ' . lc($port // '?');
    my $desc = "$uart UART at $at";
    $desc .= ", IRQ $irq" if defined $irq && $irq =~ /^\d+$/ && $irq > 0;
    if ($ADVANCED) {
        my ($answers, $how) = serial_answers($tty);
        if (defined $answers && !$answers) {
            # A ttyS line always counts as usable; a port that does
            # not answer must not.
            out("SERIAL: $desc does not answer ($tty)");
            detail($how);
            status('UNSUPPORTED', 'SERIAL', $tty, 'does not answer');
            return 1;
        }
        $desc .= ", $how";
    }
    supported_line("$tty: $desc");
    return 1;
}

sub probe_parallel {
    my ($pp) = @_;
    my $base = "/proc/sys/dev/parport/$pp";
    my ($addr) = split ' ', (line1("$base/base-addr") // '');
    my $irq = line1("$base/irq");
    my $modes = line1("$base/modes");
    fact(sprintf('%s base=%s irq=%s modes=%s', $pp, map { $_ // '-' } $addr, $irq, $modes));
    my $desc = 'Parallel port';
    $desc .= sprintf(' at 0x%x', $addr) if defined $addr && $addr =~ /^\d+$/;
    $desc .= ", IRQ $irq" if defined $irq && $irq =~ /^\d+$/;
    $desc .= ", modes $modes" if defined $modes && $modes ne '';
    out("PARALLEL: $desc ($pp)");
    detail('registered by the kernel parallel port driver');
    status('SUPPORTED');
}

sub serial_answers {
    my ($tty) = @_;
    return (undef, 'not opened on a fake root') if $FAKE_ROOT;
    my $path = "/dev/$tty";
    my $fh;
    unless (sysopen($fh, $path, O_RDWR | O_NONBLOCK | O_NOCTTY)) {
        fact("$tty open: $!");
        return (0, "opening $path failed: $!");
    }
    my $bits = pack('i', 0);
    my $TIOCMGET = 0x5415;
    my $ok = ioctl($fh, $TIOCMGET, $bits);
    my $err = "$!";
    close $fh;
    unless ($ok) {
        fact("$tty TIOCMGET: $err");
        return (0, "reading the modem lines failed: $err");
    }
    my $m = unpack('i', $bits);
    my @lines = grep { $m & $_->[0] } [0x020, 'CTS'], [0x040, 'CD'], [0x080, 'RI'], [0x100, 'DSR'];
    fact(sprintf('%s modem lines=0x%x', $tty, $m));
    return (1, 'answers' . (@lines ? ' (' . join(' ', map { $_->[1] } @lines) . ' up)' : ''));
}

main();
exit 0;
