#!/usr/bin/perl
# A 72-hour burn-in still fits on the floppy: the burn-in log goes whole
# when it fits, gzip-compressed when only that fits, and shortened (its
# head, its tail and every line that is not a progress line, with a line
# saying how many were left out) only when even that does not fit.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use JSON::PP;
use IO::Uncompress::Gunzip qw(gunzip);
use ScriptTest qw($REPO run_cmd slurp spew scratch need_mtools);
use LongLog qw(long_log);

need_mtools();
my $tmp = scratch();
my $fixture = "$REPO/tools/fixtures/supermicro-x9";
my $end = 1714550400 + 72 * 3600;

# Writes the log, runs makefloppy onto an image; returns the record, the
# names on the medium and a reader for the files on it.
sub onto_floppy {
    my ($name, $log) = @_;
    my $dir = "$tmp/$name";
    mkdir $dir;
    run_cmd({ COMPAT_ROOT => $fixture, COMPAT_LOG => "$dir/compat.log" }, 'perl', "$REPO/tools/compat.pl", '');
    spew("$dir/burnin.log", $log);
    utime($end, $end, "$dir/burnin.log");
    my $img = "$dir/floppy.img";
    spew($img, '');
    my ($out, $rc) = run_cmd({ RESULTS_LOG_DIR => $dir, COMPAT_ROOT => $fixture, FLOPPY_DEVICE => $img },
                             'perl', "$REPO/tools/makefloppy");
    is($rc, 0, "$name: on the floppy") or diag($out);
    my $get = sub {
        unlink "$dir/got";
        my (undef, $bad) = run_cmd({}, 'mcopy', '-n', '-i', $img, "::/$_[0]", "$dir/got");
        return $bad ? undef : slurp("$dir/got");
    };
    my ($list) = run_cmd({}, 'mdir', '-b', '-i', $img, '::');
    my @names = sort map { m{([^/]+)$} } split /\n/, $list;
    return (decode_json($get->('report.json')), \@names, $get);
}

# ---- today's diskburn: a progress line every second, 72 hours
my $log = long_log(hours => 72, per_second => 1);
ok(length $log > 14e6, sprintf('a 72-hour log of once-a-second progress lines: %.1f MB', length($log) / 1e6));
my ($r, $names, $get) = onto_floppy('per-second', $log);
is_deeply($names, [qw(burnin.log.gz compat.log report.json report.txt)], 'per-second: the burn-in log goes compressed');
gunzip(\($get->('burnin.log.gz')) => \my $back);
is($back, $log, 'per-second: and decompresses to the whole log');
my ($f) = grep { $_->{name} eq 'burnin.log' } @{$r->{files}};
is_deeply([@$f{qw(stored stored_as bytes)}], ['gzip', 'burnin.log.gz', length $log], 'per-second: the record says so');
like($get->('report.txt'), qr/^  burnin\.log\s+\d+ bytes  sha256 \S+  stored as burnin\.log\.gz \(gzip, \d+ bytes\)$/m,
     'per-second: report.txt says so');
is($r->{burnin}{duration_seconds}, 72 * 3600, 'per-second: 72 hours in the record');
is($r->{burnin}{disk}{passes_completed}, 72, 'per-second: 72 disk passes');
is($r->{burnin}{network}{passes_completed}, 72 * 6, 'per-second: a network pass every ten minutes');

# ---- progress lines that compress badly: only shortening fits
$log = long_log(hours => 72, per_second => 1, noise => 1);
($r, $names, $get) = onto_floppy('noisy', $log);
is_deeply($names, [qw(burnin.log compat.log report.json report.txt)], 'noisy: the burn-in log goes shortened');
my @orig = split /\n/, $log;
my @short = split /\n/, $get->('burnin.log');
my @progress = grep { /^   Disk: Pass \d+% done/ } @orig[1000 .. $#orig - 1000];
my $note = "[makefloppy: ${\ scalar @progress} progress lines left out from here to the last 1000 lines;"
         . ' the whole log did not fit on the floppy]';
is_deeply([@short[0 .. 999]], [@orig[0 .. 999]], 'noisy: its head, whole');
is($short[1000], $note, 'noisy: then a line saying how many progress lines were left out');
is_deeply([@short[-1000 .. -1]], [@orig[-1000 .. -1]], 'noisy: its tail, whole');
is_deeply([@short[1001 .. $#short - 1000]], [grep { !/^   Disk: Pass \d+% done/ } @orig[1000 .. $#orig - 1000]],
          'noisy: every other line in between, in order');
($f) = grep { $_->{name} eq 'burnin.log' } @{$r->{files}};
is($f->{stored}, "shortened: ${\ scalar @progress} progress lines left out", 'noisy: the record says so');
is($r->{burnin}{progress_lines}, scalar(grep { /^   Disk: Pass \d+% done/ } @orig), 'noisy: read from the whole log');

# ---- the new diskburn: progress at each tenth of a pass
$log = long_log(hours => 72);
($r, $names, $get) = onto_floppy('tenths', $log);
is_deeply($names, [qw(burnin.log compat.log report.json report.txt)], 'tenths: the burn-in log goes whole');
is($get->('burnin.log'), $log, 'tenths: unchanged');

done_testing();
