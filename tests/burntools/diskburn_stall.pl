#!/usr/bin/perl
# Stops a command at a chosen moment and times how long it takes to go,
# optionally while nobody reads its output.  Runs the command with its
# output on a one-page pipe, reads its lines until one matches UNTIL, then
# (with FILL 1) fills the pipe so the command's next write blocks, waits
# HOLD_MS, sends signal SIG, and times until the command has exited.  With
# FILL 2 the pipe is full but for room for one short line before the
# command starts, and nothing is read (UNTIL is not looked for): the
# command is stopped at its second line.  Then it drains the pipe into OUT
# and prints "stop_ms=N"; its exit status is the command's.
#
#   diskburn_stall.pl UNTIL FILL HOLD_MS SIG OUT COMMAND [ARGS...]
use strict;
use warnings;
use Fcntl;
use POSIX qw(:sys_wait_h);
use Time::HiRes qw(time sleep);

my ($until, $fill, $hold_ms, $sig, $out, @cmd) = @ARGV;
die "usage: $0 UNTIL FILL HOLD_MS SIG OUT COMMAND [ARGS...]\n" unless @cmd;
pipe(my $r, my $w) or die "pipe: $!";
fcntl($w, 1031, 4096);    # F_SETPIPE_SZ: one page, so it fills fast
syswrite($w, "#\n" x 2016) if $fill == 2;    # 64 bytes left
my $pid = fork() // die "fork: $!";
if ($pid == 0) {
    close $r;
    open(STDOUT, '>&', $w) or die;
    open(STDERR, '>&', $w) or die;
    exec @cmd or die "exec: $!";
}
my @lines;
my $buf = '';
while ($fill != 2 && !grep { /$until/ } @lines) {
    my $n = sysread($r, my $chunk, 4096);
    last unless $n;
    $buf .= $chunk;
    while ($buf =~ s/^(.*)\n//) { push @lines, $1 }
}
die "never saw /$until/:\n" . join("\n", @lines) . "\n" unless $fill == 2 || grep { /$until/ } @lines;
if ($fill == 1) {
    my $flags = fcntl($w, F_GETFL, 0);
    fcntl($w, F_SETFL, $flags | O_NONBLOCK);
    1 while defined syswrite($w, "#\n" x 64);
}
sleep($hold_ms / 1000);
kill $sig, $pid;
my $t0 = time;
my $status;
while (1) {
    my $done = waitpid($pid, WNOHANG);
    if ($done == $pid) { $status = $?; last }
    sleep(0.001);
}
my $ms = int((time - $t0) * 1000);
close $w;
while (sysread($r, my $chunk, 65536)) { $buf .= $chunk }
push @lines, grep { $_ ne '#' } split /\n/, $buf;
open(my $o, '>', $out) or die "$out: $!";
print $o "$_\n" for @lines;
close $o;
print "stop_ms=$ms\n";
exit($status & 127 ? 128 + ($status & 127) : $status >> 8);
