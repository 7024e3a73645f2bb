// The kick descriptor ends the one wait in progress and is drained by it;
// unlike the wake descriptor it leaves later waits alone.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "childtools.h"

namespace {

struct KickPipe {
    int r = -1, w = -1;
    KickPipe()
    {
        int p[2];
        EXPECT_EQ(pipe2(p, O_CLOEXEC | O_NONBLOCK), 0);
        r = p[0];
        w = p[1];
        ox_set_kickfd(r);
    }
    void kick() { EXPECT_EQ(::write(w, "k", 1), 1); }
    ~KickPipe()
    {
        ox_set_kickfd(-1);
        close(r);
        close(w);
    }
};

// An idle input nobody writes to.
struct Idle {
    int p[2];
    Idle() { EXPECT_EQ(pipe2(p, O_CLOEXEC), 0); }
    ~Idle() { close(p[1]); }
};

TEST(Kick, EndsAnUnlimitedWaitOnceThenLaterWaitsRunTheirCourse)
{
    KickPipe k;
    Idle idle;
    OxFDStream in(idle.p[0], -1);
    OxIStreamList list;
    list.append(&in);
    std::thread t([&] {
        usleep(50000);
        k.kick();
    });
    EXPECT_EQ(list.runonce(-1), 0);
    t.join();
    const long long t0 = ox_monotonic_ms();
    EXPECT_EQ(list.runonce(150), 0);
    EXPECT_GE(ox_monotonic_ms() - t0, 140) << "the kick was not drained";
}

TEST(Kick, EndsAWaitingReadWithNothingRead)
{
    KickPipe k;
    Idle idle;
    OxFDStream in(idle.p[0], -1);
    k.kick();
    OxDynBuf buf;
    EXPECT_EQ(in.read(buf, 100), 0u);
    EXPECT_TRUE(in.isok());
    EXPECT_FALSE(in.select(100, true)) << "a drained kick ends no other wait";
}

} // namespace
