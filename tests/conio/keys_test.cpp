// Key reading through a real pseudo-terminal: what arrives in one read, what
// arrives in pieces, and the mapping getch adds.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "conhelpers.h"
#include "oxistreamlist.h"
#include "testterm.h"

namespace {

class Keys : public ::testing::Test {
protected:
    void SetUp() override { reset_console(); }
    void TearDown() override { drain_keys(); }

    // Types bytes and waits until the terminal has them, so that one read
    // takes them all.
    static void type(std::string_view bytes)
    {
        test_pty().write_keys(bytes);
        ASSERT_TRUE(screen.select(2000, true));
    }
    // Types bytes 30 ms from now, while the test waits for a key.
    static std::thread type_later(std::string bytes)
    {
        return std::thread([bytes] {
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            test_pty().write_keys(bytes);
        });
    }
    // A key that must come from bytes already read: no wait at all.
    static int buffered()
    {
        const TimedKey k = timed(_getch);
        EXPECT_LT(k.ms, 50) << "read the terminal for a key it already had";
        return k.key;
    }
};

TEST_F(Keys, ArrowThenTypedAheadLetterInOneRead)
{
    type("\x1b[Ax");
    EXPECT_EQ(_getch(), KEY_UP);
    EXPECT_EQ(buffered(), 'x');
}

TEST_F(Keys, UnfinishedSequenceWaitsForItsEnd)
{
    type("\x1b[5");
    EXPECT_EQ(_getch(), KEY_NONE);
    type("~");
    EXPECT_EQ(_getch(), KEY_PGUP);
}

TEST_F(Keys, ModifierSequenceEndsAtTheSemicolon)
{
    type("\x1b[1;5A");
    EXPECT_EQ(_getch(), KEY_NONE);
    EXPECT_EQ(buffered(), '5');
    EXPECT_EQ(buffered(), 'A');
}

TEST_F(Keys, UnknownSequencesAreConsumedWhole)
{
    for (const char *seq : {"\x1b[9~", "\x1b[~", "\x1bOP"}) {
        type(seq);
        EXPECT_EQ(_getch(), KEY_NONE) << seq + 1;
        type("z");
        EXPECT_EQ(_getch(), 'z') << seq + 1;
    }
}

TEST_F(Keys, EscFollowedByOtherByteIsEscape)
{
    type("\x1bx");
    EXPECT_EQ(_getch(), KEY_ESC);
    EXPECT_EQ(buffered(), 'x');
}

TEST_F(Keys, HighByteIsItsValue)
{
    type("\xe9" "a");
    EXPECT_EQ(_getch(), 233);
    EXPECT_EQ(buffered(), 'a');
}

TEST_F(Keys, TypedAheadKeysComeOnePerCall)
{
    type("abc\x1b[B");
    EXPECT_EQ(_getch(), 'a');
    EXPECT_EQ(buffered(), 'b');
    EXPECT_EQ(buffered(), 'c');
    EXPECT_EQ(buffered(), KEY_DOWN);
}

TEST_F(Keys, GetchMapsLineFeedAndDelete)
{
    type("\n");
    EXPECT_EQ(getch(), KEY_ENTER);
    type("\r");
    EXPECT_EQ(getch(), KEY_ENTER);
    type("\x7f");
    EXPECT_EQ(getch(), KEY_BACKSPACE);
    type("\x08");
    EXPECT_EQ(getch(), 8);
    type("\n\x7f");
    EXPECT_EQ(getkey(), KEY_ENTER);
    EXPECT_EQ(getkey(), KEY_BACKSPACE);
    // The raw reader leaves them alone.
    type("\n\x7f");
    EXPECT_EQ(_getch(), 10);
    EXPECT_EQ(_getch(), 127);
}

TEST_F(Keys, LoneEscapeArrivesAfterAShortWait)
{
    type("\x1b");
    const TimedKey k = timed(_getch);
    EXPECT_EQ(k.key, KEY_ESC);
    EXPECT_GE(k.ms, 90);
    EXPECT_LT(k.ms, 1000);
}

TEST_F(Keys, ArrowSplitAcrossReadsIsNotTakenForEscape)
{
    type("\x1b");
    std::thread late = type_later("[A");
    const TimedKey k = timed(_getch);
    late.join();
    EXPECT_EQ(k.key, KEY_UP);
    EXPECT_LT(k.ms, 1000);
}

TEST_F(Keys, EscapeThenLetterAfterAPauseStaysEscape)
{
    type("\x1b");
    std::thread late = type_later("q");
    EXPECT_EQ(_getch(), KEY_ESC);
    late.join();
    EXPECT_EQ(_getch(), 'q');
}

TEST_F(Keys, LongDigitRunIsCappedAndConsumed)
{
    type("\x1b[" + std::string(30, '7'));
    EXPECT_EQ(_getch(), KEY_NONE);
    type("z");
    EXPECT_EQ(_getch(), 'z');
}

TEST_F(Keys, FloodOfNoiseIsConsumedWithoutBlocking)
{
    // Far more than one read takes, all of it one endless "sequence".
    type("\x1b[" + std::string(5000, '1'));
    int nones = 0, ones = 0;
    while (kbwait(0)) {
        const int k = buffered();
        nones += k == KEY_NONE;
        ones += k == '1';
    }
    EXPECT_GE(nones, 1);
    EXPECT_EQ(ones, 5000 - 30);
}

TEST_F(Keys, KbflushDropsUndecodedBytes)
{
    type("abc");
    EXPECT_EQ(_getch(), 'a');
    kbflush();
    type("z");
    EXPECT_EQ(_getch(), 'z');
}

TEST_F(Keys, KbflushForgetsAnUnfinishedSequence)
{
    type("\x1b[5");
    EXPECT_EQ(_getch(), KEY_NONE);
    kbflush();
    type("~");
    EXPECT_EQ(_getch(), '~');
}

TEST_F(Keys, KbwaitSeesInputAndConsumesNothing)
{
    EXPECT_FALSE(kbwait(0));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(kbwait(50));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(45));
    type("pq");
    EXPECT_TRUE(kbwait(1000));
    EXPECT_TRUE(kbwait(0));
    EXPECT_EQ(_getch(), 'p');
    // 'q' is already read from the terminal: it still counts as waiting.
    EXPECT_TRUE(kbwait(0));
    EXPECT_EQ(buffered(), 'q');
    EXPECT_FALSE(kbwait(0));
}

TEST_F(Keys, KbwaitDoesNotCountAnUnfinishedSequence)
{
    type("\x1b[6");
    EXPECT_EQ(_getch(), KEY_NONE);
    EXPECT_FALSE(kbwait(0));
    type("~");
    EXPECT_TRUE(kbwait(0));
    EXPECT_EQ(_getch(), KEY_PGDN);
}

// A wait for a key first shows what was drawn.
TEST_F(Keys, GetchBringsTheTerminalUpToDateFirst)
{
    window(1, 1, 80, 25);
    textattr(0x1e);
    gotoxy(3, 2);
    cputs("MARKER-K7");
    type("k");
    EXPECT_EQ(getch(), 'k');
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (test_pty().output().find("MARKER-K7") == std::string::npos && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_NE(test_pty().output().find("\x1b[0;33;44;1mMARKER-K7"), std::string::npos);
}

// Keys the key layer holds count as input for everyone who waits on the
// screen, a stream list included.
TEST_F(Keys, KeyReadWithAnEarlierOneWakesAStreamList)
{
    type("pq");
    EXPECT_EQ(_getch(), 'p');
    // 'q' has left the terminal: only the key layer has it.
    EXPECT_TRUE(screen.isreadable());
    EXPECT_TRUE(screen.ready_now());
    OxIStreamList list;
    list.append(&screen);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(list.runonce(1000), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(200)) << "slept on a held key";
    EXPECT_EQ(_getch(), 'q');
    EXPECT_FALSE(screen.isreadable());
}

TEST_F(Keys, UnfinishedSequenceIsNoInput)
{
    type("\x1b[6");
    EXPECT_EQ(_getch(), KEY_NONE);
    EXPECT_FALSE(screen.isreadable());
    EXPECT_FALSE(screen.select(50, true));
}

// Ctrl-L is a repaint, not a key.
TEST_F(Keys, CtrlLAsksForARepaintAndIsNoKey)
{
    type("\x0cz");
    EXPECT_EQ(getch(), KEY_NONE);
    screen.refresh();
    EXPECT_TRUE(test_pty().wait_for_bytes("\x1b[?7l\x1b(B\x1b[0m\x1b[2J", 2000));
    EXPECT_EQ(getch(), 'z');
}

} // namespace
