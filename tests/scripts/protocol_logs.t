#!/usr/bin/perl
# makefloppy's readers over the helpers' lines in tests/protocol/logs: what
# each log's table (<name>.expect, its "record" rows) says the record holds
# is what Makefloppy::Burnin and Makefloppy::Compat make of the log. The
# program is held to the same logs by tests/diags/protocol_logs_test.cpp;
# here compat.pl's recap is read through the program's own rules
# (compat_replay): it must change nothing the program reads.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib", "$FindBin::Bin/../../tools/perl";
use Test::More;
use JSON::PP ();
use ScriptTest qw($REPO slurp replay_program replay);
use RecordTest qw(program_log program_end);
use Makefloppy::Burnin qw(parse_burnin);
use Makefloppy::Compat qw(parse_compat);

my $LOGS = "$REPO/tests/protocol/logs";
my $JSON = JSON::PP->new->allow_nonref;

sub expectations {
    my ($name) = @_;
    my ($exit, @record) = (0);
    for (split /\n/, slurp("$LOGS/$name.expect")) {
        $exit = $1 if /^exit (\d+)$/;
        push @record, [$1, $JSON->decode($2)] if /^record (\S+) (.*)$/;
    }
    return ($exit, @record);
}

# "disk.devices.0.held": hash keys and array indexes.
sub at {
    my ($data, $path) = @_;
    $data = ref $data eq 'ARRAY' ? $data->[$_] : $data->{$_} for split /\./, $path;
    return $data;
}

# A burn-in helper's log as the program logs it, ended as the program ends
# the test after that helper's exit.
sub record_of {
    my ($name, $text, $exit) = @_;
    return parse_compat($text) if $name =~ /^compat-/;
    my $who = $name =~ /^netburn-/ ? 'net' : 'disk';
    my %result = (net => 'PASSED', disk => 'PASSED');
    $result{$who} = "FAILED (code $exit)" if $exit;
    return parse_burnin(program_log([$who, $text], program_end(@result{'disk', 'net'}, 0)));
}

# The recap and the lines before and after it.
sub split_recap {
    my ($out) = @_;
    my ($before, $recap, $after) = $out =~ /\A(.*?\n)(Devices to look at [^\n]*\n(?:  [^\n]*\n)*)(\nFinished\..*)\z/s;
    return defined $recap ? ($before, $recap, $after) : ($out, '', '');
}

# One recap line per device that is not SUPPORTED, in the order shown, and
# the totals as makefloppy counts the devices.
sub check_recap {
    my ($name, $out, $record) = @_;
    my ($before, $recap, $after) = split_recap($out);
    my (@expect, $category);
    for my $line (split /\n/, $before) {
        $category = $1 if $line =~ /^([A-Z]+): /;
        push @expect, [$1, $category] if $line =~ /^   Status: (UNSUPPORTED|SUPPORT UNKNOWN)$/;
    }
    my @got = map { [/^  (UNSUPPORTED|SUPPORT UNKNOWN)\s+(\S+) /] } grep { /^  / } split /\n/, $recap;
    is_deeply(\@got, \@expect, "$name: one recap line per device to look at, class and verdict");
    is(scalar(grep { length > 72 } split /\n/, $recap), 0, "$name: recap lines fit the Details list");
    is($recap eq '', !@expect, "$name: a recap exactly when some device needs a look");
    my $finished = sprintf('Finished. %d supported, %d unsupported, %d support unknown.',
                           @{$record->{totals}}{'SUPPORTED', 'UNSUPPORTED', 'SUPPORT UNKNOWN'});
    like($out, qr/^\Q$finished\E\n\z/m, "$name: the probe's totals are the record's");
    SKIP: {
        skip 'compat_replay is not built', 2 unless replay_program();
        my $with = replay($out);
        is_deeply($with, replay($before . $after), "$name: the recap changes nothing the program reads");
        is_deeply($with, replay($before), "$name: the last device stays current through the recap");
    }
}

my @logs = map { m{([^/]+)\.log$} } sort glob("$LOGS/*.log");
for my $name (@logs) {
    my $text = slurp("$LOGS/$name.log");
    my ($exit, @record) = expectations($name);
    my $r = record_of($name, $text, $exit);
    ok(@record, "$name: the record's side is in its table");
    is_deeply(at($r, $_->[0]), $_->[1], "$name: $_->[0]") for @record;
    check_recap($name, $text, $r) if $name =~ /^compat-/;
}
ok(@logs >= 14, 'every log is read');

# The replay would see a recap line the program takes for a device.
SKIP: {
    skip 'compat_replay is not built', 1 unless replay_program();
    my ($before, undef, $after) = split_recap(slurp("$LOGS/compat-supermicro-x9.log"));
    isnt(replay($before . "RAID: looks like a device (x)\n" . $after)->{category}, replay($before)->{category},
         'a device-like line in the recap would be caught');
}

done_testing();
