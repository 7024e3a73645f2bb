#!/usr/bin/perl
# Records collected over the network, on the host: nginx on loopback as the
# collector, two machines played by sim/ (makefloppy on a copy of a fixture
# server with a collector named, the medium's uploader beside it), one of
# them with a port that fails. The collector stops for about 10 s while
# copies wait in the outboxes; everything arrives once, read back whole,
# and uploads.json lists it. A third machine went silent long ago. The
# fleet page, in headless Chromium, shows all three, their verdicts, and
# the silent one marked.
#
# RUNDIAGS_FLEET_SCREENSHOT=file.png keeps a screenshot of the page.
use strict;
use warnings;
use FindBin;
use lib "$FindBin::Bin/lib";
use Test::More;
use JSON::PP;
use Digest::SHA qw(sha256_hex);
use IO::Socket::INET;
use POSIX ();
use Time::HiRes qw(sleep time);
use ScriptTest qw($REPO run_cmd slurp spew scratch);
use RecordTest qw(program_log keep_record records_valid);

my %TOOL;
for my $t (qw(nginx curl chromium)) {
    ($TOOL{$t}) = grep { -x } map { "$_/$t" } split(/:/, $ENV{PATH}), '/usr/sbin', '/usr/bin';
    next if $TOOL{$t};
    print "1..0 # SKIP $t not installed (scripts/deps installs it)\n";
    exit 77;
}
delete @ENV{qw(http_proxy HTTP_PROXY https_proxy HTTPS_PROXY all_proxy ALL_PROXY)};

my $tmp = scratch();
chmod 0755, $tmp;
my $www = "$tmp/www";
mkdir $_ for $www, "$www/records";
system('cp', "$REPO/rack/www/$_", $www) == 0 or die "cp $_" for qw(fleet.html fleet.js fleet.css);
my $port = do { my $s = IO::Socket::INET->new(LocalAddr => '127.0.0.1', LocalPort => 0, Listen => 1) or die $!; $s->sockport };
my $URL = "http://127.0.0.1:$port";
my %pids;

# The collector: a minimal configuration of its own (PUT into /records/,
# JSON listings there, the page at the root), loopback only.
sub nginx_conf {
    my $user = $> == 0 ? "user nobody nogroup;\n" : '';
    spew("$tmp/nginx.conf", <<"CONF");
${user}worker_processes 1;
daemon off;
pid $tmp/nginx.pid;
error_log $tmp/nginx-error.log;
events { worker_connections 64; }
http {
    types { text/html html; text/css css; application/javascript js; application/json json; text/plain txt log; }
    log_format puts '\$time_iso8601 \$request_method \$uri \$status';
    access_log $tmp/access.log puts;
    client_body_temp_path $tmp/body;
    server {
        listen 127.0.0.1:$port;
        root $www;
        location /records/ {
            dav_methods PUT;
            create_full_put_path on;
            dav_access user:rw group:r all:r;
            client_max_body_size 0;
            autoindex on;
            autoindex_format json;
        }
    }
}
CONF
    if ($> == 0) { my (undef, undef, $uid, $gid) = getpwnam('nobody'); chown $uid, $gid, "$www/records" }
}

sub spawn {
    my ($name, $env, $log, @cmd) = @_;
    my $pid = fork // die "fork: $!";
    if (!$pid) {
        POSIX::setsid();
        $ENV{$_} = $env->{$_} for keys %$env;
        open STDIN, '<', '/dev/null';
        open STDOUT, '>>', $log or exit 127;
        open STDERR, '>&', \*STDOUT;
        exec { $cmd[0] } @cmd or exit 127;
    }
    $pids{$name} = $pid;
}

sub stop {
    my ($name) = @_;
    my $pid = delete $pids{$name} or return;
    kill 'TERM', -$pid;
    waitpid $pid, 0;
}
END { local $?; stop($_) for keys %pids }

sub up { return IO::Socket::INET->new(PeerAddr => '127.0.0.1', PeerPort => $port, Timeout => 1) }
sub start_nginx {
    spawn('nginx', {}, "$tmp/nginx.out", $TOOL{nginx}, '-e', "$tmp/nginx-error.log", '-p', $tmp, '-c', "$tmp/nginx.conf");
    for (1 .. 50) { return 1 if up(); sleep 0.1 }
    die 'nginx did not start: ' . (slurp("$tmp/nginx-error.log") // '');
}

sub http_get {
    my ($path) = @_;
    my ($out, $rc) = run_cmd({}, $TOOL{curl}, '-sf', '--max-time', '10', "$URL$path");
    return $rc ? undef : $out;
}

sub wait_for {
    my ($what, $seconds, $cond) = @_;
    my $t = time;
    while (time - $t < $seconds) { return 1 if $cond->(); sleep 0.5 }
    fail("$what within $seconds s");
    return 0;
}

# ---- the machines: a fixture server's copy as the root, its logs, its state
my %M = (a => { fixture => 'dell-r730', folder => '7QX2K52', run => '20261207T180000Z-0a0a' },
         b => { fixture => 'supermicro-x9', folder => 'C8150AB23N10012', run => '20261207T180100Z-0b0b', bad => 'eth2' });

sub setup {
    my ($m) = @_;
    $m->{dir} = "$tmp/$m->{fixture}";
    $m->{logs} = "$m->{dir}/logs";
    system('cp', '-a', "$REPO/tools/fixtures/$m->{fixture}", "$m->{dir}") == 0 or die 'cp';
    mkdir $m->{logs};
    system('mkdir', '-p', "$m->{dir}/run/rundiags");
    spew("$m->{dir}/run/rundiags/run", "$m->{run}\n");
    $m->{box} = "$m->{dir}/outbox";
    $m->{env} = { COMPAT_ROOT => $m->{dir}, RUNDIAGS_RESULTS => "$URL/records/", RUNDIAGS_OUTBOX => $m->{box},
                  RUNDIAGS_STATE_FILE => "$m->{dir}/state.json", RUNDIAGS_UPLOAD_PATIENCE => 120,
                  PATH => "$REPO/tools:$ENV{PATH}", MAKEFLOPPY_DMIDECODE => undef, MAKEFLOPPY_ETHTOOL => undef };
    run_cmd({ SIM_MACHINE => $m->{fixture}, SIM_COMPAT_SECONDS => 0, COMPAT_LOG => "$m->{logs}/compat.log" },
            "$REPO/sim/compat.pl", '');
}

sub state {
    my ($m, $step, $verdict, $time) = @_;
    my %s = (schema => 'rundiags-state/1', time => POSIX::strftime('%Y-%m-%dT%H:%M:%SZ', gmtime($time // time)),
             step => $step, automation => 'running', next => $step eq 'done' ? '' : 'copy',
             passes => { network => 1, disk => 1 },
             network => 'PASS', disk => 'PASS', message => '', verdict => $verdict, time_left => undef);
    spew("$m->{dir}/state.json.new", encode_json(\%s) . "\n");
    rename "$m->{dir}/state.json.new", "$m->{dir}/state.json";
}

# One pass of each simulated helper as the program logs it, and its summary.
sub burnin {
    my ($m) = @_;
    my %env = (SIM_MACHINE => $m->{fixture}, SIM_PASS_SECONDS => 0.3, RUNDIAGS_PASS => 1, SIM_NET_BAD => $m->{bad});
    my ($net, $nrc) = run_cmd(\%env, "$REPO/sim/netburn", '-1');
    my ($disk, $drc) = run_cmd(\%env, "$REPO/sim/diskburn", '--destroy');
    my $result = $nrc ? "FAILED (code $nrc)" : 'PASSED';
    spew("$m->{logs}/burnin.log", program_log(['net', $net], ['disk', $disk],
        ['prog', "\nTEST HALTED BY USER.\n\n\n   Disk: PASSED\nNetwork: $result\n\n(All these log messages are in "
                 . "\"/tmp/burnin.log\")\n\n** " . ($nrc ? 'FAILED' : 'PASSED') . " - Press Enter When Done **\n"]));
}

sub copy {
    my ($m) = @_;
    my ($out, $rc) = run_cmd({ %{$m->{env}}, RESULTS_LOG_DIR => $m->{logs}, FLOPPY_DEVICE => "$tmp/no-floppy" },
                             'perl', "$REPO/tools/makefloppy");
    is($rc, 0, "$m->{fixture}: no floppy, no stick, the outbox got the copy: exit 0") or diag($out);
}

sub box_files {
    my ($m) = @_;
    my $d = "$m->{box}/$m->{folder}/$m->{run}";
    return map { [s{.*/}{}r, slurp($_)] } grep { -f } glob("$d/*");
}

# Everything in the outbox on the collector, whole, and in uploads.json.
sub arrived {
    my ($m) = @_;
    my $at = "/records/$m->{folder}/$m->{run}";
    my $up = eval { decode_json(http_get("$at/uploads.json") // '') } or return 0;
    my %listed = map { ($_->{file} => "$_->{bytes} $_->{sha256}") } @{$up->{files}};
    for my $f (box_files($m)) {
        my $got = http_get("$at/$f->[0]");
        return 0 unless defined $got && $got eq $f->[1];
        return 0 unless ($listed{$f->[0]} // '') eq length($f->[1]) . ' ' . sha256_hex($f->[1]);
    }
    my @files = box_files($m);
    return keys %listed == @files;
}

nginx_conf();
start_nginx();
for my $k (sort keys %M) {
    my $m = $M{$k};
    setup($m);
    state($m, 'burnin', '');
    spawn("uploader-$k", $m->{env}, "$m->{dir}/uploader.log", "$REPO/medium/uploader");
}
# An uploader whose collector refuses every PUT (no DAV there), with a
# patience of 2 s: it gives up.
my $refused = "$tmp/refused/$M{a}{folder}/$M{a}{run}";
system('mkdir', '-p', $refused);
spew("$refused/report.txt", "a record\n");
spawn('refused', { %{$M{a}{env}}, RUNDIAGS_OUTBOX => "$tmp/refused", RUNDIAGS_RESULTS => "$URL/elsewhere/",
                   RUNDIAGS_UPLOAD_PATIENCE => 2, RUNDIAGS_STATE_FILE => '' }, "$tmp/refused.log", "$REPO/medium/uploader");
wait_for('the live state of both machines', 30, sub { !grep { !defined http_get("/records/$_->{folder}/$_->{run}/state.json") } values %M });

# A first copy of machine a (the probe only), delivered while all is well.
copy($M{a});
wait_for('the first copy of a', 30, sub { arrived($M{a}) });

# The collector goes away; the burn-in ends on both machines and they copy.
my $away = time;
note('the collector stops at ' . POSIX::strftime('%H:%M:%S', gmtime));
stop('nginx');
for my $m (values %M) { burnin($m); copy($m); state($m, 'done', $m->{bad} ? 'FAILED' : 'PASSED') }
sleep(10 - (time - $away)) if time - $away < 10;
note(sprintf 'the collector was away %.1f s', time - $away);
is(slurp("$M{b}{box}/.uploader/waiting"), "burnin.log compat.log report.json report.txt\n",
   'meanwhile the uploader says which files wait');
start_nginx();
my $back = time;
note('the collector is back at ' . POSIX::strftime('%H:%M:%S', gmtime));
ok(wait_for('every copy', 90, sub { !grep { !arrived($_) } values %M }), 'every file arrived whole, listed in uploads.json');
note(sprintf 'all there %.1f s after the collector came back', time - $back);
ok(wait_for('nothing waiting', 10, sub { !grep { slurp("$_->{box}/.uploader/waiting") ne "\n" } values %M }),
   'and then that none waits');

like(slurp("$tmp/refused.log"), qr/uploader: report\.txt not delivered \(sending: curl: \(22\) .*405.*\n.*uploader: gave up on report\.txt after [2-9] s: /s,
     'a collector that refuses: the uploader gives up after its patience');

# Once: one PUT that succeeded for each content of each record file.
my %puts;
for (split /\n/, slurp("$tmp/access.log") // '') { $puts{$1}++ if m{^\S+ PUT (/records/\S+) 20[14]$} }
my $a = "/records/$M{a}{folder}/$M{a}{run}";
my $b = "/records/$M{b}{folder}/$M{b}{run}";
is_deeply({ map { ($_ => $puts{$_}) } grep { !/(state|uploads)\.json$/ } keys %puts },
          { "$a/compat.log" => 1, "$a/report.json" => 2, "$a/report.txt" => 2, "$a/burnin.log" => 1,
            map { ("$b/$_" => 1) } qw(compat.log burnin.log report.json report.txt) },
          'each version of each record file was delivered once: the unchanged compat.log was not sent again');
for my $k (sort keys %M) {
    my $log = slurp("$M{$k}{dir}/uploader.log") // '';
    like($log, qr/not delivered \(sending: curl: \(7\).*trying again in \d+ s$/m, "$k: the uploader retried while the collector was away");
    unlike($log, qr/gave up/, "$k: and did not give up");
    note("uploader $k:\n$log");
}

# The records say where they went and what failed.
for my $k (sort keys %M) {
    my $m = $M{$k};
    spew("$tmp/$k.json", http_get("/records/$m->{folder}/$m->{run}/report.json"));
    keep_record("$tmp/$k.json");
}
my ($ra, $rb) = map { decode_json(slurp("$tmp/$_.json")) } qw(a b);
is($ra->{collector}{url}, "$URL/records/$M{a}{folder}/$M{a}{run}/", 'the record names the collector folder it went to');
is($ra->{written_to}{medium}, 'none', 'and that no floppy or stick got it');
is($rb->{burnin}{verdict}, 'FAILED', 'machine b: FAILED');
is_deeply([map { $_->{name} } grep { $_->{bad} } @{$rb->{burnin}{network}{ports}}], ['eth2'], 'naming its port eth2');
like(http_get("/records/$M{b}{folder}/$M{b}{run}/report.txt"), qr/^Sent to      \Q$URL\E\/records\/C8150AB23N10012\//m,
     "report.txt's line says where it was sent");
records_valid();

# A third machine that went silent ten minutes ago.
my $c = "$www/records/MAC-525400c0ffee/20261207T170000Z-0c0c";
system('mkdir', '-p', $c);
state({ dir => $tmp }, 'burnin', '', time - 600);
rename "$tmp/state.json", "$c/state.json";
utime time - 600, time - 600, "$c/state.json";

# The fleet page, in a real browser.
my @chromium = ('sh', '-c', 'exec "$@" 2>/dev/null', 'sh', $TOOL{chromium}, qw(--headless --no-sandbox --disable-gpu --disable-quic --no-first-run
                --disable-background-networking --disable-component-update --disable-sync --no-proxy-server),
                "--user-data-dir=$tmp/chromium", '--virtual-time-budget=10000');
my ($dom) = run_cmd({}, @chromium, '--dump-dom', "$URL/fleet.html");
my %rows = $dom =~ /<tr data-machine="([^"]+)"( data-stale="[^"]*" (?:class="stale" )?data-verdict="[^"]*")/g;
is_deeply(\%rows, { 'C8150AB23N10012' => ' data-stale="no" data-verdict="FAILED"', '7QX2K52' => ' data-stale="no" data-verdict="PASSED"',
                    'MAC-525400c0ffee' => ' data-stale="yes" class="stale" data-verdict="running"' },
          'the fleet page: all three machines, their verdicts, the silent one marked') or diag($dom);
like($dom, qr/network FAILED \(code 4\): port eth2/, 'the page names the failed port');
like($dom, qr/>SILENT<\/span> <span>10 min ago</, 'the silent machine: how long ago');
if (my $shot = $ENV{RUNDIAGS_FLEET_SCREENSHOT}) {
    run_cmd({}, @chromium, '--window-size=1400,700', "--screenshot=$shot", "$URL/fleet.html");
}
done_testing();
