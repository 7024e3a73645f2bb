// The screen on a real pseudo-terminal: raw mode, size, restore at the end.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "plscreen.h"
#include "testterm.h"

namespace {

termios settings(int fd)
{
    termios t{};
    EXPECT_EQ(tcgetattr(fd, &t), 0);
    return t;
}

bool same_settings(const termios &a, const termios &b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
           cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

std::unique_ptr<PlScreen> screen_on(TestPty &pty)
{
    return std::make_unique<PlScreen>(pty.dup_slave(), pty.dup_slave());
}

} // namespace

TEST(Terminal, RawModeWhileTheScreenLivesThenRestored)
{
    TestPty pty(80, 25);
    termios before = settings(pty.slave());
    ASSERT_TRUE(before.c_lflag & ICANON);    // a fresh pty is cooked
    ASSERT_TRUE(before.c_lflag & ECHO);
    {
        auto s = screen_on(pty);
        EXPECT_TRUE(s->hadtio());
        EXPECT_TRUE(same_settings(s->saved_settings(), before));
        termios raw = settings(pty.slave());
        EXPECT_FALSE(raw.c_lflag & (ICANON | ECHO | ISIG | IEXTEN));
        EXPECT_FALSE(raw.c_oflag & OPOST);
        EXPECT_FALSE(raw.c_iflag & (ICRNL | IXON | ISTRIP));
        EXPECT_EQ(raw.c_cflag & CSIZE, tcflag_t(CS8));
        EXPECT_EQ(raw.c_cc[VMIN], 1);
        EXPECT_EQ(raw.c_cc[VTIME], 0);
    }
    EXPECT_TRUE(same_settings(settings(pty.slave()), before));
}

TEST(Terminal, ReRawPutsRawModeBack)
{
    TestPty pty;
    auto s = screen_on(pty);
    // As if a shell command had left the terminal cooked.
    ASSERT_EQ(tcsetattr(pty.slave(), TCSANOW, &s->saved_settings()), 0);
    ASSERT_TRUE(settings(pty.slave()).c_lflag & ICANON);
    s->reraw();
    EXPECT_FALSE(settings(pty.slave()).c_lflag & (ICANON | ECHO));
}

TEST(Terminal, DescriptorsAreCloseOnExec)
{
    TestPty pty;
    int r = fcntl(pty.slave(), F_DUPFD, 0);    // deliberately inheritable
    int w = fcntl(pty.slave(), F_DUPFD, 0);
    PlScreen s(r, w);
    EXPECT_TRUE(fcntl(r, F_GETFD) & FD_CLOEXEC);
    EXPECT_TRUE(fcntl(w, F_GETFD) & FD_CLOEXEC);
}

TEST(Terminal, SizeFromTheTerminal)
{
    TestPty pty(132, 43);
    auto s = screen_on(pty);
    EXPECT_EQ(s->getxsize(), 132);
    EXPECT_EQ(s->getysize(), 43);
    EXPECT_EQ(s->getcells().getxsize(), 132u);
}

TEST(Terminal, ZeroRowsFallsBackTo80x24)
{
    TestPty pty(100, 0);
    auto s = screen_on(pty);
    EXPECT_EQ(s->getxsize(), 80);
    EXPECT_EQ(s->getysize(), 24);
}

TEST(Terminal, AbsurdSizesFallBackTo80x24)
{
    for (auto [c, r] : {std::pair{1001, 30}, std::pair{100, 1001}, std::pair{65535, 65535}}) {
        TestPty pty(c, r);
        auto s = screen_on(pty);
        EXPECT_EQ(s->getxsize(), 80) << c << "x" << r;
        EXPECT_EQ(s->getysize(), 24) << c << "x" << r;
    }
    TestPty pty(1000, 1000);    // large, but a size a terminal may have
    auto s = screen_on(pty);
    EXPECT_EQ(s->getxsize(), 1000);
    EXPECT_EQ(s->getysize(), 1000);
}

TEST(Terminal, NotATerminalIsLeftAlone)
{
    int p[2];
    ASSERT_EQ(pipe2(p, O_CLOEXEC), 0);
    int devnull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    {
        PlScreen s(p[0], devnull);
        EXPECT_FALSE(s.hadtio());
        EXPECT_EQ(s.getxsize(), 80);
        EXPECT_EQ(s.getysize(), 24);
        *s.cell(3, 3) = PlCell('x', PlAttr(7));
        s.refresh();
    }
    close(p[1]);
}

TEST(Terminal, DestructorRestoresBeforeTheFinalNewline)
{
    TestPty pty(80, 24);
    {
        auto s = screen_on(pty);
        s->refresh();
        ASSERT_TRUE(pty.wait_for_bytes("\x1b[1;1H"));
        pty.clear_output();
    }
    // The newline leaves after the cooked settings are back: ONLCR makes it CR LF.
    const std::string want = "\x1b[0;37;40m\x1b[?25h\x1b[25;2H\r\n";
    ASSERT_TRUE(pty.wait_for_bytes(want)) << pty.output();
    EXPECT_EQ(pty.output(), want);
}

TEST(Terminal, RefreshReachesThePty)
{
    TestPty pty(80, 24);
    auto s = screen_on(pty);
    *s->cell(2, 1) = PlCell('A', PlAttr(7));
    s->refresh();
    const std::string want = "\x1b[2J\x1b[0;30;40m\x0f\x1b)0\x1b[?25l\x1b[2;3H\x1b[0;37;40m"
                             "A\x1b[1;1H\x1b[?25h\x0f\x1b)B\x1b(B";
    ASSERT_TRUE(pty.wait_for_bytes(want)) << pty.output();
    EXPECT_EQ(pty.output(), want);    // raw mode: no output processing in between
}

TEST(Terminal, KeysReachTheScreenAndCanBeDiscarded)
{
    TestPty pty;
    auto s = screen_on(pty);
    EXPECT_FALSE(s->isreadable());
    pty.write_keys("x\r");
    ASSERT_TRUE(s->select(5000, true));
    OxDynBuf buf;
    // Raw mode: the CR arrives as typed, without waiting for a line.
    size_t got = 0;
    while (got < 2 && s->select(5000, true))
        got += s->read(buf, 2048);
    ASSERT_EQ(buf.count(), 2u);
    EXPECT_EQ(std::string(buf.take(2), 2), "x\r");

    pty.write_keys("junk");
    ASSERT_TRUE(s->select(5000, true));
    s->discard_input();
    EXPECT_FALSE(s->isreadable());
    EXPECT_TRUE(s->isok());
}
