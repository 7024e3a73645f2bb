package Makefloppy::HealthText;
# report.txt's first line (the health verdict beside the burn-in's, for a
# technician sorting records), its HEALTH section (every finding with its
# part, then what each source said, or that it said nothing) and the sheet
# of every disk the burn-in wrote.
use strict;
use warnings;
use Exporter 'import';
use Makefloppy::Util qw(fmt_bytes);
use Makefloppy::Health qw(times_words);

our @EXPORT_OK = qw(verdict_line health_text tested_text);

sub verdict_line {
    my ($r) = @_;
    my $b = $r->{burnin};
    my $burnin = !$b ? 'not run' : $b->{verdict} // 'no verdict (the log ends before the summary)';
    my $h = $r->{health};
    my @none = map { $_->[1] } grep { !$h->{$_->[0]}{reported} }
               ['memory', 'memory errors'], ['bmc', 'BMC log'], ['machine_checks', 'machine checks'], ['sensors', 'sensors'];
    return "Health: $h->{verdict}; burn-in: $burnin" . (@none ? '; not reported: ' . join(', ', @none) : '');
}

sub health_text {
    my ($h) = @_;
    my @t = ("HEALTH: $h->{verdict} (more than $h->{corrected_limit} corrected errors on one DIMM or processor bank are to be looked at)");
    push @t, sprintf('  %-10s %-13s %s: %s', @$_{qw(severity source part what)}) for @{$h->{items}};
    push @t, '  no findings' unless @{$h->{items}};
    push @t, source_line('Baseline', defined $h->{baseline_taken} ? "taken at boot, $h->{baseline_taken}"
                                                                   : 'none taken at boot');
    push @t, source_line('Memory', memory_words($h->{memory})), source_line('BMC log', bmc_words($h->{bmc})),
             source_line('Machine checks', mce_words($h->{machine_checks})), source_line('Sensors', sensor_words($h->{sensors}));
    return @t;
}

sub plural { my ($n, $w) = @_; return "$n " . ($n == 1 ? $w : $w =~ s/y\z/ies/r =~ s/(?<=ss)\z/es/r =~ s/(?<![sy])\z/s/r) }

sub source_line { return sprintf('  %-15s %s', @_) }

sub memory_words {
    my ($m) = @_;
    return $m->{note} unless $m->{reported};
    my ($ce, $ue, $n) = (0, 0, 0);
    for my $c (@{$m->{controllers}}) { $ce += $c->{corrected}; $ue += $c->{uncorrected}; $n += @{$c->{dimms}} }
    return sprintf('%s, %s: %d corrected, %d uncorrected errors this boot',
                   plural(scalar @{$m->{controllers}}, 'controller'), plural($n, 'DIMM'), $ce, $ue);
}

sub bmc_words {
    my ($b) = @_;
    return $b->{note} unless $b->{reported};
    my $w = plural(scalar @{$b->{new_entries}}, 'entry') . " added during the run, $b->{entries} in the log";
    return defined $b->{note} ? "$w; $b->{note}" : $w;
}

sub mce_words {
    my ($m) = @_;
    return $m->{note} unless $m->{reported};
    my ($ce, $ue) = (0, 0);
    for (@{$m->{events}}) { $ce += $_->{corrected}; $ue += $_->{uncorrected} }
    my @w = $ce + $ue ? ("$ce corrected, $ue uncorrected") : ('none logged in detail');
    push @w, '"Machine check events logged" ' . times_words($m->{events_logged}) if $m->{events_logged};
    push @w, 'the processor throttled for heat' if @{$m->{hot}};
    return join('; ', @w);
}

sub sensor_words {
    my ($s) = @_;
    return $s->{note} unless $s->{reported};
    my ($hot) = sort { $b->{value} <=> $a->{value} } grep { $_->{kind} eq 'temperature' } @{$s->{readings}};
    my $w = sprintf('%s, %s from %s to %s', plural(scalar @{$s->{readings}}, 'sensor'), plural($s->{samples}, 'sample'),
                    $s->{first}, $s->{last});
    $w .= "; hottest $hot->{part} $hot->{value} degrees C" if $hot;
    return $w;
}

sub tested_text {
    my ($disks) = @_;
    return () unless @$disks;
    my @t = ('DISKS TESTED');
    for my $d (@$disks) {
        my $cap = defined $d->{capacity_bytes} ? "$d->{capacity_bytes} bytes" : 'capacity not logged';
        push @t, sprintf('  %-9s %s, serial %s, firmware %s, %s (%s)', $d->{name}, $d->{model} // 'model not reported',
                         $d->{serial} // 'not reported', $d->{firmware} // 'not reported', $d->{size} // '?', $cap);
        my $done = defined $d->{bytes_written_and_verified} ? fmt_bytes($d->{bytes_written_and_verified}) : 'an unknown amount';
        push @t, sprintf('            %s completed, %s written and verified; %s', plural($d->{passes_completed}, 'pass'), $done,
                         @{$d->{errors}} ? 'errors: ' . join(' ', @{$d->{errors}}) : 'no errors');
        for my $when (qw(start end)) {
            my $s = $d->{"smart_$when"};
            push @t, "            SMART at the $when (pass $s->{pass}): $s->{text}" if $s;
        }
        push @t, '            SMART not read by the burn-in' unless $d->{smart_start} || $d->{smart_end};
    }
    return @t;
}

1;
