package Rundiags::Health::Sensors;
# Temperatures and fan speeds, sampled once a minute from boot to the copy:
# the kernel's hwmon sensors and the BMC's where one answers. Only the
# extremes are kept (peaks.json in the state directory): the highest
# temperature and the lowest fan speed each sensor showed, with its limits.
use strict;
use warnings;
use Exporter 'import';
use Rundiags::Health::IO qw(read_value list_names read_json write_json iso_time);
use Rundiags::Health::Ipmi qw(bmc_sensors);

our @EXPORT_OK = qw(hwmon_sensors take_sample merge_sample PEAKS);

use constant PEAKS => 'peaks.json';

my $HWMON = '/sys/class/hwmon';

sub number { my $v = read_value($_[0]); return defined $v && $v =~ /^-?\d+$/ ? $v + 0 : undef }
sub milli { my $v = number($_[0]); return defined $v ? $v / 1000 : undef }

sub hwmon_sensors {
    my @s;
    for my $h (list_names($HWMON, qr/^hwmon\d+$/)) {
        my $dir = "$HWMON/$h";
        my $chip = read_value("$dir/name") // $h;
        for my $t (map { /^(temp\d+)_input$/ ? $1 : () } list_names($dir, qr/^temp\d+_input$/)) {
            my $v = milli("$dir/${t}_input") // next;
            push @s, { key => "$h/$t", part => "$chip " . (read_value("$dir/${t}_label") // $t), source => 'hwmon',
                       kind => 'temperature', value => $v, warning => milli("$dir/${t}_max"),
                       critical => milli("$dir/${t}_crit") };
        }
        for my $f (map { /^(fan\d+)_input$/ ? $1 : () } list_names($dir, qr/^fan\d+_input$/)) {
            my $v = number("$dir/${f}_input") // next;
            push @s, { key => "$h/$f", part => "$chip " . (read_value("$dir/${f}_label") // $f), source => 'hwmon',
                       kind => 'fan', value => $v, minimum => number("$dir/${f}_min") };
        }
    }
    return @s;
}

# One reading of every sensor; the BMC's note when it did not answer.
sub take_sample {
    my ($bmc, $why) = bmc_sensors();
    return { at => time, sensors => [hwmon_sensors(), @{$bmc // []}], bmc_note => $why };
}

# The extremes so far with one more sample: a temperature's highest, a fan's
# lowest, each with when it was seen and the sensor's latest limits.
sub merge_sample {
    my ($peaks, $sample) = @_;
    $peaks //= { samples => 0, sensors => {} };
    $peaks->{samples}++;
    $peaks->{first} //= iso_time($sample->{at});
    $peaks->{last} = iso_time($sample->{at});
    $peaks->{bmc_note} = $sample->{bmc_note};
    for my $s (@{$sample->{sensors}}) {
        my $p = $peaks->{sensors}{$s->{key}};
        my $worse = !$p || ($s->{kind} eq 'fan' ? $s->{value} < $p->{value} : $s->{value} > $p->{value});
        my %keep = $worse ? (%$s, at => iso_time($sample->{at})) : %$p;
        @keep{qw(warning critical minimum)} = @$s{qw(warning critical minimum)};
        $peaks->{sensors}{$s->{key}} = \%keep;
    }
    return $peaks;
}

1;
