package Makefloppy::Outbox;
# The outbox the medium's uploader sends from, when a collector is named
# (RUNDIAGS_RESULTS): every copy also puts the whole record, as --directory
# writes it, into <outbox>/<machine>/<run>/. The folder is built aside and
# renamed into place whole, so the uploader never sees half a copy, and a
# later copy of the run replaces the earlier one's folder and nothing else.
use strict;
use warnings;
use Exporter 'import';
use File::Path qw(make_path remove_tree);
use JSON::PP ();
use Makefloppy::Util qw(say_err);
use Makefloppy::Smbios qw(smbios);
use Makefloppy::Nics qw(list_nics);
use Makefloppy::Run qw(make_run_name);
use Makefloppy::Stick qw(folder_name);

our @EXPORT_OK = qw(collector_url outbox_dir machine_folder write_outbox unattended);

# The collector's records folder, always ending in "/"; undef when none is
# named, or when what is named is no http:// address (said, and no copy
# goes to an outbox nothing could send from).
sub collector_url {
    my $url = $ENV{RUNDIAGS_RESULTS};
    return undef unless defined $url && $url ne '';
    unless ($url =~ m{\Ahttps?://[^/\s]+(?:/\S*)?\z}) {
        say_err("RUNDIAGS_RESULTS=$url is no http:// address: the record goes to no outbox");
        return undef;
    }
    return $url =~ m{/\z} ? $url : "$url/";
}

# What the program's live state file says of an unattended run: how the
# automation stands ("running", "finished", "taken over", or "stopped: "
# and the settings that were wrong) and the step it was at; undef when the
# program keeps no state file or it cannot be read.
sub unattended {
    my $path = $ENV{RUNDIAGS_STATE_FILE};
    return undef unless defined $path && $path ne '' && -f $path && -s _ < 65536;
    open(my $fh, '<', $path) or return undef;
    local $/;
    my $text = <$fh>;
    close $fh;
    my $state = eval { JSON::PP->new->decode($text) };
    return undef unless ref $state eq 'HASH' && defined $state->{automation} && !ref $state->{automation};
    return undef if $state->{automation} eq 'off';
    return { automation => "$state->{automation}", step => "" . ($state->{step} // '') };
}

sub outbox_dir {
    my $dir = $ENV{RUNDIAGS_OUTBOX};
    return defined $dir && $dir ne '' ? $dir : '/run/rundiags/outbox';
}

# "<machine>/<run>" as the record's copies name it, from the identity alone
# (no logs, no BMC): what the uploader asks for before any copy was made.
sub machine_folder {
    my $s = smbios();
    my $facts = { machine => { system => $s->{system}, board => $s->{board}, network_ports => [list_nics()] } };
    return folder_name($facts, make_run_name());
}

# The files (name and content pairs) into <outbox>/<folder>, whole.
# Returns the folder's path; dies with the reason when it cannot, so that a
# copy that reached its medium is not undone by the outbox.
sub write_outbox {
    my ($folder, @files) = @_;
    my ($machine, $run) = split m{/}, $folder, 2;
    my $base = outbox_dir() . "/$machine";
    my ($new, $old, $final) = ("$base/.$run.new.$$", "$base/.$run.old.$$", "$base/$run");
    make_path($base, { error => \my $err });
    remove_tree($new, { error => \my $err2 });
    mkdir $new or die "cannot make $new: $!\n";
    for my $f (@files) {
        open(my $fh, '>:raw', "$new/$f->[0]") or die "$new/$f->[0]: $!\n";
        print {$fh} $f->[1] or die "$new/$f->[0]: $!\n";
        close $fh or die "$new/$f->[0]: $!\n";
    }
    # A folder cannot be renamed over a full one: the earlier copy steps
    # aside first and goes once the new one is in place.
    if (-e $final) {
        rename($final, $old) or die "cannot move the earlier copy in $final aside: $!\n";
    }
    rename($new, $final) or die "cannot put the copy in place as $final: $!\n";
    remove_tree($old, { error => \my $err3 });
    return $final;
}

1;
