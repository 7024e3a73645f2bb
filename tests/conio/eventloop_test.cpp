// The loop hands out what happened as typed events: a helper's lines and
// then its end, keys as decoded (a NUL byte is key 0; Ctrl-L only repaints),
// and the timer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conhelpers.h"
#include "eventloop.h"
#include "oxpipe.h"
#include "testterm.h"

namespace {

std::string describe(const Event &e)
{
    switch (e.type) {
    case Event::KEY:
        return "key " + std::to_string(e.key);
    case Event::LINE:
        return "line " + e.line.str();
    case Event::EXIT:
        return "exit";
    case Event::TIMER:
        return "timer " + std::to_string(e.key);
    case Event::RESIZE:
        return "resize";
    case Event::QUIT:
        break;
    }
    return "quit";
}

TEST(EventLoop, LinesThenEndThenKeysThenTimer)
{
    reset_console();
    EventLoop loop;
    const char *const argv[] = {"sh", "-c", "printf 'one\\ntwo\\n'", nullptr};
    OxPipe helper(OxPipe::reading("/bin/sh", argv));
    loop.watch(&helper);
    std::vector<std::string> seen;
    while (seen.empty() || seen.back() != "exit")
        seen.push_back(describe(loop.next()));
    EXPECT_EQ(seen, (std::vector<std::string>{"line one", "line two", "exit"}));

    test_pty().write_keys(std::string("\x0c\0x", 3));
    EXPECT_EQ(describe(loop.next()), "key 0");
    EXPECT_EQ(describe(loop.next()), "key 120");
    loop.settimer(ox_monotonic_ms() + 20);
    loop.settimer(7, ox_monotonic_ms() + 40);
    EXPECT_EQ(describe(loop.next()), "timer 0");
    EXPECT_EQ(describe(loop.next()), "timer 7");
    drain_keys();
}

} // namespace
