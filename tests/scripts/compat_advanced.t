#!/usr/bin/perl
# The advanced test on a copy of a fake server, with stand-ins for modprobe
# and smartctl; and the guarantees of the basic test: it runs neither, and
# its log never follows a planted link.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use ScriptTest qw($REPO run_cmd slurp spew scratch);

my $COMPAT = "$REPO/tools/compat.pl";
my $tmp = scratch();
my $root = "$tmp/root";
system('cp', '-a', "$REPO/tools/fixtures/supermicro-x9", $root) == 0 or die 'copy failed';

# modprobe stand-in: "loads" mlx4_core for the ConnectX-3 by binding it in
# the fake root, like the kernel would; knows no module for anything else.
spew("$tmp/modprobe", <<"SH", 0755);
#!/bin/sh
echo "\$*" >> "$tmp/modprobe.calls"
case "\$4" in
  pci:v000015B3d00001003*) ln -s ../../../../bus/pci/drivers/mlx4_core "\$COMPAT_ROOT/sys/bus/pci/devices/0000:04:00.0/driver"; exit 0 ;;
esac
echo "modprobe: FATAL: Module \$4 not found." >&2
exit 1
SH
spew("$tmp/smartctl", <<"SH", 0755);
#!/bin/sh
echo "\$*" >> "$tmp/smartctl.calls"
echo "smartctl 7.3 (stand-in)"
case "\$3" in
  /dev/sdb) echo "SMART overall-health self-assessment test result: FAILED!"; echo "Drive failure expected in less than 24 hours. SAVE ALL DATA."; exit 8 ;;
  /dev/sdf) echo "SMART Health Status: OK"; exit 0 ;;
  /dev/sdd) echo "SMART support is: Unavailable - device lacks SMART capability."; exit 4 ;;
  *) echo "SMART overall-health self-assessment test result: PASSED"; exit 0 ;;
esac
SH

my %env = (COMPAT_ROOT => $root, COMPAT_MODPROBE => "$tmp/modprobe", COMPAT_SMARTCTL => "$tmp/smartctl");

my ($out, $rc) = run_cmd({ %env, COMPAT_LOG => "$tmp/basic.log" }, 'perl', $COMPAT, '');
is($rc, 0, 'basic: exit 0');
is($out, slurp("$REPO/tests/protocol/logs/compat-supermicro-x9.log"), 'basic: same output as on the pristine root');
ok(!-e "$tmp/modprobe.calls" && !-e "$tmp/smartctl.calls", 'basic: neither modprobe nor smartctl ran');
ok(!-e "$root/sys/bus/pci/devices/0000:04:00.0/driver", 'basic: nothing was bound');

($out, $rc) = run_cmd({ %env, COMPAT_LOG => "$tmp/adv.log" }, 'perl', $COMPAT, '-a');
is($rc, 0, 'advanced: exit 0');
is($out, slurp("$REPO/tests/protocol/logs/compat-supermicro-x9-a.log"), 'advanced: output is exactly as expected');
is(slurp("$tmp/modprobe.calls"), "-b -q -- pci:v000015B3d00001003sv000015B3sd00000051bc02sc07i00\n",
   'advanced: modprobe asked once, by modalias, for the driverless device only');
like(slurp("$tmp/adv.log"), qr/^#\| SMART overall-health self-assessment test result: FAILED!$/m,
     'advanced: the raw smartctl output is in the log');
my $calls = slurp("$tmp/smartctl.calls");
is(scalar(() = $calls =~ /^-H -A \/dev\//mg), 7, 'advanced: smartctl asked for each of the seven disks');

# On a fake root, the real machine's tools are never used unless named.
system('rm', '-f', "$root/sys/bus/pci/devices/0000:04:00.0/driver");
($out, $rc) = run_cmd({ COMPAT_ROOT => $root, COMPAT_LOG => "$tmp/adv2.log", PATH => "$tmp:$ENV{PATH}" },
                      'perl', $COMPAT, '-a');
like($out, qr/driver loading skipped: modprobe not available/, 'fake root: real modprobe never used');
like($out, qr/SMART health not checked \(smartctl not available\)/, 'fake root: real smartctl never used');
is(scalar(() = (slurp("$tmp/modprobe.calls") // '') =~ /\n/g), 1, 'fake root: the stand-in on PATH was not run either');

# A link planted where the log goes must not be followed.
spew("$tmp/victim", "precious\n");
symlink("$tmp/victim", "$tmp/planted.log") or die $!;
($out, $rc) = run_cmd({ COMPAT_ROOT => $root, COMPAT_LOG => "$tmp/planted.log" }, 'perl', $COMPAT, '');
is($rc, 0, 'planted link: exit 0');
is(slurp("$tmp/victim"), "precious\n", 'planted link: its target is untouched');
ok(-f "$tmp/planted.log" && !-l "$tmp/planted.log", 'planted link: replaced by a fresh log file');
like(slurp("$tmp/planted.log"), qr/^ORVEX hardware compatibility probe/, 'planted link: the log was written');

# A log that cannot be written is reported, and the probe still runs.
($out, $rc) = run_cmd({ COMPAT_ROOT => $root, COMPAT_LOG => "$tmp/no/such/dir/x.log" }, 'perl', $COMPAT, '');
is($rc, 0, 'unwritable log: exit 0');
like($out, qr/^Cannot write the log \S+ \(No such file or directory\)\n/m, 'unwritable log: said so');
like($out, qr/^Finished\. 21 supported/m, 'unwritable log: probe ran to the end');

# A device node there is neither replaced nor written.
SKIP: {
    skip 'needs root to make a device node', 2 unless $> == 0 && system('mknod', "$tmp/null", 'c', '1', '3') == 0;
    ($out, $rc) = run_cmd({ COMPAT_ROOT => $root, COMPAT_LOG => "$tmp/null" }, 'perl', $COMPAT, '');
    like($out, qr/^Cannot write the log \S+ \(it is a device\)$/m, 'device node: not written, said so');
    ok(-c "$tmp/null", 'device node: still there');
}

done_testing();
