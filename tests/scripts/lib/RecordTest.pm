package RecordTest;
# Runs the probe and makefloppy on a fake server the way an operator's
# session would, and hands back the record.
use strict;
use warnings;
use Exporter 'import';
use JSON::PP ();
use ScriptTest qw($REPO run_cmd slurp spew scratch);
our @EXPORT_OK = qw(make_record program_log program_end helper_run records_valid keep_record);

# Every record a test made, for records_valid.
my @RECORDS;
sub keep_record { push @RECORDS, @_ }

# Checks every record the test made against docs/record.schema.json with
# Debian's python3-jsonschema (one test line; each fault named).
sub records_valid {
    my $py = '/usr/bin/python3';
    my ($out, $rc) = run_cmd({ PYTHONPATH => undef }, $py, "$REPO/tests/scripts/validate_record.py",
                             "$REPO/docs/record.schema.json", @RECORDS);
    Test::More::is($out, '', scalar(@RECORDS) . ' records follow the published schema');
    Test::More::is($rc, 0, 'the validator ran and found no fault');
}

# Options: option ('' or '-a'), burnin (log text), env (more environment),
# mtime (of burnin.log), root (a fake root instead of the named fixture).
# Returns (report.json as data, report.txt, dir).
sub make_record {
    my ($machine, %o) = @_;
    my $dir = scratch();
    my $root = $o{root} // "$REPO/tools/fixtures/$machine";
    my $opt = $o{option} // '';
    my $log = $opt eq '-a' ? 'compat-a.log' : 'compat.log';
    my %env = (COMPAT_ROOT => $root, %{$o{env} // {}});
    my (undef, $rc) = run_cmd({ %env, COMPAT_LOG => "$dir/$log" }, 'perl', "$REPO/tools/compat.pl", $opt);
    die "compat.pl failed" if $rc;
    if (defined $o{burnin}) {
        spew("$dir/burnin.log", $o{burnin});
        utime($o{mtime}, $o{mtime}, "$dir/burnin.log") if defined $o{mtime};
    }
    my ($out);
    ($out, $rc) = run_cmd({ %env, RESULTS_LOG_DIR => $dir }, 'perl', "$REPO/tools/makefloppy",
                          '--directory', "$dir/out");
    die "makefloppy failed ($rc): $out" if $rc;
    keep_record("$dir/out/report.json");
    return (JSON::PP::decode_json(slurp("$dir/out/report.json")), slurp("$dir/out/report.txt"), $dir);
}

# The log the program writes from the helpers' output: "Network: " before
# each netburn message line (status lines "@..." are not logged), "   Disk: "
# before each diskburn line.
sub program_log {
    my (@parts) = @_;
    my $log = "Running network and disk burn-in tests.\n\n";
    for my $p (@parts) {
        my ($who, $text) = @$p;
        my @lines = split /\n/, $text, -1;
        pop @lines if @lines && $lines[-1] eq '';
        for my $line (@lines) {
            next if $who eq 'net' && $line =~ /^@/;
            $log .= $who eq 'net' ? "Network: $line\n" : $who eq 'disk' ? "   Disk: $line\n" : "$line\n";
        }
    }
    return $log;
}

# One run of a helper as tests/protocol/logs keeps it, started at $time
# ("2024-05-01 08:00:00") instead: a part for program_log.
sub helper_run {
    my ($log, $time) = @_;
    my $text = slurp("$REPO/tests/protocol/logs/$log.log");
    $text =~ s/\A( ?Pass \d+ started )[\d: -]+ UTC\./$1$time UTC./ or die "$log: no pass start";
    return [$log =~ /^netburn/ ? 'net' : 'disk', $text];
}

# What the program logs when the burn-in ends: the stop, if the operator
# stopped it, each helper's result and the verdict.
sub program_end {
    my ($disk, $net, $halted) = @_;
    my $fail = $disk ne 'PASSED' || $net ne 'PASSED';
    return ['prog', ($halted ? "\nTEST HALTED BY USER.\n\n" : '') . "\n   Disk: $disk\nNetwork: $net\n\n"
                    . "(All these log messages are in \"/tmp/burnin.log\")\n\n"
                    . '** ' . ($fail ? 'FAILED' : 'PASSED') . " - Press Enter When Done **\n"];
}

1;
