package Rundiags::Health::Mce;
# Machine checks from the kernel's log. The kernel's buffer is overwritten
# during a long burn-in, so a reader started at boot copies every
# machine-check line of /dev/kmsg to the file mce.log in the state
# directory as it comes; the record reads that file at the copy.
use strict;
use warnings;
use Exporter 'import';
use Errno qw(EPIPE EINTR EAGAIN);
use Rundiags::Health::IO qw(hroot state_dir read_text);
use File::Path qw(make_path);

our @EXPORT_OK = qw(kmsg_reader machine_checks MCE_LOG);

use constant { MCE_LOG => 'mce.log', MAX_LOG => 1 << 20 };

my $MCE_LINE = qr/\bmce: |Machine check|\[Hardware Error\]/i;

# Copies the machine-check lines of the kernel's log, each as
# "<microseconds since boot> <text>", until the log ends (a test's plain
# file; the kernel's never does). Past 1 MiB one line says more were left
# out. A record overwritten before it was read (EPIPE) is passed over.
sub kmsg_reader {
    my $dir = state_dir();
    make_path($dir, { mode => 0755, error => \my $err });
    open(my $out, '>>', "$dir/" . MCE_LOG) or return 1;
    $out->autoflush(1);
    open(my $in, '<:raw', hroot() . '/dev/kmsg') or return 1;
    my ($size, $full) = (-s $out, 0);
    while (1) {
        my $n = sysread($in, my $rec, 8192);
        if (!defined $n) { next if $! == EPIPE || $! == EINTR || $! == EAGAIN; return 1 }
        return 0 if $n == 0;
        for my $line (split /\n/, $rec) {
            my ($usec, $msg) = $line =~ /^\d+,\d+,(\d+),[^;]*;(.*)$/ or next;
            next unless $msg =~ $MCE_LINE;
            my $text = "$usec " . ($msg =~ s/[\x00-\x1f\x7f]+/ /gr) . "\n";
            if ($size + length $text > MAX_LOG) {
                print {$out} "more machine-check lines left out\n" unless $full++;
                next;
            }
            print {$out} $text;
            $size += length $text;
        }
    }
}

# { reported => 0, note } when no reader ran, else the events: per CPU and
# bank, how many were corrected and uncorrected (the status word's UC bit,
# 61), and the processor's throttling for heat.
sub machine_checks {
    my $text = read_text(state_dir() . '/' . MCE_LOG, 1);
    return { reported => 0, note => 'no machine-check log was kept (no reader of the kernel log ran at boot)' }
        unless defined $text;
    my (%banks, %hot, $logged, @order);
    for my $line (split /\n/, $text) {
        if (my ($cpu, $bank, $status) = bank_status($line)) {
            my $key = "CPU $cpu, bank $bank";
            push @order, $key unless $banks{$key};
            my $e = $banks{$key} //= { cpu => $cpu + 0, bank => $bank + 0, corrected => 0, uncorrected => 0 };
            $e->{uncorrected($status) ? 'uncorrected' : 'corrected'}++;
            $e->{last_status} = $status;
        } elsif ($line =~ /\bCPU ?(\d+): (Core|Package) temperature above threshold/) {
            $hot{"CPU $1"}++;
        } elsif ($line =~ /Machine check events logged/) {
            $logged++;
        }
    }
    return { reported => 1, events => [map { { part => $_, %{$banks{$_}} } } @order],
             hot => [map { { part => $_, times => $hot{$_} } } sort keys %hot], events_logged => $logged // 0 };
}

# (cpu, bank, status as 16 hex digits) of a line that logs one, either as
# the kernel prints it itself:
#   mce: [Hardware Error]: CPU 2: Machine Check: 0 Bank 7: 8c00004000010090
# or as AMD's decoder (edac_mce_amd, loaded with amd64_edac on AMD servers)
# prints it in its place:
#   [Hardware Error]: CPU:3 (19:1:1) MC4_STATUS[-|UE|MiscV|AddrV|PCC|-|-]: 0xbe00000000800400
sub bank_status {
    my ($line) = @_;
    my @f = $line =~ /\bCPU (\d+): Machine Check[^:]*: \S+ Bank (\d+): ([0-9a-fA-F]+)/;
    @f = $line =~ /\bCPU:(\d+) \([^)]*\) MC(\d+)_STATUS\[[^\]]*\]: 0x([0-9a-fA-F]+)/ unless @f;
    return @f ? (@f[0, 1], lc substr('0' x 16 . $f[2], -16)) : ();
}

# Bit 61 of the 64-bit status word: the top hex digit holds bits 63..60.
sub uncorrected { return hex(substr($_[0], 0, 1)) & 2 }

1;
