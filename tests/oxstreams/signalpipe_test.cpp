// The signal pipe's two kinds of message: RESIZE ends the one wait in
// progress and is taken by it; QUIT ends that wait and every later one,
// except that output still goes out (the terminal must be restored).
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "childtools.h"
#include "oxsignalpipe.h"

namespace {

// An idle input nobody writes to.
struct Idle {
    int p[2];
    Idle() { EXPECT_EQ(pipe2(p, O_CLOEXEC), 0); }
    ~Idle() { close(p[1]); }
};

// A fresh signal pipe and an idle stream in a list, whose unlimited wait
// a message posted from another thread ends.
struct Waiting {
    Idle idle;
    OxFDStream in{idle.p[0], -1};
    OxIStreamList list;
    Waiting()
    {
        OxSignalPipe::open();
        OxSignalPipe::clear();
        list.append(&in);
    }
    ~Waiting() { OxSignalPipe::clear(); }
    int wait_for(OxSignalPipe::Message m)
    {
        std::thread t([m] {
            usleep(50000);
            OxSignalPipe::post(m);
        });
        const int ready = list.runonce(-1);
        t.join();
        return ready;
    }
};

TEST(SignalPipe, ResizeEndsOneWaitAndIsTakenByIt)
{
    Waiting w;
    EXPECT_EQ(w.wait_for(OxSignalPipe::RESIZE), 0);
    EXPECT_TRUE(OxSignalPipe::take_resize());
    EXPECT_FALSE(OxSignalPipe::take_resize());
    const long long t0 = ox_monotonic_ms();
    EXPECT_EQ(w.list.runonce(150), 0);
    EXPECT_GE(ox_monotonic_ms() - t0, 140) << "the message was not taken";
    OxSignalPipe::post(OxSignalPipe::RESIZE);
    OxDynBuf buf;
    EXPECT_EQ(w.in.read(buf, 100), 0u);
    EXPECT_TRUE(w.in.isok());
    EXPECT_FALSE(OxSignalPipe::quitting());
}

TEST(SignalPipe, QuitEndsEveryWaitButNotOutputNorAFinishAfterAResize)
{
    Waiting w;
    ScriptDir d;
    std::unique_ptr<OxPipe> p(start("sleep", {"1000"}));
    EXPECT_EQ(w.wait_for(OxSignalPipe::QUIT), 0);
    EXPECT_TRUE(OxSignalPipe::quitting());
    OxFDStream &s = w.in;
    OxDynBuf buf;
    EXPECT_EQ(s.read(buf, 2048), 0u);
    EXPECT_FALSE(s.select(-1, true));
    OxString line;
    EXPECT_FALSE(s.getline(line, -1));
    EXPECT_EQ(s.runonce(-1), 0);
    EXPECT_FALSE(p->finish(true));
    EXPECT_FALSE(p->child_exited());
    int o[2];
    ASSERT_EQ(pipe2(o, O_CLOEXEC), 0);
    OxFDStream out(-1, o[1]);
    EXPECT_TRUE(out.write("still\n"));
    char got[6];
    EXPECT_EQ(::read(o[0], got, 6), 6);
    close(o[0]);
}

TEST(SignalPipe, AResizeDoesNotCutAFinishShort)
{
    Waiting w;
    ScriptDir d;
    std::unique_ptr<OxPipe> p(start("sleep", {"0.3"}));
    OxSignalPipe::post(OxSignalPipe::RESIZE);
    EXPECT_TRUE(p->finish(true));
    EXPECT_TRUE(p->child_exited());
}

} // namespace
