// Whole sessions through every menu entry, compared byte for byte with the
// recorded terminal output (and /tmp/burnin.log) in transcripts/. The helpers
// are stubs that print only what the test feeds them, one line per step, and
// every step waits until the screen has settled, so no timing gets into the
// bytes. RUNDIAGS_RECORD=1 writes the transcripts afresh instead.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "e2e.h"

namespace {

const char *const burnlog = "/tmp/burnin.log";

// One step: keys typed at the terminal (`stub` empty) or one command line fed
// to a stub ("exit N" ends it, anything else it prints); then the screen
// shows `wait` (when given) and goes quiet.
struct Step {
    std::string stub, text, wait;
};

struct Session {
    std::string name;                  // names the transcript files too
    std::vector<std::string> fed;      // stubs that print what they are fed
    std::map<std::string, int> ending; // stubs that only exit with a code
    std::vector<Step> steps;
};

// Test names show the session, not its bytes.
void PrintTo(const Session &s, std::ostream *os)
{
    *os << s.name;
}

const std::string down(keys::Down);

Step key(std::string_view k, const std::string &wait = "") { return {"", std::string(k), wait}; }
Step feed(const std::string &stub, const std::string &line, const std::string &wait = "") { return {stub, line, wait}; }

const std::vector<Step> quit_steps = {key(keys::Esc, "Really quit?"), key("y")};

std::vector<Step> join(std::vector<Step> a, const std::vector<Step> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<Step> probe(std::string_view opener)
{
    return join({key(opener, "Configure Hardware"), key(keys::Enter, "Details"),
                 feed("compat.pl", "CPU: Example 2.0GHz", "Example"), feed("compat.pl", "   Status: SUPPORTED"),
                 feed("compat.pl", "Disk: sda example disk", "sda"), feed("compat.pl", "exit 0", "FINISHED"),
                 key(keys::Up), key(keys::PgUp), key(keys::Enter, "Main Menu")},
                quit_steps);
}

std::vector<Step> floppy()
{
    return join({key(down + down + down + down), key(keys::Enter, "Insert Floppy Disk"), key("x"),
                 key(keys::Enter, "the floppy disk"), key("z"), key("q", "Main Menu")},
                quit_steps);
}

std::vector<Step> burnin()
{
    return join({key(down + down + down), key(keys::Enter, "THIS IS DANGEROUS"),
                 key(keys::Enter, "VERY"), key("y", "Configure Hardware"), key(keys::Enter, "Burn-in Test"),
                 feed("diskburn", "Writing pass 1", "Writing"), feed("netburn", "@1000 eth0=1000 eth1=870", "eth1"),
                 feed("netburn", "link up on eth0", "link up"), feed("diskburn", "exit 0", "starting again"),
                 feed("diskburn", "Reading pass 2", "Reading"), key("q", "Stop the burn-in"), key("n"),
                 key(keys::Down), key(keys::Enter, "Stop the burn-in"), key("y", "HALTED"),
                 feed("diskburn", "exit 143", "code 143"), feed("netburn", "exit 0", "Press Enter When Done"),
                 key(keys::Up), key(keys::Enter, "Main Menu")},
                quit_steps);
}

const std::vector<Session> sessions = {
    {"menu",
     {},
     {},
     join({key(down), key(down), key(keys::Up), key(keys::Home), key(keys::PgDn), key("\x0c"), key(keys::End),
           key(keys::Enter, "Really quit?"), key("x"), key("n", "Main Menu"), key(keys::Esc, "Really quit?"),
           key(keys::Esc, "Main Menu")},
          quit_steps)},
    {"basic_probe", {"compat.pl"}, {}, probe(keys::Enter)},
    {"advanced_probe", {"compat.pl"}, {}, probe(down + std::string(keys::Enter))},
    {"memory_notice", {}, {}, join({key(down + down), key(keys::Enter, "Memory Test"), key("\x0c"), key("a")},
                                   quit_steps)},
    {"burnin_TmpLogs", {"netburn", "diskburn"}, {}, burnin()},
    {"floppy_success", {}, {{"makefloppy", 0}}, floppy()},
    {"floppy_failure", {}, {{"makefloppy", 4}}, floppy()},
};

bool recording()
{
    const char *r = std::getenv("RUNDIAGS_RECORD");
    return r && *r && std::string(r) != "0";
}

// Where two byte strings first part, with some bytes around it escaped.
std::string first_difference(const std::string &want, const std::string &got)
{
    size_t i = 0;
    while (i < want.size() && i < got.size() && want[i] == got[i])
        i++;
    auto around = [i](const std::string &s) {
        std::string out;
        for (size_t j = i < 40 ? 0 : i - 40; j < s.size() && j < i + 40; j++) {
            const unsigned char c = static_cast<unsigned char>(s[j]);
            if (c >= 32 && c < 127 && c != '\\')
                out += char(c);
            else
                out += "\\x" + std::string(1, "0123456789abcdef"[c >> 4]) + "0123456789abcdef"[c & 15];
        }
        return out;
    };
    return "first difference at byte " + std::to_string(i) + " of " + std::to_string(want.size()) + "/" +
           std::to_string(got.size()) + "\n want: " + around(want) + "\n  got: " + around(got);
}

void compare(const std::string &file, const std::string &got)
{
    const std::string path = std::string(TRANSCRIPT_DIR) + "/" + file;
    if (recording()) {
        write_file(path, got);
        return;
    }
    const std::string want = read_file(path);
    ASSERT_FALSE(want.empty()) << "no transcript " << path << " (RUNDIAGS_RECORD=1 records it)";
    EXPECT_TRUE(want == got) << file << ": " << first_difference(want, got);
}

// Only the sessions that hold the lock on the fixed log paths may touch them.
bool owns_tmp_logs(const Session &s)
{
    return s.name.find("TmpLogs") != std::string::npos;
}

class Transcript : public ::testing::TestWithParam<Session> {
protected:
    void SetUp() override
    {
        if (owns_tmp_logs(GetParam()))
            unlink(burnlog);
    }
    void TearDown() override
    {
        for (auto &f : feeds)
            close(f.second);
        if (owns_tmp_logs(GetParam()))
            unlink(burnlog);
    }
    // A stub that prints the lines fed into its FIFO and exits when told;
    // it ignores SIGTERM, so that how it ends is the test's to say.
    void fed_stub(const std::string &name)
    {
        const std::string fifo = stubs.file(name + ".feed");
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        feeds[name] = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
        stubs.script(name, "trap '' TERM\nexec < " + sh_quote(fifo) +
                               "\nwhile IFS= read -r l; do case $l in 'exit '*) exit ${l#exit };;"
                               " *) printf '%s\\n' \"$l\";; esac; done\n");
    }
    void play(const Step &s)
    {
        if (s.stub.empty()) {
            run->send(s.text);
        } else {
            const std::string line = s.text + "\n";
            ASSERT_EQ(write(feeds.at(s.stub), line.data(), line.size()), ssize_t(line.size()));
        }
        if (!s.wait.empty()) {
            ASSERT_TRUE(run->wait_text(s.wait, 10000)) << run->dump();
        }
        run->settle(250, 10000);
    }
    StubDir stubs;
    std::map<std::string, int> feeds;
    std::unique_ptr<PtyRun> run;
};

TEST_P(Transcript, ReplaysByteForByte)
{
    const Session &s = GetParam();
    for (const auto &name : s.fed)
        fed_stub(name);
    for (const auto &[name, code] : s.ending) {
        StubDir::Stub st;
        st.exit_code = code;
        stubs.stub(name, st);
    }
    run = start_rundiags(stubs);
    ASSERT_TRUE(wait_menu(*run));
    for (const Step &step : s.steps)
        ASSERT_NO_FATAL_FAILURE(play(step));
    ASSERT_EQ(run->wait_exit(20000), 0);
    compare(s.name + ".out", run->output());
    if (owns_tmp_logs(s))
        compare(s.name + ".log", read_file(burnlog));
}

INSTANTIATE_TEST_SUITE_P(Sessions, Transcript, ::testing::ValuesIn(sessions),
                         [](const ::testing::TestParamInfo<Session> &p) { return p.param.name; });

} // namespace
