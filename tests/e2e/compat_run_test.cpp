// The compatibility test from the menu: asking, starting the probe, the
// summary at the end, and leaving.
#include "compat_e2e.h"

namespace {

const char realistic[] = "Checking the hardware of this server...\n"
                         "CPU: Intel(R) Xeon(TM) CPU 2.80GHz (P4)\n"
                         "   Status: SUPPORTED\n"
                         "CPU: Intel(R) Xeon(TM) CPU 2.80GHz (P4)\n"
                         "   Status: SUPPORTED\n"
                         "Memory Total: 2048 MB\n"
                         "VIDEO: ATI Technologies Inc Rage XL (rev 27)\n"
                         "   Status: SUPPORTED\n"
                         "NETWORK: Intel Corporation 82546EB Gigabit Ethernet Controller (e1000)\n"
                         "   Status: SUPPORTED\n"
                         "NETWORK: Realtek RTL-8139 (8139too)\n"
                         "   Status: UNSUPPORTED\n"
                         "NETWORK: Broadcom NetXtreme BCM5704 (tg3)\n"
                         "   Status: SUPPORTED\n"
                         "SCSI: Adaptec AIC-7902 U320 (aic79xx)\n"
                         "   Status: SUPPORTED\n"
                         "IDE: Intel 82801EB IDE [ICH5] (piix)\n"
                         "   Status: SUPPORT UNKNOWN\n"
                         "DISK: SEAGATE ST373207LW - sda (73 GB)\n"
                         "   Status: SUPPORTED\n"
                         "DISK: SEAGATE ST373207LW - sdb (73 GB)\n"
                         "   Status: SUPPORTED\n"
                         "ttyS0: 16550A\n"
                         "ttyS1: 16550A\n"
                         "Done.\n";

} // namespace

TEST_F(CompatE2E, EscapeInTheQuestionStartsNothing)
{
    probe("should never run\n");
    start();
    run->key(keys::Enter);
    ASSERT_TRUE(run->wait_text("Configure Hardware")) << run->dump();
    ASSERT_TRUE(run->wait_text("other peripherals that you want to detect.")) << run->dump();
    run->key(keys::Esc);
    ASSERT_TRUE(run->wait_gone("Configure Hardware")) << run->dump();
    ASSERT_TRUE(run->wait_until([&] { return highlighted("Basic Compatibility Test"); })) << run->dump();
    run->settle();
    EXPECT_EQ(run->output().find("Running: compat.pl"), std::string::npos);
    EXPECT_EQ(run->output().find("Details"), std::string::npos);
    EXPECT_FALSE(stubs.exists("compat.pl.argv"));
    EXPECT_FALSE(stubs.exists("probe.pid"));
}

TEST_F(CompatE2E, BasicPassesOneEmptyArgumentAndNamesItsLog)
{
    probe("");
    open();
    ASSERT_TRUE(finished()) << run->dump();
    EXPECT_EQ(stubs.argv_of("compat.pl"), std::vector<std::string>{""});
    run->settle();
    std::vector<std::string> d = details();
    ASSERT_EQ(d.size(), 9u);
    // Start lines, then the four closing lines; nothing else.
    EXPECT_EQ(d[0], "Running: compat.pl");     // its trailing blank is cut here
    EXPECT_EQ(d[1], "");
    EXPECT_EQ(d[2], "");
    EXPECT_EQ(d[3], "(All these log messages are in \"/tmp/compat.log\")");
    EXPECT_EQ(d[4], "");
    EXPECT_EQ(d[5], "** FINISHED - Press Enter When Done **");
    EXPECT_EQ(d[6], "");
    EXPECT_TRUE(highlighted("** FINISHED - Press Enter When Done **"));
    EXPECT_TRUE(run->has_text("Basic Compatibility Test")) << run->dump();     // the window's title
    // The argument is there even though empty: "Running: compat.pl " ends in a blank.
    EXPECT_NE(run->output().find("Running: compat.pl "), std::string::npos);
}

TEST_F(CompatE2E, AdvancedPassesDashAAndNamesItsLog)
{
    probe("");
    open(true);
    ASSERT_TRUE(finished()) << run->dump();
    EXPECT_EQ(stubs.argv_of("compat.pl"), std::vector<std::string>{"-a"});
    EXPECT_TRUE(run->has_text("Running: compat.pl -a")) << run->dump();
    EXPECT_TRUE(run->has_text("(All these log messages are in \"/tmp/compat-a.log\")")) << run->dump();
    EXPECT_TRUE(run->has_text("Advanced Compatibility Test")) << run->dump();
    leave();
    ASSERT_TRUE(run->wait_until([&] { return highlighted("Advanced Compatibility Test"); })) << run->dump();
}

TEST_F(CompatE2E, RealisticProbeGivesTheSevenSummaryRows)
{
    probe(realistic);
    open();
    ASSERT_TRUE(finished()) << run->dump();
    ASSERT_TRUE(run->settle());

    EXPECT_EQ(sumtext(1), pad("      CPU: P4 x 2" + rep(19 + 5, ' ') + "Memory: 2048 MB usable")) << run->dump();
    EXPECT_EQ(sumcolours(1), pad(rep(10, 'L') + rep(31, 'N') + rep(7, 'L'), sumwidth, 'N'));
    EXPECT_EQ(sumtext(2), pad("   Serial: ttyS0, ttyS1"));
    EXPECT_EQ(sumcolours(2), pad(rep(10, 'L') + rep(6, 'N') + "L", sumwidth, 'N'));
    EXPECT_EQ(sumtext(3), pad(" Parallel: "));
    EXPECT_EQ(sumcolours(3), pad(rep(10, 'L'), sumwidth, 'N'));
    EXPECT_EQ(sumtext(4), pad("    Video: ATI Technologies Inc Rage XL (rev 27)"));
    EXPECT_EQ(sumcolours(4), pad(rep(10, 'L'), sumwidth, 'N'));
    EXPECT_EQ(sumtext(5), pad("  Network: e1000, tg3"));
    EXPECT_EQ(sumcolours(5), pad(rep(10, 'L') + rep(6, 'N') + "L", sumwidth, 'N'));
    EXPECT_EQ(sumtext(6), pad(" SCSI/IDE: aic79xx SCSI"));
    EXPECT_EQ(sumcolours(6), pad(rep(10, 'L'), sumwidth, 'N'));
    EXPECT_EQ(sumtext(7), pad("    Disks: sda, sdb"));
    EXPECT_EQ(sumcolours(7), pad(rep(10, 'L') + rep(4, 'N') + "L", sumwidth, 'N'));
    // The window's frame sits right around the seven rows.
    EXPECT_TRUE(run->vt().is_glyph(2, 2, 'l')) << run->dump();
    EXPECT_TRUE(run->vt().is_glyph(77, 10, 'j')) << run->dump();
}

TEST_F(CompatE2E, SilentProbeGivesQuestionMarksAndNone)
{
    probe("");
    open();
    ASSERT_TRUE(finished()) << run->dump();
    ASSERT_TRUE(run->settle());
    EXPECT_EQ(sumtext(1), pad("      CPU: ??" + rep(23 + 5, ' ') + "Memory: NONE usable")) << run->dump();
    EXPECT_EQ(sumcolours(1), pad(rep(10, 'L') + rep(31, 'N') + rep(7, 'L') + "NAAAA", sumwidth, 'N'));
    EXPECT_EQ(sumtext(2), pad("   Serial: "));
    EXPECT_EQ(sumtext(3), pad(" Parallel: "));
    EXPECT_EQ(sumtext(4), pad("    Video: NONE"));
    EXPECT_EQ(sumtext(5), pad("  Network: NONE"));
    EXPECT_EQ(sumtext(6), pad(" SCSI/IDE: NONE"));
    EXPECT_EQ(sumtext(7), pad("    Disks: NONE"));
    for (int n = 4; n <= 7; n++)
        EXPECT_EQ(sumcolours(n), pad(rep(10, 'L') + "NAAAA", sumwidth, 'N')) << "row " << n;
    EXPECT_FALSE(run->has_text("[RUNNING]"));
}

TEST_F(CompatE2E, StatusBarShowsRunningUntilTheProbeEnds)
{
    probe("first\n", true, "second\n");
    open();
    ASSERT_TRUE(run->wait_text("first")) << run->dump();
    EXPECT_TRUE(run->wait_text("[RUNNING]")) << run->dump();
    release();
    ASSERT_TRUE(finished()) << run->dump();
    EXPECT_TRUE(run->has_text("second"));
    EXPECT_TRUE(run->wait_gone("[RUNNING]")) << run->dump();
}

TEST_F(CompatE2E, EnterWhileRunningLeavesAtOnceAndEndsTheProbe)
{
    probe("CPU: Intel Xeon (P4)\n   Status: SUPPORTED\nprobing the rest\n", true, "never shown\n");
    open();
    ASSERT_TRUE(run->wait_text("probing the rest")) << run->dump();
    const pid_t pid = probepid("P4 x 1");
    ASSERT_GT(pid, 0);
    ASSERT_FALSE(reaped(pid));
    leave();
    ASSERT_TRUE(run->wait_until([&] { return highlighted("Basic Compatibility Test"); })) << run->dump();
    expect_probe_gone(pid);     // ended and reaped before the menu came back
    // The status bar is the last row of the update that brought the menu
    // back: the terminal may not have had all of it yet.
    run->settle();
    EXPECT_FALSE(run->has_text("[RUNNING]"));
    EXPECT_FALSE(run->has_text("P4 x 1"));
    EXPECT_EQ(run->output().find("FINISHED"), std::string::npos);
    // The program still works: the menu answers keys.
    run->key(keys::Down);
    EXPECT_TRUE(run->wait_until([&] { return highlighted("Advanced Compatibility Test"); })) << run->dump();
}

TEST_F(CompatE2E, EscapeWhileRunningEndsAProbeThatIgnoresTerm)
{
    probe_script("trap '' TERM\necho stubborn\nwhile :; do sleep 0.05; done\n");
    open();
    const pid_t pid = probepid("stubborn");
    ASSERT_GT(pid, 0);
    leave(keys::Esc, 8000);
    expect_probe_gone(pid);
}

TEST_F(CompatE2E, AProbeThatCannotRunIsReportedAndFinishes)
{
    // No compat.pl anywhere on PATH.
    open();
    ASSERT_TRUE(finished()) << run->dump();
    EXPECT_TRUE(run->has_text("compat.pl:")) << run->dump();
    EXPECT_EQ(sumtext(4), pad("    Video: NONE"));
}

TEST_F(CompatE2E, TheProgramStillQuitsCleanlyAfterATest)
{
    probe(realistic);
    open();
    ASSERT_TRUE(finished()) << run->dump();
    leave();
    quit(*run);
    expect_restored(*run);
}

TEST_F(CompatE2E, SmallTerminalsRunTheTestWithoutStopping)
{
    // The smallest terminal the toolkit supports, and one too short for the
    // summary's seven rows: everything is drawn clipped, nothing stops.
    for (auto [cols, rows] : {std::pair{20, 8}, std::pair{40, 12}, std::pair{60, 16}}) {
        probe(realistic);
        start(cols, rows);
        run->key(keys::Enter);
        ASSERT_TRUE(run->wait_text("Configure", 5000)) << cols << "x" << rows << "\n" << run->dump();
        run->key(keys::Enter);
        ASSERT_TRUE(run->wait_until([&] { return stubs.exists("probe.pid"); })) << run->dump();
        ASSERT_TRUE(run->settle(300)) << run->dump();
        EXPECT_FALSE(run->exited()) << cols << "x" << rows << "\n" << run->output().substr(run->output().size() > 400 ? run->output().size() - 400 : 0);
        run->key(keys::Enter);
        ASSERT_TRUE(run->wait_text("Main", 5000)) << cols << "x" << rows << "\n" << run->dump();
        run->key(keys::Esc);
        ASSERT_TRUE(run->wait_text("Really quit", 5000)) << run->dump();
        run->key("y");
        EXPECT_EQ(run->wait_exit(), 0) << cols << "x" << rows;
        std::filesystem::remove(stubs.file("probe.pid"));
    }
}
