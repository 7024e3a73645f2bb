// A hostile probe, an operator who types at random, and a terminal that
// goes away in the middle of things.
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "hostile.h"

namespace {

using namespace hostile;

// A probe that records its pid, prints `payload` exactly and then runs `after`.
void probe(StubDir &stubs, const std::string &payload, const std::string &after = "exit 0")
{
    stubs.write("probe.out", payload);
    stubs.script("compat.pl", "d=" + sh_quote(stubs.path()) + "\necho $$ >> \"$d/pids\"\ncat \"$d/probe.out\"\n" + after + "\n");
}

void open_compat(PtyRun &run)
{
    ASSERT_TRUE(wait_menu(run));
    run.send(keys::Enter);
    ASSERT_TRUE(run.wait_text("Press ENTER to begin...")) << run.dump();
    run.send(keys::Enter);
    ASSERT_TRUE(run.wait_text("Details")) << run.dump();
}

TEST(CompatHostile, JunkOutputMegabyteLineAndRandomKeys)
{
    StubDir stubs;
    std::mt19937 rng(11);
    std::string payload = junk(rng, 150);
    payload += "CPU: \x1b[2J\x07\x08" + std::string(3 << 20, 'c') + "\n   Status: SUPPORTED\x1b[m\n";
    payload += junk(rng, 50) + "no newline at the end";
    probe(stubs, payload);
    auto run = start_rundiags(stubs);
    open_compat(*run);
    for (const std::string &k : random_keys(rng, 40)) {
        run->send(k);
        run->pump(5);
    }
    run->send(std::string(1, '\0'));
    // The keys may have stopped the list from following its end, so the
    // status bar tells when the probe's output has been worked off.
    ASSERT_TRUE(run->wait_gone("[RUNNING]", 30000)) << run->dump();
    // End brings the list back to its last line: the closing notice.
    run->send(keys::End);
    ASSERT_TRUE(run->wait_text("** FINISHED - Press Enter When Done **", 10000)) << run->dump();
    run->send(keys::Enter);
    quit(*run);
    expect_clean_terminal(*run);
    expect_helpers_gone(stubs.file("pids"));
}

// The terminal goes away while the probe runs (one that ignores SIGTERM) or
// after it finished: status 0, and no probe process is left.
struct Hangup {
    const char *name, *after, *seen;
};
void PrintTo(const Hangup &h, std::ostream *os)
{
    *os << h.name;
}
class CompatHangup : public ::testing::TestWithParam<Hangup> {};

TEST_P(CompatHangup, EndsWithStatusZeroAndNoProbeLeft)
{
    StubDir stubs;
    probe(stubs, "CPU: something\n   Status: SUPPORTED\n", GetParam().after);
    auto run = start_rundiags(stubs);
    open_compat(*run);
    ASSERT_TRUE(run->wait_text(GetParam().seen, 10000)) << run->dump();
    run->hangup();
    EXPECT_EQ(run->wait_exit(20000), 0);
    expect_helpers_gone(stubs.file("pids"));
}

INSTANTIATE_TEST_SUITE_P(
    CompatHostile, CompatHangup,
    ::testing::Values(Hangup{"WhileTheProbeRunsAndIgnoresTerm",
                             "trap '' TERM\ni=0; while :; do i=$((i + 1)); echo \"line $i\"; sleep 0.01; done", "line 20"},
                      Hangup{"AfterTheProbeFinished", "exit 0", "** FINISHED - Press Enter When Done **"}),
    [](const auto &p) { return std::string(p.param.name); });

// Memory test notice (third entry) and floppy warning (fifth entry).
class HostileDialog : public ::testing::TestWithParam<std::pair<int, const char *>> {};

TEST_P(HostileDialog, HangupInADialogEndsWithStatusZero)
{
    StubDir stubs;
    stubs.stub("makefloppy", {});
    auto run = start_rundiags(stubs);
    ASSERT_TRUE(wait_menu(*run));
    for (int i = 0; i < GetParam().first; i++)
        run->send(keys::Down);
    run->send(keys::Enter);
    ASSERT_TRUE(run->wait_text(GetParam().second)) << run->dump();
    run->hangup();
    EXPECT_EQ(run->wait_exit(), 0);
    EXPECT_EQ(stubs.runs_of("makefloppy"), 0);
}

INSTANTIATE_TEST_SUITE_P(Hostile, HostileDialog,
                         ::testing::Values(std::make_pair(2, "Can't Memory Test"),
                                           std::make_pair(4, "THE CONTENTS OF THE FLOPPY WILL BE ERASED!")),
                         [](const auto &p) { return p.param.first == 2 ? "MemoryNotice" : "FloppyWarning"; });

} // namespace
