package CompatLines;
# How rundiags reads compat.pl's result lines, redone in Perl so the
# probe's output can be checked for round trips without the C++ program.
# Keep this rule for rule with the program's interpreter: the self-test in
# compat_interpreter.t pins the corner cases.
use strict;
use warnings;
use Exporter 'import';
our @EXPORT_OK = qw(new_state interpret close_fields summary shortname disk_name trim);

my $SEP = "\x08,\x08 ";
my $NONE = "\x07NONE\x07";

sub new_state {
    return { map({ $_ => '' } qw(CPU Memory Video SCSI Disks Network Serial Parallel)),
             category => '', description => '', cpucount => 0 };
}

# The program trims blanks and tabs only.
sub trim {
    my ($s) = @_;
    $s =~ s/^[ \t]+//;
    $s =~ s/[ \t]+\z//;
    return $s;
}

# Colour markers in helper text become blanks before they reach a field.
sub unmarked {
    my ($s) = @_;
    $s =~ tr/\x07\x08/  /;
    return $s;
}

sub addstr {
    my ($field, $text, $stat) = @_;
    return unless substr($stat, 0, 9) eq 'SUPPORTED';
    $$field = $$field eq '' ? $text : $$field . $SEP . $text;
}

sub shortname {
    my ($p) = @_;
    my $i = rindex($p, '(');
    if ($i >= 0) {
        my $r = substr($p, $i + 1);
        my $j = index($r, ')');
        $r = substr($r, 0, $j) if $j >= 0;
        $p = trim($r);
    }
    my $k = index($p, '[');
    if ($k >= 0) {
        my $r = substr($p, $k + 1);
        my $j = index($r, ']');
        $r = substr($r, 0, $j) if $j >= 0;
        $p = trim($r);
    }
    $p =~ s/[ \t,.;\[\]].*\z//s;
    return $p;
}

sub disk_name {
    my ($d) = @_;
    my $i = rindex($d, '(');
    $d = substr($d, 0, $i) if $i >= 0;
    my $h = rindex($d, '-');
    if ($h >= 0 && substr($d, $h + 1, 1) eq ' ') {
        return trim(substr($d, $h + 2));
    }
    return shortname($d);
}

# Returns the kind of line: status, memory, serial, device or other.
sub interpret {
    my ($st, $line) = @_;
    my $c = index($line, ':');
    my $b = index($line, ' ');
    if (substr($line, 0, 11) eq '   Status: ') {
        status_step($st, trim(substr($line, 10)));
        return 'status';
    }
    if (substr($line, 0, 7) eq 'Memory ' && $c >= 0) {
        addstr(\$st->{Memory}, unmarked(trim(substr($line, $c + 1))), 'SUPPORTED');
        return 'memory';
    }
    if (substr($line, 0, 4) eq 'ttyS' && $c >= 0) {
        addstr(\$st->{Serial}, unmarked(trim(substr($line, 0, $c))), 'SUPPORTED');
        return 'serial';
    }
    if ($c >= 0 && $b >= 0 && $b == $c + 1) {
        $st->{category} = trim(substr($line, 0, $c));
        $st->{description} = trim(substr($line, $c + 1));
        return 'device';
    }
    return 'other';
}

sub status_step {
    my ($st, $s) = @_;
    my $k = $st->{category};
    if ($k ne 'VIDEO' && $k ne 'DISK') {
        $st->{description} = shortname($st->{description});
    }
    my $d = unmarked($st->{description});
    if ($k eq 'CPU') {
        $st->{cpucount}++;
        addstr(\$st->{CPU}, $d, $s) if $st->{CPU} eq '';
    } elsif ($k eq 'MEMORY') {
        addstr(\$st->{Memory}, $d, $s);
    } elsif ($k eq 'VIDEO') {
        addstr(\$st->{Video}, $d, $s);
    } elsif ($k eq 'IDE' || $k eq 'SCSI' || $k eq 'RAID') {
        addstr(\$st->{SCSI}, "$d $k", $s);
    } elsif ($k eq 'DISK') {
        $st->{description} = disk_name($st->{description});
        addstr(\$st->{Disks}, unmarked($st->{description}), $s);
    } elsif ($k eq 'NETWORK') {
        addstr(\$st->{Network}, $d, $s);
    } elsif ($k eq 'SERIAL') {
        addstr(\$st->{Serial}, $d, $s);
    } elsif ($k eq 'PARALLEL') {
        addstr(\$st->{Parallel}, $d, $s);
    }
}

sub close_fields {
    my ($st) = @_;
    for my $f (qw(CPU Memory Video SCSI Disks Network)) {
        addstr(\$st->{$f}, $NONE, 'SUPPORTED') if $st->{$f} eq '';
    }
}

# The seven summary rows as plain text (markers 0x07/0x08 removed).
sub summary {
    my ($st) = @_;
    my $cpu = $st->{cpucount} ? "$st->{CPU} x $st->{cpucount}" : '??';
    my $mem = $st->{Memory} eq '' ? '' : "$st->{Memory} usable";
    my $text = sprintf("      CPU: %-25s     Memory: %s\n   Serial: %s\n Parallel: %s\n"
                       . "    Video: %s\n  Network: %s\n SCSI/IDE: %s\n    Disks: %s",
                       $cpu, $mem, @$st{qw(Serial Parallel Video Network SCSI Disks)});
    $text =~ tr/\x07\x08//d;
    return $text;
}

1;
