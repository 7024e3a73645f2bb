#!/usr/bin/perl
# compat.pl's recap of the devices to look at, and its totals, checked
# against the program's own interpreter of the probe's lines
# (compat_replay, built from the program's sources): the recap must change
# nothing the program makes of the output.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use CompatLines qw(new_state interpret close_fields);
use ScriptTest qw($REPO run_cmd spew scratch replay_program replay);

unless (replay_program()) {
    print "1..0 # SKIP compat_replay is not built\n";
    exit 77;
}
my $COMPAT = "$REPO/tools/compat.pl";
my $tmp = scratch();
spew("$tmp/smartctl", <<'SH', 0755);
#!/bin/sh
case "$3" in
  /dev/sdb) echo "SMART overall-health self-assessment test result: FAILED!"; exit 8 ;;
  *) echo "SMART overall-health self-assessment test result: PASSED" ;;
esac
SH

sub probe {
    my ($machine, $option) = @_;
    my ($out) = run_cmd({ COMPAT_ROOT => "$REPO/tools/fixtures/$machine", COMPAT_LOG => "$tmp/log",
                          COMPAT_SMARTCTL => "$tmp/smartctl" }, 'perl', $COMPAT, $option);
    return $out;
}

# The recap as (status, class) pairs, and the lines before and after it.
sub split_recap {
    my ($out) = @_;
    my ($before, $recap, $after) = $out =~ /\A(.*?\n)(Devices to look at [^\n]*\n(?:  [^\n]*\n)*)(\nFinished\..*)\z/s;
    return ($out, '', '') unless defined $recap;
    return ($before, $recap, $after);
}

my @runs = (['dell-r730', ''], ['supermicro-x9', ''], ['supermicro-x9', '-a'], ['old-tower', ''], ['qemu-kvm', '']);
for my $run (@runs) {
    my ($machine, $option) = @$run;
    my $name = "$machine" . ($option ? " $option" : '');
    my $out = probe($machine, $option);
    my ($before, $recap, $after) = split_recap($out);

    # One recap line per device that is not SUPPORTED, in the order shown.
    my (@expect, $category);
    for my $line (split /\n/, $before) {
        $category = $1 if $line =~ /^([A-Z]+): /;
        push @expect, [$1, $category] if $line =~ /^   Status: (UNSUPPORTED|SUPPORT UNKNOWN)$/;
    }
    my @got = map { [/^  (UNSUPPORTED|SUPPORT UNKNOWN)\s+(\S+) /] } grep { /^  / } split /\n/, $recap;
    is_deeply(\@got, \@expect, "$name: one recap line per device to look at, class and verdict");
    is(scalar(grep { length > 72 } split /\n/, $recap), 0, "$name: recap lines fit the Details list");
    is($recap eq '', !@expect, "$name: a recap exactly when some device needs a look");

    # The program reads the output the same with and without the recap.
    my $with = replay($out);
    is_deeply($with, replay($before . $after), "$name: the recap changes nothing the program reads");
    is_deeply($with, replay($before), "$name: the last device stays current through the recap");

    # The test-side copy of the interpreter agrees with the program.
    my $st = new_state();
    interpret($st, $_) for split /\n/, $out;
    close_fields($st);
    my %copy = (cpu => $st->{CPU}, memory => $st->{Memory}, video => $st->{Video}, scsi => $st->{SCSI},
                disks => $st->{Disks}, network => $st->{Network}, serial => $st->{Serial},
                parallel => $st->{Parallel}, cpucount => $st->{cpucount});
    s/\x07/<A>/g, s/\x08/<L>/g for values %copy;
    my %prog = map { $_ => $with->{$_} } keys %copy;
    is_deeply(\%copy, \%prog, "$name: CompatLines.pm reads it as the program does");

    # The totals count every device once: each status line, the usable
    # memory line and each serial port line.
    my %n = (supported => 0, unsupported => 0, 'support unknown' => 0);
    $n{lc $_}++ for $before =~ /^   Status: (.*)$/mg;
    $n{supported} += () = $before =~ /^(?:Memory usable|ttyS\d+): /mg;
    my $finished = sprintf('Finished. %d supported, %d unsupported, %d support unknown.',
                           @n{'supported', 'unsupported', 'support unknown'});
    like($out, qr/^\Q$finished\E\n\z/m, "$name: $finished");
}

# The check above would see a recap line the program takes for a device.
my $out = probe('supermicro-x9', '');
my ($before, undef, $after) = split_recap($out);
isnt(replay($before . "RAID: looks like a device (x)\n" . $after)->{category}, replay($before)->{category},
     'a device-like line in the recap would be caught');

done_testing();
