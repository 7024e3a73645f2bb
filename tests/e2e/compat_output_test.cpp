// The compatibility test under awkward probe output and awkward keys:
// following and scrolling, hostile bytes, bursts, NUL keys, typed-ahead keys
// and an idle finished screen.
#include <cstdlib>

#include "compat_e2e.h"

namespace {

std::string numbered(int from, int to)
{
    std::string s;
    for (int i = from; i <= to; i++)
        s += "output line " + std::to_string(i) + "\n";
    return s;
}

} // namespace

TEST_F(CompatE2E, ListFollowsUntilUpAndResumesOnEnd)
{
    // Three bursts; the probe waits for a file between them.
    stubs.write("part1", numbered(1, 30));
    stubs.write("part2", numbered(31, 40) + "NETWORK: Card (mark2)\n   Status: SUPPORTED\n");
    stubs.write("part3", numbered(41, 50));
    const std::string d = sh_quote(stubs.path());
    stubs.script("compat.pl", "cat " + d + "/part1\nwhile [ ! -e " + d + "/go1 ]; do sleep 0.02; done\ncat " + d +
                                  "/part2\nwhile [ ! -e " + d + "/go2 ]; do sleep 0.02; done\ncat " + d + "/part3\n");
    open();
    ASSERT_TRUE(run->wait_until([&] { return highlighted("output line 30"); })) << run->dump();

    run->key(keys::Up);
    ASSERT_TRUE(run->wait_until([&] { return highlighted("output line 29"); })) << run->dump();
    stubs.write("go1", "");
    ASSERT_TRUE(run->wait_text("mark2")) << run->dump();     // the summary shows the second burst was read
    run->settle();
    EXPECT_TRUE(highlighted("output line 29")) << run->dump();
    EXPECT_FALSE(run->has_text("output line 31")) << run->dump();
    EXPECT_TRUE(run->has_text("output line 30"));

    run->key(keys::End);
    ASSERT_TRUE(run->wait_until([&] { return highlighted("   Status: SUPPORTED"); })) << run->dump();
    stubs.write("go2", "");
    ASSERT_TRUE(finished()) << run->dump();
    ASSERT_TRUE(run->wait_until([&] { return highlighted("** FINISHED - Press Enter When Done **"); }))
        << run->dump();
    EXPECT_TRUE(run->has_text("output line 50"));

    // After the end the list still scrolls, and the summary stays.
    run->key(keys::Home);
    ASSERT_TRUE(run->wait_until([&] { return highlighted("Running: compat.pl"); })) << run->dump();
    EXPECT_TRUE(run->has_text("Network: mark2"));
}

TEST_F(CompatE2E, BurstIsShownCompletelyInOrder)
{
    const int n = 3000;
    probe(numbered(1, n));
    open();
    ASSERT_TRUE(finished(20000)) << run->dump();
    EXPECT_TRUE(run->has_text("(All these log messages are in \"/tmp/compat.log\")"));
    // Page back through the whole list from its top: every line, in order, once.
    run->key(keys::Home);
    ASSERT_TRUE(run->wait_until([&] { return highlighted("Running: compat.pl"); })) << run->dump();
    int next = 1;
    for (int page = 0; page < n / 9 + 5 && next <= n; page++) {
        for (const std::string &item : details()) {
            if (item.rfind("output line ", 0) != 0)
                continue;
            int k = std::atoi(item.c_str() + 12);
            if (k < next)
                continue;     // already seen on the previous page
            ASSERT_EQ(k, next) << run->dump();
            next++;
        }
        if (next > n)
            break;
        // Page Down first moves the highlight to the page's last row, then scrolls.
        auto view = [&] { return std::make_pair(details(), currentrow()); };
        auto before = view();
        run->key(keys::PgDn);
        ASSERT_TRUE(run->wait_until([&] { return view() != before; })) << run->dump();
    }
    EXPECT_EQ(next, n + 1);
}

TEST_F(CompatE2E, HostileOutputIsShownHarmlessly)
{
    std::string out;
    out += "NETWORK: Intel (e1000)\r\n";                      // CR LF endings
    out += "   Status: SUPPORTED\r\n";
    out += "   Status: SUPPORTED\n";                          // status again: recorded again
    out += "binary \x01\x02\x7f\xff\xfe bytes\n";
    out += "\x1b[2J\x1b[H\x1b]0;TITLE\x07\x1b[31mESC-LINE\x1b[0m\n";
    out += "VIDEO: Evil\x1b[5;5Hcard\n";
    out += "   Status: SUPPORTED\n";
    out += "CPU: Odd (k7)\n";
    out += "   Status: PERHAPS\n";                            // unknown status word
    out += std::string(1 << 20, 'M') + "\n";                  // a megabyte in one line
    out += std::string("NUL\0inside\n", 11);
    out += "DISK: Maxtor 6Y080 - hda (80 GB)\n   Status: SUPPORTED\n";
    out += "last line without newline";
    probe(out);
    open();
    ASSERT_TRUE(finished(20000)) << run->dump();
    ASSERT_TRUE(run->settle());

    EXPECT_TRUE(run->has_text("ORVEX Compatibility and Diagnostics")) << run->dump();   // not cleared
    EXPECT_EQ(sumtext(5), pad("  Network: e1000, e1000")) << run->dump();
    EXPECT_EQ(sumtext(4), pad("    Video: Evil [5;5Hcard")) << run->dump();
    EXPECT_EQ(sumtext(7), pad("    Disks: hda")) << run->dump();
    EXPECT_EQ(sumtext(1).substr(0, 26), "      CPU: NONE x 1       ") << run->dump();
    // None of the probe's escape sequences reached the terminal.
    EXPECT_EQ(run->output().find("\x1b]0;TITLE"), std::string::npos);
    EXPECT_EQ(run->output().find("\x1b[5;5H"), std::string::npos);
    EXPECT_EQ(run->output().find("\x1b[31m"), std::string::npos);
    EXPECT_EQ(run->output().find('\xff'), std::string::npos);

    run->key(keys::Home);
    ASSERT_TRUE(run->wait_until([&] { return highlighted("Running: compat.pl"); })) << run->dump();
    std::vector<std::string> d = details();
    EXPECT_EQ(d[2], "NETWORK: Intel (e1000)") << run->dump();      // the CR shows as a blank
    EXPECT_EQ(d[3], "   Status: SUPPORTED");
    EXPECT_EQ(d[5].substr(0, 7), "binary ");
    EXPECT_NE(d[6].find("ESC-LINE"), std::string::npos);
    EXPECT_EQ(d[6].find('\x1b'), std::string::npos);
    run->key(keys::End);
    ASSERT_TRUE(run->wait_until([&] { return highlighted("** FINISHED - Press Enter When Done **"); }));
    EXPECT_TRUE(run->has_text("last line without newline")) << run->dump();
    EXPECT_TRUE(run->has_text("NUL inside")) << run->dump();
    EXPECT_TRUE(run->has_text("MMMMMMMMMMMMMMMMMMMM")) << run->dump();
}

TEST_F(CompatE2E, NulKeyDoesNotStallTheTest)
{
    probe("before\n", true, "after the gate\n");
    open();
    ASSERT_TRUE(run->wait_text("before")) << run->dump();
    run->send(std::string_view("\0", 1));
    run->settle();
    release();
    // Were the NUL taken as a key prefix, the loop would wait for another key
    // and the rest of the output would not appear.
    ASSERT_TRUE(run->wait_text("after the gate")) << run->dump();
    ASSERT_TRUE(finished()) << run->dump();
    leave();
}

TEST_F(CompatE2E, KeysTypedTogetherAreAllTaken)
{
    probe(numbered(1, 20), true);
    open();
    ASSERT_TRUE(run->wait_until([&] { return highlighted("output line 20"); })) << run->dump();
    // One write: the Enter lands in the key decoder behind the Up.
    leave(std::string(keys::Up) + std::string(keys::Enter));
}

TEST_F(CompatE2E, FinishedScreenWaitsWithoutUsingTheProcessor)
{
    probe(numbered(1, 10));
    open();
    ASSERT_TRUE(finished()) << run->dump();
    ASSERT_TRUE(run->settle());
    long long before = run->cpu_ticks();
    run->pump(700);     // the measuring window; the program should sleep throughout
    long long used = run->cpu_ticks() - before;
    EXPECT_LE(used, 3) << "ticks of CPU while waiting for Enter";
    // And it still answers.
    run->key(keys::Up);
    EXPECT_TRUE(run->wait_until([&] { return !highlighted("** FINISHED - Press Enter When Done **"); }));
    leave();
}

TEST_F(CompatE2E, EnterIsTakenPromptlyDuringEndlessOutput)
{
    // The probe never stops talking; the operator must still get out.
    probe_script("exec yes 'NETWORK: Flooding adapter (flood0)'\n");
    open();
    const pid_t pid = probepid("Flooding adapter");
    ASSERT_GT(pid, 0);
    // The list keeps following while the flood goes on.
    ASSERT_TRUE(run->wait_until([&] { return currentrow() == 21; })) << run->dump();
    leave(keys::Enter, 3000);
    expect_probe_gone(pid);
}
