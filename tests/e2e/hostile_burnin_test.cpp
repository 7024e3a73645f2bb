// The burn-in test against helpers that misbehave in every way we could
// think of, and an operator who types at random. Whatever happens the
// program quits with status 0 on request, gives the terminal back, leaves
// no helper process behind, lets no helper byte act on the terminal, and the
// log holds exactly the helpers' lines. Uses the fixed /tmp/burnin.log: these
// suites never run in parallel with each other.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "hostile.h"

namespace {

using namespace hostile;

const char *const logpath = "/tmp/burnin.log";
const size_t line_cap = 1 << 20;

// One helper's behaviour: its first run prints `payload` (exactly, from a
// file) and then runs the shell text `after`; later runs (restarts) run
// `later`. Every process that should end with the test records its pid.
struct Helper {
    std::string payload;
    std::string after = "exit 0";
    std::string later = "while :; do sleep 0.1; done";
    bool ignore_term = false;
};

struct Scenario {
    const char *name;
    Helper net, disk;
};

// What the log says the helpers printed, and anything that fits nowhere.
struct LogParts {
    std::vector<std::string> net, disk, stray;
    bool summary = false;
};

LogParts parse_log(const std::string &log)
{
    LogParts p;
    std::vector<std::string> lines;
    size_t s = 0;
    for (size_t e; (e = log.find('\n', s)) != std::string::npos; s = e + 1)
        lines.push_back(log.substr(s, e - s));
    if (s != log.size())
        p.stray.push_back("unterminated last line: " + log.substr(s, 80));
    // The closing summary: seven lines of the program's own.
    const size_t n = lines.size();
    if (n >= 7 && (lines[n - 1] == "** PASSED - Press Enter When Done **" ||
                   lines[n - 1] == "** FAILED - Press Enter When Done **")) {
        p.summary = true;
        bool ok = lines[n - 7].empty() && lines[n - 4].empty() &&
                  lines[n - 3] == "(All these log messages are in \"/tmp/burnin.log\")" && lines[n - 2].empty() &&
                  (lines[n - 6] == "   Disk: PASSED" || lines[n - 6].rfind("   Disk: FAILED (code ", 0) == 0) &&
                  (lines[n - 5] == "Network: PASSED" || lines[n - 5].rfind("Network: FAILED (code ", 0) == 0);
        if (!ok)
            p.stray.push_back("malformed summary");
        lines.resize(n - 7);
    }
    for (size_t i = 0; i < lines.size(); i++) {
        const std::string &l = lines[i];
        if (l.rfind("Network: ", 0) == 0)
            p.net.push_back(l.substr(9));
        else if (l == "   Disk: starting again.")
            continue;
        else if (l.rfind("   Disk: ", 0) == 0)
            p.disk.push_back(l.substr(9));
        else if (!(l.empty() || l == "TEST HALTED BY USER." ||
                   (i == 0 && l == "Running network and disk burn-in tests.")))
            p.stray.push_back(l.substr(0, 80));
    }
    return p;
}

// Where two line lists part, shown short and escaped; empty when equal.
std::string first_difference(const std::vector<std::string> &got, const std::vector<std::string> &want)
{
    auto show = [](const std::string &l) {
        std::string r;
        for (size_t i = 0; i < l.size() && i < 60; i++) {
            unsigned char c = (unsigned char)l[i];
            char b[8];
            snprintf(b, sizeof b, c < 0x20 || c >= 0x7f ? "\\x%02x" : "%c", c);
            r += b;
        }
        return "\"" + r + (l.size() > 60 ? "...\" (" + std::to_string(l.size()) + " bytes)" : "\"");
    };
    for (size_t i = 0; i < got.size() || i < want.size(); i++) {
        if (i < got.size() && i < want.size() && got[i] == want[i])
            continue;
        return "line " + std::to_string(i) + ": logged " + (i < got.size() ? show(got[i]) : "nothing") +
               ", printed " + (i < want.size() ? show(want[i]) : "nothing") + " (" + std::to_string(got.size()) +
               " logged, " + std::to_string(want.size()) + " printed)";
    }
    return "";
}

class BurnInHostileBase : public ::testing::Test {
protected:
    void SetUp() override { unlink(logpath); }
    void TearDown() override
    {
        // A failed test may leave its own stubs running: end them.
        if (run && !run->exited())
            for (pid_t p : pids_in(stubs.file("pids")))
                kill(p, SIGKILL);
        unlink(logpath);
    }

    std::string d() const { return sh_quote(stubs.path()); }

    void helper(const std::string &name, const Helper &h)
    {
        stubs.write(name + ".payload", h.payload);
        std::string b = "d=" + d() + "\necho $$ >> \"$d/pids\"\n";
        b += h.ignore_term ? "trap '' TERM\n" : "trap 'exit 0' TERM\n";
        b += "n=$(cat \"$d/" + name + ".count\" 2>/dev/null || echo 0)\necho $((n + 1)) > \"$d/" + name + ".count\"\n";
        // The shell reports a foreground command killed by the stop's
        // SIGTERM ("Terminated") on its standard error; that is no line the
        // helper printed.
        const std::string quiet = "exec 2>/dev/null\n";
        b += "if [ \"$n\" = 0 ]; then\ncat \"$d/" + name + ".payload\"\n" + quiet + h.after + "\nelse\n" + quiet + h.later + "\n:\nfi\n";
        stubs.script(name, b);
    }

    void start()
    {
        run = start_rundiags(stubs);
        ASSERT_TRUE(wait_menu(*run));
        ASSERT_TRUE(open_burnin(*run));
    }

    // Stops the test if it still runs, leaves it and quits the program.
    void stop_and_quit()
    {
        // The Details list may no longer follow its end (the keys scrolled
        // it), so the status bar tells the state: "[RUNNING]" until a stop
        // or the summary, "[STOPPING]" until the summary, then nothing.
        if (run->has_text("[RUNNING]")) {
            run->send("q");
            ASSERT_TRUE(run->wait_text("Stop the burn-in test now? (y/n)", 15000)) << run->dump();
            run->send("y");
            ASSERT_TRUE(run->wait_gone("[RUNNING]", 10000)) << run->dump();
        }
        // After a stop, Enter leaves even before helpers that ignore SIGTERM end.
        run->send(keys::Enter);
        ASSERT_TRUE(wait_menu(*run, 20000));
        quit(*run);
    }

    // The checks every hostile run ends with.
    void expect_clean_end()
    {
        EXPECT_TRUE(run->exited());
        expect_clean_terminal(*run);
        expect_helpers_gone(stubs.file("pids"));
    }

    StubDir stubs;
    std::unique_ptr<PtyRun> run;
};

class BurnInHostile : public BurnInHostileBase, public ::testing::WithParamInterface<Scenario> {};

TEST_P(BurnInHostile, SurvivesAndLogsExactlyWhatWasPrinted)
{
    const Scenario &sc = GetParam();
    helper("netburn", sc.net);
    helper("diskburn", sc.disk);
    const std::vector<std::string> wantnet = lines_of(sc.net.payload, line_cap, '@');
    const std::vector<std::string> wantdisk = lines_of(sc.disk.payload, line_cap);
    start();
    LogParts got;
    const bool complete = run->wait_until(
        [&] {
            got = parse_log(read_file(logpath));
            return got.net.size() >= wantnet.size() && got.disk.size() >= wantdisk.size();
        },
        30000);
    EXPECT_TRUE(complete) << run->dump();

    // The operator types at random, then a NUL (nothing), and the test goes on.
    std::mt19937 rng(std::hash<std::string>()(sc.name));
    for (const std::string &k : random_keys(rng, 40)) {
        run->send(k);
        run->pump(5);
    }
    run->send(std::string(1, '\0'));
    // Every key costs a pass that repaints the status rows in full, and a
    // megabyte message makes each pass slow (most of all in a sanitizer
    // build): let the program work off the keys first.
    EXPECT_TRUE(wait_idle(*run));
    run->settle();
    EXPECT_FALSE(run->has_text("Stop Test")) << run->dump();
    EXPECT_TRUE(run->has_text("Burn-in Test")) << run->dump();

    stop_and_quit();
    expect_clean_end();
    got = parse_log(read_file(logpath));
    EXPECT_EQ(got.stray, std::vector<std::string>{});
    EXPECT_EQ(first_difference(got.net, wantnet), "") << "network lines";
    EXPECT_EQ(first_difference(got.disk, wantdisk), "") << "disk lines";
}

std::string seeded_junk(unsigned seed, size_t lines)
{
    std::mt19937 rng(seed);
    return junk(rng, lines);
}

// A line of several megabytes of mixed bytes, without '\n' and not starting with '@'.
std::string huge_line(size_t n)
{
    std::mt19937 rng(7);
    std::string s = "huge:";
    while (s.size() < n) {
        char c = char(rng() % 256);
        s += c == '\n' ? ' ' : c;
    }
    return s;
}

const std::string pidrec = "echo $! >> \"$d/pids\"; ";

const Scenario scenarios[] = {
    {"RandomBytesWithoutFinalNewline",
     {seeded_junk(1, 80) + "no newline at the end", "exit 0"},
     {seeded_junk(2, 80) + "disk tail without newline", "exit 0"}},
    {"MegabyteLines",
     {"before\n" + huge_line(3 * line_cap + 12345) + "\nafter\n"},
     {huge_line(line_cap + 1) + "\n" + huge_line(2 * line_cap - 7)}},
    {"ExitAtOnceAndSigkillMidLine",
     {"first line\npartial line cut by SIGKILL", "kill -9 $$"},
     {"", "exit 0"}},
    {"NeverExitAndIgnoreTerm",
     {"net up\n", "while :; do sleep 0.1; done", "", true},
     {"disk up\n", "while :; do sleep 0.1; done", "", true}},
    {"CloseOutputAndGoOn",
     {"closing my output\n", "exec >&- 2>&-; while :; do sleep 0.1; done"},
     {"me too\n", "exec >&- 2>&-; while :; do sleep 0.1; done"}},
    {"BackgroundProcessHoldsThePipe",
     {"leaving a sleeper\n", "sleep 300 & " + pidrec + "exit 0"},
     {"leaving a loop\n", "(while :; do sleep 0.1; done) & " + pidrec + "exit 0"}},
    {"WorkerProcesses",
     {"two workers\n", "sleep 300 & " + pidrec + "sleep 300 & " + pidrec + "while :; do sleep 0.1; done"},
     {"a worker that ignores TERM\n",
      "(trap '' TERM; while :; do sleep 0.1; done) & " + pidrec + "while :; do sleep 0.1; done"}},
    {"CrLfAndProgressCounters",
     {"progress 10%\r20%\r30%\r\nline two\r\n@1000 eth0=1000 eth1=990\r\n\r\n"},
     {"pass 1\r\n\r\n 5%\r 10%\r 15%\r\n"}},
};

void PrintTo(const Scenario &sc, std::ostream *os)
{
    *os << sc.name;
}

INSTANTIATE_TEST_SUITE_P(BurnInHostile, BurnInHostile, ::testing::ValuesIn(scenarios),
                         [](const auto &p) { return std::string(p.param.name); });

// Helpers that end cleanly at once, again and again: restarted at most about
// once a second, so the program stays idle and the log small.
TEST_F(BurnInHostileBase, ExitZeroAtOnceIsThrottled)
{
    Helper h;
    h.payload = "done\n";
    h.later = "echo done; exit 0";
    helper("netburn", h);
    helper("diskburn", h);
    start();
    ASSERT_TRUE(run->wait_until([&] { return stubs.exists("diskburn.count"); }));
    const long long t0 = run->cpu_ticks();
    const auto c0 = std::chrono::steady_clock::now();
    run->wait_until([] { return false; }, 4000);
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - c0).count();
    const long long used = run->cpu_ticks() - t0;
    const int runs = std::atoi(read_file(stubs.file("diskburn.count")).c_str());
    EXPECT_LE(runs, int(secs) + 3) << "restarts are throttled to one a second";
    EXPECT_GE(runs, 2);
    EXPECT_LE(used, sysconf(_SC_CLK_TCK) / 2) << "CPU ticks in " << secs << " s";
    EXPECT_LT(read_file(logpath).size(), 4096u);
    stop_and_quit();
    expect_clean_end();
}

// The terminal goes away while the helpers chatter (one ignores SIGTERM):
// the program ends with status 0, ends its helpers, and the log is a clean
// record of what it read.
TEST_F(BurnInHostileBase, HangupWhileRunning)
{
    const std::string count = "i=0; while :; do i=$((i + 1)); echo \"$i\"; sleep 0.01; done";
    Helper net;
    net.after = count;
    Helper disk;
    disk.after = count;
    disk.ignore_term = true;
    helper("netburn", net);
    helper("diskburn", disk);
    start();
    ASSERT_TRUE(run->wait_until([&] { return parse_log(read_file(logpath)).net.size() >= 20; }, 10000))
        << run->dump();
    run->hangup();
    EXPECT_EQ(run->wait_exit(20000), 0);
    expect_helpers_gone(stubs.file("pids"));
    LogParts got = parse_log(read_file(logpath));
    EXPECT_EQ(got.stray, std::vector<std::string>{});
    EXPECT_FALSE(got.summary);
    // Each helper's lines are 1, 2, 3 ... with none lost or garbled.
    for (const auto *seq : {&got.net, &got.disk}) {
        for (size_t i = 0; i < seq->size(); i++)
            ASSERT_EQ((*seq)[i], std::to_string(i + 1));
    }
    EXPECT_GE(got.net.size(), 20u);
}

} // namespace
