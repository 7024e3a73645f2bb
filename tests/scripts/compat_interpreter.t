#!/usr/bin/perl
# Pins the test-side copy of rundiags' result-line interpreter to the
# program's documented behaviour, so the round-trip tests mean something.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use CompatLines qw(new_state interpret close_fields summary shortname disk_name);

sub run_lines {
    my $st = new_state();
    interpret($st, $_) for @_;
    return $st;
}

my $st = run_lines('NETWORK: Intel 82574L Gigabit Network Connection (e1000e)', '   Status: SUPPORTED');
is($st->{Network}, 'e1000e', 'network short name is the word in the last parentheses');
interpret($st, 'NETWORK: Intel I350 (igb)');
interpret($st, '   Status: SUPPORTED');
is($st->{Network}, "e1000e\x08,\x08 igb", 'second entry follows the separator');

for my $word ('UNSUPPORTED', 'SUPPORT UNKNOWN') {
    $st = run_lines('NETWORK: Something (xyz)', "   Status: $word");
    close_fields($st);
    is($st->{Network}, "\x07NONE\x07", "$word adds nothing and the field closes as NONE");
}

$st = run_lines('SCSI: LSI Logic thing (mptsas)', '   Status: SUPPORTED');
is($st->{SCSI}, 'mptsas SCSI', 'storage entry is short name, blank, class');

is(disk_name('WDC WD5000AAKX - sda (500.1 GB)'), 'sda', 'disk name after the hyphen');
is(disk_name('Virtual disk sdb'), 'Virtual', 'disk without hyphen gives its first word');
is(disk_name('WDC WD5000AAKX-00ERMA0 (500.1 GB)'), 'WDC', 'a hyphen without a blank after it does not count');

$st = run_lines('VIDEO: Matrox G200eR2 (mgag200)', '   Status: SUPPORTED');
is($st->{Video}, 'Matrox G200eR2 (mgag200)', 'video stays whole');

$st = run_lines('CPU: Slow one (P4)', '   Status: UNSUPPORTED', 'CPU: Fast one (Xeon)', '   Status: SUPPORTED');
like(summary($st), qr/CPU: Xeon x 2 /, 'CPU count counts every CPU status line');

$st = run_lines('NETWORK: x (e1000e)', '   Status:SUPPORTED');
is($st->{Network}, '', 'status without blank after the colon is not a status line');

$st = run_lines('Video: thing (x)', '   Status: SUPPORTED');
close_fields($st);
is($st->{Video}, "\x07NONE\x07", 'categories compare with case');

is(shortname('Intel(R) Xeon(R) CPU E5-2620'), 'R', 'the trap a CPU description must avoid');
is(shortname('Foo [Bar Baz] qux'), 'Bar', 'bracket without parentheses');
is(shortname('A (b [c d] e)'), 'c', 'bracket inside the last parentheses');
is(shortname('A (b.c)'), 'b', 'cut at a dot');
is(shortname('A (unclosed'), 'unclosed', 'parenthesis without its closing one');

$st = run_lines('Memory usable: 62.8 GiB', 'ttyS1: 16550A UART');
is($st->{Memory}, '62.8 GiB', 'memory line keeps the amount whole');
is($st->{Serial}, 'ttyS1', 'serial line gives the port name');
is($st->{category}, '', 'memory and serial lines leave the current device alone');

$st = run_lines('Memory without colon', 'ttyS0 without colon');
is($st->{Memory} . $st->{Serial}, '', 'memory or ttyS lines without a colon are only shown');

is(interpret(new_state(), 'Log file: x'), 'other', 'a colon after a blank is no device line');
is(interpret(new_state(), 'Note: x'), 'device', 'but one word and a colon is');

$st = new_state();
close_fields($st);
is(summary($st), "      CPU: ??                            Memory: NONE usable\n   Serial: \n Parallel: \n"
   . "    Video: NONE\n  Network: NONE\n SCSI/IDE: NONE\n    Disks: NONE", 'empty run summary');

done_testing();
