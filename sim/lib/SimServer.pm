package SimServer;
# The simulated server the sim/ helpers all describe: one of the fake
# servers in tools/fixtures (SIM_MACHINE, default supermicro-x9), read by
# the same code that writes the record, so that the probe, the burn-in and
# the record of a demo tell of one machine.
use strict;
use warnings;
use Exporter 'import';
use File::Basename qw(dirname);
use Cwd qw(abs_path);
use POSIX ();
our @EXPORT_OK = qw(machine_root pass_number utc_now sim_disks sim_ports fmt_bytes);

my $REPO;
BEGIN { $REPO = dirname(dirname(dirname(abs_path(__FILE__)))) }

sub machine_root {
    my $machine = $ENV{SIM_MACHINE} || 'supermicro-x9';
    my $root = "$REPO/tools/fixtures/$machine";
    die "no fake server '$machine' in $REPO/tools/fixtures\n" unless -d $root;
    return $root;
}

# Reading the fake server's sysfs with makefloppy's own code.
BEGIN { $ENV{COMPAT_ROOT} = machine_root() }
use lib "$REPO/tools/perl";
use Makefloppy::Disks qw(list_disks);
use Makefloppy::Nics qw(list_nics);
use Makefloppy::Util qw(fmt_bytes);

# The program's RUNDIAGS_PASS: unset, empty or not a positive number is 1.
sub pass_number {
    my $p = $ENV{RUNDIAGS_PASS} // '';
    return $p =~ /^0*[1-9]\d{0,8}$/ ? $p + 0 : 1;
}

sub utc_now { return POSIX::strftime('%Y-%m-%d %H:%M:%S', gmtime) }

# The disks, as diskburn would test them; SIM_DISKS names others instead.
sub sim_disks {
    if ($ENV{SIM_DISKS}) {
        my $i = 0;
        return map { { name => $_, model => 'Simulated disk', serial => sprintf('SIM%04d', $i++),
                       bytes => 500107862016, size => '500.1 GB' } } split ' ', $ENV{SIM_DISKS};
    }
    return map { { %$_, model => $_->{model} // 'Disk', serial => $_->{serial} // 'unknown' } } list_disks();
}

# The network ports with their link; SIM_NET_PORTS names others instead.
sub sim_ports {
    return map { { name => $_, link => '1000 Mb/s, full duplex' } } split ' ', $ENV{SIM_NET_PORTS}
        if $ENV{SIM_NET_PORTS};
    return map { { name => $_->{name}, link => $_->{link} } } list_nics();
}

1;
