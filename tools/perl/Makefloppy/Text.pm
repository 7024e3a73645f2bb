package Makefloppy::Text;
# report.txt: the record for a person, one section per part of the machine
# and per test. Every value comes from the same record as report.json.
use strict;
use warnings;
use Exporter 'import';
use Makefloppy::HealthText qw(verdict_line health_text tested_text);

our @EXPORT_OK = qw(report_text);

my $NOT_REPORTED = 'not reported by the firmware';

sub report_text {
    my ($r) = @_;
    my @t = (verdict_line($r), 'RUNDIAGS RESULTS', "$r->{tool}{name}, version $r->{tool}{version}",
             "Generated    $r->{generated}");
    push @t, "Run          $r->{run}" if defined $r->{run};
    push @t, 'Written to   ' . where($r->{written_to}) if $r->{written_to};
    push @t, "Sent to      $r->{collector}{url} (the medium's uploader sends it from $r->{collector}{outbox})"
        if $r->{collector};
    push @t, "Unattended   $r->{unattended}{automation} (at: $r->{unattended}{step})" if $r->{unattended};
    push @t, '';
    push @t, 'WARNINGS FROM THE MEDIUM', (map { "  $_" } @{$r->{medium_warnings}}), '' if @{$r->{medium_warnings} // []};
    push @t, health_text($r->{health}), '';
    push @t, tested_text($r->{disks_tested}), '' if @{$r->{disks_tested}};
    push @t, machine_text($r->{machine}), '', modules_text($r->{machine}{memory}), '',
             disks_text($r->{machine}{disks}), '', ports_text($r->{machine}{network_ports}), '',
             compat_text($r->{compatibility}), '', burnin_text($r->{burnin}), '', files_text($r->{files});
    return join("\n", @t) . "\n";
}

# Where the copy went: a floppy, a results stick (its disk named here, as
# it is none of the machine's), a directory, or nowhere but the outbox.
sub where {
    my ($w) = @_;
    return "no floppy disk or results stick ($w->{reason})" if $w->{medium} eq 'none';
    return "the floppy disk in $w->{device}" if $w->{medium} eq 'floppy';
    return "the directory $w->{path}" if $w->{medium} eq 'directory';
    my $d = $w->{disk} // {};
    my $disk = join(', ', grep { defined } $d->{model}, defined $d->{serial} ? "serial $d->{serial}" : undef, $d->{size});
    return "the results stick $w->{device} (" . ($d->{name} // '?') . ($disk ne '' ? ": $disk" : '') . "), folder $w->{folder}";
}

sub row { my ($k, $v) = @_; return sprintf('  %-12s %s', $k, defined $v && $v ne '' ? $v : $NOT_REPORTED) }
sub words { return join ' ', grep { defined && $_ ne '' } @_ }
sub plural { my ($n, $what) = @_; return "$n $what" . ($n == 1 ? '' : $what =~ /s\z/ ? 'es' : 's') }

sub machine_text {
    my ($m) = @_;
    my ($s, $b, $f, $p, $mem) = @$m{qw(system board firmware processors memory)};
    my $fw = words($f->{vendor}, $f->{version}, defined $f->{date} ? "($f->{date})" : undef);
    my $procs = $p ? sprintf('%s, %s, %s: %s', plural($p->{sockets}, 'socket'), plural($p->{cores}, 'core'),
                             plural($p->{threads}, 'thread'), $p->{model} // 'model unknown') : undef;
    my @memory = ($mem->{usable} ? "$mem->{usable} usable" : ());
    push @memory, sprintf('%s installed in %s', $mem->{installed}, plural(scalar @{$mem->{dimms}}, 'module'))
               . ($mem->{slots} ? " ($mem->{slots} slots)" : '') if $mem->{installed};
    return ("MACHINE (firmware tables read " . ($m->{smbios_from} eq 'dmidecode' ? 'through dmidecode' : 'from sysfs')
                . ')',
            row('Vendor', $s->{vendor}), row('Product', $s->{product}), row('Version', $s->{version}),
            row('Serial', $s->{serial}), row('Asset tag', $s->{asset_tag}),
            row('Chassis', $s->{chassis_serial} ? "serial $s->{chassis_serial}" : undef),
            row('Board', words($b->{vendor}, $b->{product}, $b->{serial} ? "serial $b->{serial}" : undef)),
            row('Firmware', $fw eq '' ? $f->{type} : "$f->{type}: $fw"),
            row('Kernel', $m->{kernel} // 'not known'), row('Processors', $procs // 'not known'),
            row('Memory', @memory ? join('; ', @memory) : 'not known'));
}

sub modules_text {
    my ($mem) = @_;
    return ('MEMORY MODULES', '  none reported by the firmware') unless @{$mem->{dimms}};
    my @t = ('MEMORY MODULES');
    for my $d (@{$mem->{dimms}}) {
        my $speed = $d->{speed_mts} ? "$d->{speed_mts} MT/s" : '';
        $speed .= " (runs at $d->{configured_mts})"
            if $d->{configured_mts} && $d->{speed_mts} && $d->{configured_mts} != $d->{speed_mts};
        push @t, sprintf('  %-16s %s', $d->{slot} // '?',
                         join(', ', words($d->{size}, $d->{type}, $speed), words($d->{manufacturer}, $d->{part_number}),
                              'serial ' . ($d->{serial} // 'not reported')));
    }
    return @t;
}

sub disks_text {
    my ($disks) = @_;
    return ('DISKS', '  none found') unless @$disks;
    my @t = ('DISKS');
    for my $d (@$disks) {
        push @t, sprintf('  %-9s %s, serial %s, firmware %s, %s%s', $d->{name}, $d->{model},
                         $d->{serial} // 'not reported', $d->{firmware} // 'not reported', $d->{size},
                         ($d->{format} // '') eq '4Kn' ? ', 4Kn (4096-byte sectors)' : '');
        push @t, '            SMART ' . smart_text($d->{smart}) if $d->{smart};
    }
    return @t;
}

sub smart_text {
    my ($s) = @_;
    my @c;
    push @c, "$s->{reallocated_sectors} reallocated" if defined $s->{reallocated_sectors};
    push @c, "$s->{pending_sectors} pending sectors" if defined $s->{pending_sectors};
    push @c, "$s->{media_errors} media errors" if defined $s->{media_errors};
    push @c, "$s->{power_on_hours} power-on hours" if defined $s->{power_on_hours};
    return join('; ', 'health ' . ($s->{health} // 'not reported'), @c);
}

sub ports_text {
    my ($nics) = @_;
    return ('NETWORK PORTS', '  none found') unless @$nics;
    return ('NETWORK PORTS', map {
        (sprintf('  %-9s %s  %s, firmware %s; %s', $_->{name}, $_->{mac} // 'MAC not reported',
                 $_->{driver} // 'no driver', $_->{firmware} // 'not reported', $_->{link}),
         defined $_->{pci_address} ? '            ' . join(', ', $_->{model} // (), "PCI $_->{pci_address}") : ())
    } @$nics);
}

sub compat_text {
    my ($c) = @_;
    return ('COMPATIBILITY', '  not run') unless $c;
    my @t = ("COMPATIBILITY ($c->{test} test, $c->{log})");
    push @t, sprintf('  %-15s %-8s %s', $_->{status}, $_->{category}, $_->{description}) for @{$c->{devices}};
    my $n = $c->{totals};
    push @t, sprintf('  Totals: %s: %d supported, %d unsupported, %d support unknown', plural($n->{devices}, 'device'),
                     @$n{'SUPPORTED', 'UNSUPPORTED', 'SUPPORT UNKNOWN'});
    return @t;
}

sub duration {
    my ($s) = @_;
    return sprintf('%d h %02d min', int($s / 3600), int($s % 3600 / 60)) if $s >= 3600;
    return sprintf('%d min %02d s', int($s / 60), $s % 60);
}

sub when { my ($iso) = @_; return $iso =~ s/T/ /r =~ s/Z$/ UTC/r }

sub burnin_text {
    my ($b) = @_;
    return ('BURN-IN', '  not run') unless $b;
    my @t = ('BURN-IN (burnin.log)',
             row('Verdict', defined $b->{verdict} ? "$b->{verdict}  (\"$b->{verdict_line}\")" : 'none: no summary in the log'),
             row('Ended', $b->{ended}));
    push @t, row('Started', when($b->{started})), row('Last line', when($b->{last_line})),
             row('Duration', duration($b->{duration_seconds})) if defined $b->{started};
    push @t, row('Passes', 'stopped before any pass completed') unless $b->{any_pass_completed};
    push @t, disk_part($b->{disk}), net_part($b->{network});
    return @t;
}

sub part_line {
    my ($label, $p) = @_;
    my @what = ($p->{result} // 'no result logged');
    push @what, "$p->{passes_completed} of " . plural($p->{passes_started}, 'pass') . ' completed';
    return sprintf('  %-12s %-5s %s', $label, $p->{row}, join('; ', @what));
}

# A line under a part or a device: a label in the state column, then text.
sub sub_line { return sprintf('    %-10s %-20s %s', @_) }

sub reason_line { my ($p) = @_; return defined $p->{reason} ? sub_line('', 'ended with', $p->{reason}) : () }

sub disk_part {
    my ($d) = @_;
    my $line = part_line('Disks', $d);
    $line .= "; stopped in pass $d->{stopped}{pass} at $d->{stopped}{percent}%" if $d->{stopped};
    my @t = ($line, reason_line($d));
    for my $e (@{$d->{devices}}) {
        my $state = @{$e->{failures}} ? 'FAILED' : plural($e->{passes_verified}, 'pass') . ' verified';
        my $about = @{$e->{failures}} ? $e->{failures}[-1]
                  : join(', ', grep { defined } $e->{model}, defined $e->{serial} ? "serial $e->{serial}" : undef,
                                                $e->{size});
        push @t, sub_line($e->{name}, $state, $about);
        push @t, sub_line('', 'held before', $e->{held}) if defined $e->{held};
    }
    push @t, sub_line($_->{name}, 'left out', ($_->{passes} =~ /\D/ ? 'in passes' : 'in pass') . " $_->{passes}: $_->{reason}")
        for @{$d->{left_out}};
    return @t;
}

sub net_part {
    my ($n) = @_;
    my @t = (part_line('Network', $n), reason_line($n));
    push @t, sub_line('', 'groups', join('; ', map { join ' ', @$_ } @{$n->{groups}})) if $n->{groups};
    for my $p (@{$n->{ports}}) {
        my $pct = defined $p->{percent} ? "$p->{percent}%" . ($p->{bad} ? ' BAD' : '') : 'no result';
        my @about = defined $p->{percent} ? "received $p->{received} of $p->{sent} frames" : ();
        push @about, 'none from ' . join(', ', @{$p->{none_from}}) if $p->{none_from};
        push @about, 'missing ' . join(', ', map { "$_->{frames} from $_->{name}" } @{$p->{missing_from}})
            if $p->{missing_from};
        push @about, "worst $p->{worst}%" if defined $p->{worst} && $p->{worst} != $p->{percent};
        push @about, $p->{messages}[-1] if @{$p->{messages}};
        push @t, sub_line($p->{name}, $pct, join('; ', @about));
    }
    push @t, "    $_" for @{$n->{failed_passes}};
    return @t;
}

sub files_text {
    my ($files) = @_;
    return ('FILES', map {
        sprintf('  %-13s %9d bytes  sha256 %s  %s', $_->{name}, $_->{bytes}, $_->{sha256},
                $_->{stored} eq 'whole' ? 'stored whole'
                                        : "stored as $_->{stored_as} ($_->{stored}, $_->{stored_bytes} bytes)")
    } @$files);
}

1;
