package LongLog;
# A burn-in log of many hours as the program writes it: one disk pass an
# hour, a network pass every ten minutes, and diskburn's progress messages
# once a second (its old habit) or at each tenth of a pass (its new one).
use strict;
use warnings;
use Exporter 'import';
use POSIX ();
our @EXPORT_OK = qw(long_log);

# Options: hours, per_second (old progress lines), noise (progress lines
# carry hard-to-compress text), start (epoch). Returns the text.
sub long_log {
    my (%o) = @_;
    my $start = $o{start} // 1714550400;
    my @out = ('Running network and disk burn-in tests.', '');
    my $stamp = sub { POSIX::strftime('%Y-%m-%d %H:%M:%S', gmtime($start + $_[0])) . ' UTC.' };
    my $seed = 12345;
    my $noise = sub { $seed = ($seed * 1103515245 + 12345) % 2**31; sprintf('%08x%08x', $seed, $seed ^ 0x5bd1e995) };
    for my $h (0 .. $o{hours} - 1) {
        my $t0 = $h * 3600;
        push @out, '   Disk: starting again.' if $h;
        push @out, '   Disk:  Pass ' . ($h + 1) . ' started ' . $stamp->($t0),
                   '   Disk: Disk sda: ST4000NM0033-9ZM, serial Z1Z0A1B0, 4.0 TB.',
                   '   Disk: Disk sdb: ST4000NM0033-9ZM, serial Z1Z0A1B1, 4.0 TB.';
        for my $s (0 .. 3599) {
            if ($s % 600 == 0) {
                my $n = $h * 6 + $s / 600 + 1;
                push @out, "Network: Pass $n started " . $stamp->($t0 + $s),
                           map({ "Network: Port eth$_: received 480000 of 480000 frames (100%) from 3 peers." } 0 .. 3),
                           'Network: Pass complete: 480000 frames per port, 800 frames/s.';
            }
            my $pct = int($s / 36);
            next unless $s && ($o{per_second} || $s % 360 == 0);
            push @out, sprintf('   Disk: Pass %d%% done: writing 2, verifying 0, %d MB/s%s.', $pct, 840 + $s % 23,
                               $o{noise} ? ', block 0x' . $noise->() : '');
        }
        push @out, '   Disk:  sda: verified in 1790.0 s, 2234.6 MB/s.', '   Disk:  sdb: verified in 1790.0 s, 2234.6 MB/s.',
                   '   Disk: Pass complete: 2 disks (8.0 TB) written and verified without error.';
    }
    push @out, '', 'TEST HALTED BY USER.', '', '', '   Disk: PASSED', 'Network: PASSED', '',
               '(All these log messages are in "/tmp/burnin.log")', '', '** PASSED - Press Enter When Done **';
    return join("\n", @out) . "\n";
}

1;
