#include "rack_scenario.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <regex>
#include <vector>

#include "files.h"
#include "guest.h"
#include "medium_util.h"
#include "rack.h"

namespace {

namespace fs = std::filesystem;

std::string initrd_cmd() { return "zstd -dc '" + medium_file("initrd.img") + "' 2>/dev/null | cpio "; }

bool medium_lists(const std::string &path)
{
    return !host_output(initrd_cmd() + "-it --quiet 2>/dev/null | grep -E '^(\\./)?" + path + "$'").empty();
}

bool medium_program_reads(const std::string &setting)
{
    return !host_output(initrd_cmd() + "-i --quiet --to-stdout '*usr/bin/rundiags' 2>/dev/null | grep -a -m1 -o " +
                        setting).empty();
}

// The run folders of one machine on the collector.
std::vector<fs::path> runs_of(Rack &rack, const std::string &machine)
{
    std::vector<fs::path> runs;
    std::error_code ec;
    for (auto &e : fs::directory_iterator(rack.records() + "/" + machine, ec))
        if (e.is_directory())
            runs.push_back(e.path());
    return runs;
}

std::string state_of(Rack &rack, const std::string &machine)
{
    auto runs = runs_of(rack, machine);
    return runs.size() == 1 ? read_file((runs[0] / "state.json").string()) : "";
}

// Whether the machine's live state on the collector has `key` at `value`.
bool state_is(Rack &rack, const std::string &machine, const std::string &key, const std::string &value)
{
    return std::regex_search(state_of(rack, machine), std::regex("\"" + key + "\" *: *\"" + value + "\""));
}

struct Delivered {
    long long bytes = -1;
    std::string sha256;
    int times = 0;
};

// uploads.json: what the machine's uploader counts as delivered, by file.
std::map<std::string, Delivered> deliveries(const fs::path &run)
{
    std::map<std::string, Delivered> out;
    std::string text = read_file((run / "uploads.json").string());
    static const std::regex object("\\{[^{}]*\\}"), file("\"file\" *: *\"([^\"]+)\""),
        bytes("\"bytes\" *: *([0-9]+)"), sum("\"sha256\" *: *\"([0-9a-f]{64})\"");
    for (std::sregex_iterator it(text.begin(), text.end(), object), end; it != end; ++it) {
        std::string o = it->str();
        std::smatch f, b, s;
        if (!std::regex_search(o, f, file))
            continue;
        Delivered &d = out[f[1]];
        d.times++;
        if (std::regex_search(o, b, bytes))
            d.bytes = std::stoll(b[1]);
        if (std::regex_search(o, s, sum))
            d.sha256 = s[1];
    }
    return out;
}

// What is wrong with a run's record on the collector; "" when every file
// the uploader delivered is there whole, once, and nothing else is.
std::string record_problem(const fs::path &run)
{
    auto sent = deliveries(run);
    std::string problem;
    if (sent.find("report.json") == sent.end())
        problem += "report.json was not delivered\n";
    for (auto &[name, d] : sent) {
        std::string path = (run / name).string();
        if (d.times != 1)
            problem += name + " is listed " + std::to_string(d.times) + " times\n";
        if (!fs::exists(path) || (long long)fs::file_size(path) != d.bytes || checksum(path) != d.sha256)
            problem += name + " on the collector is not what was sent\n";
    }
    for (auto &e : fs::recursive_directory_iterator(run)) {
        std::string name = fs::relative(e.path(), run).string();
        if (e.is_regular_file() && name != "uploads.json" && name != "state.json" && !sent.count(name))
            problem += name + " is on the collector but was never delivered\n";
    }
    return problem;
}

// Every file of a record, one after another.
std::string record_text(const fs::path &run)
{
    std::string all;
    for (auto &e : fs::recursive_directory_iterator(run))
        if (e.is_regular_file())
            all += read_file(e.path().string());
    return all;
}

// The two machines played on the host (rack_host_machine.sh), in their own
// process groups; killed when the object goes.
class HostMachines {
public:
    HostMachines(Rack &rack, const ScratchDir &d, const std::string &top)
    {
        start(rack, d.file("host-good"), top, {"SIM_MACHINE=dell-r730"});
        start(rack, d.file("host-bad"), top, {"SIM_MACHINE=supermicro-x9", "SIM_NET_BAD=eth2"});
    }
    ~HostMachines() { stop(); }
    void stop()
    {
        for (pid_t p : pids) {
            kill(-p, SIGKILL);
            waitpid(p, nullptr, 0);
        }
        pids.clear();
    }

private:
    void start(Rack &rack, const std::string &work, const std::string &top, std::vector<std::string> env)
    {
        std::vector<std::string> argv = {top + "/tests/medium/rack_host_machine.sh", rack.col(), work,
                                         RUNDIAGS_PROGRAM};
        for (const char *s : {"RUNDIAGS_STEPS=burnin,copy", "RUNDIAGS_BURNIN_TIME=30s",
                              "RUNDIAGS_DESTROY=every-disk-but-the-boot-device", "RUNDIAGS_NETBOOT=1",
                              "RUNDIAGS_COUNTDOWN=1", "RUNDIAGS_RESULTS=http://10.77.0.1/records/",
                              "RUNDIAGS_UPLOAD_PATIENCE=300", "SIM_PASS_SECONDS=5"})
            env.push_back(s);
        argv.insert(argv.end(), env.begin(), env.end());
        const pid_t p = spawn_logged(argv, work + ".out");
        pids.push_back(p);
    }
    std::vector<pid_t> pids;
};

// The machines' folders on the collector other than `machine`'s.
std::vector<std::string> other_machines(Rack &rack, const std::string &machine)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (auto &e : fs::directory_iterator(rack.records(), ec))
        if (e.is_directory() && e.path().filename() != machine && e.path().filename() != "netboot")
            names.push_back(e.path().filename().string());
    return names;
}

bool all_done(Rack &rack, const std::vector<std::string> &machines)
{
    for (auto &m : machines) {
        auto runs = runs_of(rack, m);
        // Done: the program ended (to power off), or its last step stays on screen.
        const bool done = state_is(rack, m, "step", "done") || state_is(rack, m, "automation", "finished");
        if (runs.size() != 1 || deliveries(runs[0]).count("report.json") == 0 || !done)
            return false;
    }
    return true;
}

// The host machines' records: one passed, one failed naming its port.
void check_host_machines(Rack &rack, const std::string &machine)
{
    auto others = other_machines(rack, machine);
    ASSERT_EQ(others.size(), 2u) << rack.log();
    int failed = 0;
    for (auto &m : others) {
        auto runs = runs_of(rack, m);
        ASSERT_EQ(runs.size(), 1u) << m;
        EXPECT_EQ(record_problem(runs[0]), "") << m;
        std::string report = read_file((runs[0] / "report.txt").string());
        if (report.find("FAILED") != std::string::npos) {
            failed++;
            EXPECT_NE(report.find("eth2"), std::string::npos) << report;
        }
    }
    EXPECT_EQ(failed, 1);
}

// Every record on the collector follows the published schema.
void check_schema(Rack &rack, const std::string &top)
{
    const std::string out = host_output("/usr/bin/python3 '" + top + "/tests/scripts/validate_record.py' '" + top +
                                        "/docs/record.schema.json' $(find '" + rack.records() +
                                        "' -name report.json) 2>&1 && echo valid");
    EXPECT_EQ(out, "valid\n") << out;
}

// The fleet page in a real browser inside the collector's namespace, once
// one machine has been silent (its files made ten minutes old, as a
// machine that stopped sending leaves them): every machine with its
// verdict, the silent one marked.
void check_fleet_page(Rack &rack, const std::string &machine, const std::string &verdict, const std::string &silent)
{
    host_output("find '" + rack.records() + "/" + silent + "' -type f -exec touch -d '-10 min' {} +");
    const std::string dom = host_output(
        "ip netns exec " + rack.col() + " chromium --headless --no-sandbox --disable-gpu --disable-quic "
        "--no-first-run --disable-background-networking --disable-component-update --disable-sync "
        "--no-proxy-server --user-data-dir=$(mktemp -d) --virtual-time-budget=10000 --dump-dom "
        "http://10.77.0.1/fleet.html 2>/dev/null");
    std::map<std::string, std::string> rows;
    static const std::regex row("<tr data-machine=\"([^\"]+)\" data-stale=\"([a-z]+)\"[^>]*data-verdict=\"([^\"]*)\"");
    for (std::sregex_iterator it(dom.begin(), dom.end(), row), end; it != end; ++it)
        rows[(*it)[1]] = std::string((*it)[2]) + " " + std::string((*it)[3]);
    ASSERT_EQ(rows.size(), 3u) << dom;
    EXPECT_EQ(rows[machine], "no " + verdict) << dom;
    EXPECT_EQ(rows[silent].substr(0, 4), "yes ") << dom;
    int failed = 0;
    for (auto &[m, r] : rows)
        failed += r.find("FAILED") != std::string::npos;
    EXPECT_EQ(failed, verdict == "FAILED" ? 2 : 1) << dom;
}

} // namespace

std::string rack_waits_for(const std::string &top)
{
    std::string waits;
    if (!medium_program_reads("RUNDIAGS_STEPS"))
        waits += "the program's unattended mode (rundiags reading RUNDIAGS_STEPS) on the medium; ";
    if (!medium_lists("usr/lib/rundiags-medium/uploader") || !fs::exists(top + "/medium/uploader"))
        waits += "the medium's uploader (medium/uploader, usr/lib/rundiags-medium/uploader); ";
    return waits;
}

void unattended_rack(Guest &g, Rack &rack, const ScratchDir &d, const std::string &machine, const std::string &top)
{
    ASSERT_TRUE(g.wait_until([&] { return state_is(rack, machine, "step", "burnin"); }, 400000))
        << g.dump() << rack.log();
    double burnin = g.seconds();
    HostMachines hosts(rack, d, top);
    g.wait_until([] { return false; }, 15000);
    rack.stop();
    double away = g.seconds();
    g.wait_until([] { return false; }, 10000);
    ASSERT_EQ(rack.start(), "") << rack.log();
    double back = g.seconds();
    ASSERT_TRUE(g.wait_until([&] { return all_done(rack, {machine}); }, 300000)) << g.dump() << rack.log();
    std::printf("[ medium   ] rack: burn-in %.1f s, collector away %.1f-%.1f s, record complete %.1f s\n", burnin,
                away, back, g.seconds());
    auto runs = runs_of(rack, machine);
    ASSERT_EQ(runs.size(), 1u) << "one run, one folder";
    EXPECT_EQ(record_problem(runs[0]), "");
    EXPECT_NE(record_text(runs[0]).find("TEST STOPPED: SET TIME REACHED."), std::string::npos);
    // The emulated server's own verdict: its burn-in between two ports of
    // an emulated switch on a loaded host is not what this test is about,
    // but the state, the record and the fleet page must agree on it.
    const std::string verdict = state_is(rack, machine, "verdict", "PASSED") ? "PASSED" : "FAILED";
    EXPECT_TRUE(state_is(rack, machine, "verdict", verdict)) << state_of(rack, machine);
    EXPECT_NE(read_file((runs[0] / "report.txt").string()).find("burn-in: " + verdict), std::string::npos);
    EXPECT_TRUE(state_is(rack, machine, "at_end", "poweroff")) << state_of(rack, machine);
    EXPECT_TRUE(g.wait_exit(120000)) << "the machine powers off once its record is out\n" << g.dump();
    ASSERT_TRUE(g.wait_until([&] {
        auto others = other_machines(rack, machine);
        return others.size() == 2 && all_done(rack, others);
    }, 240000)) << rack.log();
    check_host_machines(rack, machine);
    check_schema(rack, top);
    hosts.stop();
    check_fleet_page(rack, machine, verdict, other_machines(rack, machine).front());
}
