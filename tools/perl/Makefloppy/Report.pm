package Makefloppy::Report;
# The consolidated record of the machine: report.json (every value) and
# report.txt (the same for a person), built from the logs and the machine.
use strict;
use warnings;
use Exporter 'import';
use Digest::SHA qw(sha256_hex);
use JSON::PP ();
use POSIX ();
use Makefloppy::Compat qw(parse_compat);
use Makefloppy::Burnin qw(parse_burnin);
use Makefloppy::Machine qw(machine);
use Makefloppy::Disks qw(disk_facts);
use Makefloppy::Logs qw(LOG_NAMES);
use Makefloppy::Text qw(report_text);
use Makefloppy::Run qw(run_name medium_warnings);
use Makefloppy::Health qw(health_section);
use Makefloppy::Tested qw(disks_tested);
use Makefloppy::Outbox qw(unattended);

our @EXPORT_OK = qw(build_report medium_files TOOL_NAME TOOL_VERSION SCHEMA_VERSION);

# The program's own name and version, as its title and status bar show them.
use constant { TOOL_NAME => 'ORVEX Compatibility and Diagnostics', TOOL_VERSION => '3.75c #0' };
# The version of docs/record.schema.json that every record follows: a new
# field raises the minor number, a changed or removed one the major.
use constant SCHEMA_VERSION => '3.2';

# $sticks: the results sticks found, left out of the machine's disks.
sub build_report {
    my ($logs, $sticks) = @_;
    my %r = (format => 'rundiags-results-3', schema_version => SCHEMA_VERSION,
             generated => POSIX::strftime('%Y-%m-%dT%H:%M:%SZ', gmtime),
             tool => { name => TOOL_NAME, version => TOOL_VERSION },
             run => run_name(), collector => undef, unattended => unattended(),
             medium_warnings => [medium_warnings()]);
    # The advanced probe's log wins: it holds all the basic one does and more.
    my ($compat_name) = grep { exists $logs->{$_} } qw(compat-a.log compat.log);
    my $compat = defined $compat_name ? parse_compat($logs->{$compat_name}{data}) : undef;
    $r{machine} = machine($compat ? $compat->{smart} : {}, $sticks // []);
    $r{results_sticks} = [map { stick_facts($_) } @{$sticks // []}];
    if ($compat) {
        delete $compat->{smart};
        $compat->{log} = $compat_name;
        $compat->{test} = $compat_name eq 'compat-a.log' ? 'advanced' : 'basic';
    }
    $r{compatibility} = $compat;
    my $burnin = $logs->{'burnin.log'};
    $r{burnin} = $burnin ? parse_burnin($burnin->{data}, $burnin->{mtime}) : undef;
    $r{health} = health_section($r{burnin});
    $r{disks_tested} = disks_tested($r{burnin}, $r{machine}{disks});
    return \%r;
}

# A results stick: its node, whether it is mounted, and its disk as sysfs
# describes it.
sub stick_facts {
    my ($s) = @_;
    return { node => $s->{node}, mounted => $s->{mounted} ? JSON::PP::true : JSON::PP::false,
             disk => disk_facts($s->{disk}) // { name => $s->{disk} } };
}

# The files for the medium when the logs are stored as the plan says: the
# logs, then report.txt and report.json, which list how each log is stored.
sub medium_files {
    my ($r, $logs, $plan) = @_;
    my @names = grep { exists $logs->{$_} } LOG_NAMES;
    $r->{files} = [map {
        my $s = $plan->{$_};
        { name => $_, bytes => length $logs->{$_}{data}, sha256 => sha256_hex($logs->{$_}{data}),
          stored_as => $s->{file}, stored_bytes => length $s->{data}, stored => $s->{how} }
    } @names];
    return ((map { [$plan->{$_}{file}, $plan->{$_}{data}] } @names),
            ['report.txt', report_text($r)],
            ['report.json', JSON::PP->new->canonical->pretty->encode($r)]);
}

1;
