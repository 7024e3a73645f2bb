// "Copy results to floppy disk" with a stub makefloppy on PATH.
#include <signal.h>
#include <unistd.h>

#include <string>

#include "hostile.h"

namespace {

const int floppy_item = 4;
const int first_item_row = 9;

class Floppy : public ::testing::Test {
protected:
    // Chooses the entry from the menu and waits for the warning.
    void start()
    {
        run = start_rundiags(stubs);
        ASSERT_TRUE(wait_menu(*run));
        for (int i = 0; i < floppy_item; i++)
            run->send(keys::Down);
        ASSERT_TRUE(run->wait_until([&] { return on_floppy_item(); }));
        run->send(keys::Enter);
        ASSERT_TRUE(run->wait_text("THE CONTENTS OF THE FLOPPY WILL BE ERASED!")) << run->dump();
        EXPECT_TRUE(run->has_text(" Insert Floppy Disk "));
        EXPECT_TRUE(run->has_text("Please insert a floppy disk into the drive."));
        EXPECT_TRUE(run->has_text("         Press ENTER to continue..."));
        // The menu is hidden while the entry runs.
        EXPECT_FALSE(run->has_text("Main Menu"));
    }
    // With `s` as makefloppy, up to the warning and past it with Enter.
    void copy(const StubDir::Stub &s)
    {
        stubs.stub("makefloppy", s);
        start();
        run->send(keys::Enter);
    }
    void wait_copying()
    {
        ASSERT_TRUE(run->wait_until([&] { return stubs.runs_of("makefloppy") == 1; }));
        ASSERT_TRUE(run->wait_text("Copying data to the floppy.")) << run->dump();
    }
    bool on_floppy_item() { return menu_highlight_row(*run) == first_item_row + floppy_item; }
    // Waits for the result dialog, closes it with `key`, and checks that the
    // menu is back with the same item highlighted.
    void close_result(const std::string &title, std::string_view key)
    {
        ASSERT_TRUE(run->wait_text(" " + title + " ")) << run->dump();
        run->send(key);
        ASSERT_TRUE(run->wait_text("Main Menu")) << run->dump();
        EXPECT_TRUE(run->wait_gone(" " + title + " ")) << run->dump();
        EXPECT_TRUE(run->wait_until([&] { return on_floppy_item(); }));
    }
    StubDir stubs;
    std::unique_ptr<PtyRun> run;
};

TEST_F(Floppy, SuccessfulCopy)
{
    StubDir::Stub s;
    s.lines = {"lots of output that must not reach the screen"};
    copy(s);
    ASSERT_TRUE(run->wait_text("Successfully copied the data to the floppy disk.")) << run->dump();
    EXPECT_TRUE(run->has_text(" Success! "));
    EXPECT_FALSE(run->has_text("lots of output"));
    EXPECT_EQ(stubs.runs_of("makefloppy"), 1);
    EXPECT_TRUE(stubs.argv_of("makefloppy").empty());
    close_result("Success!", keys::Enter);
    quit(*run);
}

TEST_F(Floppy, ExitCodeIsReportedAndQClosesTheDialog)
{
    StubDir::Stub s;
    s.exit_code = 3;
    copy(s);
    ASSERT_TRUE(run->wait_text("Error #3 copying the data to the floppy disk!")) << run->dump();
    EXPECT_TRUE(run->has_text(" ERROR "));
    // Keys outside "\x1b\rq" are ignored.
    run->send("x");
    run->send(keys::Down);
    run->settle();
    EXPECT_TRUE(run->has_text("Error #3 copying the data to the floppy disk!"));
    close_result("ERROR", "Q");
    EXPECT_EQ(stubs.runs_of("makefloppy"), 1);
    quit(*run);
}

TEST_F(Floppy, MissingCommandIsError127)
{
    start();   // no makefloppy anywhere on PATH
    run->send(keys::Enter);
    ASSERT_TRUE(run->wait_text("Error #127 copying the data to the floppy disk!")) << run->dump();
    close_result("ERROR", keys::Esc);
    quit(*run);
}

TEST_F(Floppy, EscapeInTheWarningCopiesNothing)
{
    stubs.stub("makefloppy", {});
    start();
    // Only Enter and Escape answer the warning.
    run->send("y");
    run->send(keys::Down);
    run->settle();
    EXPECT_TRUE(run->has_text("THE CONTENTS OF THE FLOPPY WILL BE ERASED!"));
    run->send(keys::Esc);
    ASSERT_TRUE(run->wait_text("Main Menu")) << run->dump();
    EXPECT_TRUE(run->wait_gone("Insert Floppy Disk"));
    EXPECT_TRUE(run->wait_until([&] { return on_floppy_item(); }));
    run->settle();
    EXPECT_EQ(stubs.runs_of("makefloppy"), 0);
    EXPECT_FALSE(run->has_text("Please Wait"));
    quit(*run);
}

// Keys typed at the "Please Wait" notice are not answers to the result
// dialog that follows: the operator must see it first. Nor does a second
// Enter start another copy.
TEST_F(Floppy, KeysTypedWhileCopyingDoNotAnswerTheResult)
{
    StubDir::Stub s;
    s.exit_code = 3;
    s.gated = true;
    copy(s);
    wait_copying();
    EXPECT_TRUE(run->has_text(" Please Wait "));

    run->send("\r\rq\x1b\r");
    run->settle();
    EXPECT_TRUE(run->has_text("Copying data to the floppy."));
    stubs.release("makefloppy");

    ASSERT_TRUE(run->wait_text("Error #3 copying the data to the floppy disk!")) << run->dump();
    run->settle(300);
    EXPECT_TRUE(run->has_text("Error #3 copying the data to the floppy disk!")) << run->dump();
    EXPECT_FALSE(run->has_text("Please Wait"));
    EXPECT_EQ(stubs.runs_of("makefloppy"), 1);
    close_result("ERROR", "q");
    run->settle();
    EXPECT_EQ(stubs.runs_of("makefloppy"), 1);
    EXPECT_FALSE(run->has_text("Insert Floppy Disk"));
    quit(*run);
    expect_restored(*run);
    EXPECT_EQ(hostile::stray_controls(run->output()), "");
}

// A command that puts the terminal back into cooked mode does not leave the
// program there: one key still answers the result without a newline.
TEST_F(Floppy, TerminalIsRawAgainAfterTheCommand)
{
    StubDir::Stub s;
    s.exit_code = 2;
    s.extra = "stty sane < /dev/tty\n";
    copy(s);
    ASSERT_TRUE(run->wait_text("Error #2 copying the data to the floppy disk!")) << run->dump();
    EXPECT_EQ(run->slave_settings().c_lflag & (ICANON | ECHO), 0u);
    close_result("ERROR", "q");
    quit(*run);
}

TEST_F(Floppy, TerminationSignalEndsTheCommandAndTheProgram)
{
    StubDir::Stub s;
    s.gated = true;
    s.record_term = true;
    copy(s);
    wait_copying();
    run->signal(SIGTERM);
    EXPECT_EQ(run->wait_exit(), 0);
    // The command's process group was told to end (the shell, reaped by the
    // program, may be gone before the command has finished its trap).
    EXPECT_TRUE(stubs.wait_exists("makefloppy.term"));
    EXPECT_FALSE(run->has_text("ERROR"));
    expect_restored(*run);
}

// A command that will not end on SIGTERM: a second termination signal gives
// the terminal back at once instead of waiting out the grace period.
TEST_F(Floppy, SecondSignalRestoresAtOnce)
{
    StubDir::Stub s;
    s.ignore_term = true;
    copy(s);
    wait_copying();
    const size_t mark = run->output().size();
    run->signal(SIGTERM);
    run->signal(SIGHUP);
    EXPECT_EQ(run->wait_exit(2000), 0);
    EXPECT_NE(run->output_since(mark).find(REFRESH_TAIL + "\x1b[0;37;40m\x1b[?25h"), std::string::npos);
    expect_settings_restored(*run);
}

} // namespace
