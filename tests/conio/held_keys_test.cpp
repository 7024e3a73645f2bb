// Keys the key layer holds count as input for everyone who waits on the
// screen; Ctrl-L is a repaint, not a key.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "conhelpers.h"
#include "oxistreamlist.h"
#include "ptyterm.h"

namespace {

class HeldKeys : public ::testing::Test {
protected:
    void SetUp() override { reset_console(); }
    void TearDown() override { drain_keys(); }
    static void type(std::string_view bytes)
    {
        ptyterm_send(bytes);
        ASSERT_TRUE(screen.select(2000, true));
    }
};

TEST_F(HeldKeys, KeyReadWithAnEarlierOneWakesAStreamList)
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

TEST_F(HeldKeys, UnfinishedSequenceIsNoInput)
{
    type("\x1b[6");
    EXPECT_EQ(_getch(), KEY_NONE);
    EXPECT_FALSE(screen.isreadable());
    EXPECT_FALSE(screen.select(50, true));
}

TEST_F(HeldKeys, CtrlLAsksForARepaintAndIsNoKey)
{
    type("\x0cz");
    EXPECT_EQ(getch(), KEY_NONE);
    screen.refresh();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (ptyterm_output().find("\x1b[?7l\x1b(B\x1b[0m\x1b[2J") == std::string::npos &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_NE(ptyterm_output().find("\x1b[?7l\x1b(B\x1b[0m\x1b[2J"), std::string::npos);
    EXPECT_EQ(getch(), 'z');
}

} // namespace
