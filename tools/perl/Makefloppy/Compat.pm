package Makefloppy::Compat;
# Reads the probe's log the way rundiags reads the probe's output, keeping
# more: every device with its details and verdict, counted once each (the
# usable memory and the serial ports with a UART count as supported, as the
# program takes them), and the SMART readings of the advanced probe.
use strict;
use warnings;
use Exporter 'import';
use Makefloppy::Disks qw(smart_facts);

our @EXPORT_OK = qw(parse_compat);

sub parse_compat {
    my ($text) = @_;
    my %c = (devices => [], smart => {});
    my ($cur, $smart_disk, %smart_text);
    for my $line (split /\n/, $text) {
        if ($line =~ /^#== (.*)$/) {
            $smart_disk = $1 =~ m{^smartctl .*/dev/(\S+)$} ? $1 : undef;
            next;
        }
        if ($line =~ /^#\| (.*)$/) {
            $smart_text{$smart_disk} .= "$1\n" if defined $smart_disk;
            next;
        }
        next if $line =~ /^#/;
        # The recap repeats devices already counted.
        last if $line =~ /^(?:Devices to look at |Finished\.)/;
        $cur = compat_line(\%c, $cur, $line);
    }
    $c{smart}{$_} = smart_facts($smart_text{$_}) for keys %smart_text;
    finish(\%c);
    return \%c;
}

# One shown line; returns the device whose status line is still to come.
sub compat_line {
    my ($c, $cur, $line) = @_;
    if ($line =~ /^   Status: (.*?)\s*$/) {
        return undef unless $cur;
        $cur->{status} = $1;
        push @{$c->{devices}}, $cur;
        return undef;
    }
    if ($line =~ /^Memory [^:]*:\s*(.*?)\s*$/) {
        push @{$c->{devices}}, { category => 'MEMORY', description => "$1 usable", status => 'SUPPORTED',
                                 details => [] };
        return $cur;
    }
    if ($line =~ /^(ttyS\d+)\s*:\s*(.*?)\s*$/) {
        push @{$c->{devices}}, { category => 'SERIAL', name => $1, description => "$1: $2",
                                 status => 'SUPPORTED', details => [] };
        return $cur;
    }
    return { category => $1, description => $2, details => [] } if $line =~ /^([^\s:]+): (.*?)\s*$/;
    push @{$cur->{details}}, $1 if $cur && $line =~ /^\s+(\S.*?)\s*$/;
    return $cur;
}

sub finish {
    my ($c) = @_;
    my %t = (SUPPORTED => 0, UNSUPPORTED => 0, 'SUPPORT UNKNOWN' => 0);
    for my $d (@{$c->{devices}}) {
        my $word = (grep { index($d->{status}, $_) == 0 } 'SUPPORTED', 'UNSUPPORTED', 'SUPPORT UNKNOWN')[0];
        # Any other word records nothing in the program; here it is unknown.
        $t{$word // 'SUPPORT UNKNOWN'}++;
        if ($d->{category} eq 'DISK' && $d->{description} =~ /- (\S+) \(([^()]*)\)$/) {
            @$d{qw(name size)} = ($1, $2);
        }
    }
    $t{devices} = scalar @{$c->{devices}};
    $c->{totals} = \%t;
}

1;
