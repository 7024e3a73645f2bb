// The kick descriptor ends the one wait in progress and is drained by it;
// unlike the wake descriptor it leaves later waits alone.
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <thread>

#include "childtools.h"

namespace {

// An idle input nobody writes to.
struct Idle {
    int p[2];
    Idle() { EXPECT_EQ(pipe2(p, O_CLOEXEC), 0); }
    ~Idle() { close(p[1]); }
};

TEST(Kick, EndsAnUnlimitedWaitOnceThenLaterWaitsRunTheirCourse)
{
    InterruptPipe k(ox_set_kickfd);
    Idle idle;
    OxFDStream in(idle.p[0], -1);
    OxIStreamList list;
    list.append(&in);
    std::thread t([&] {
        usleep(50000);
        k.fire();
    });
    EXPECT_EQ(list.runonce(-1), 0);
    t.join();
    const long long t0 = ox_monotonic_ms();
    EXPECT_EQ(list.runonce(150), 0);
    EXPECT_GE(ox_monotonic_ms() - t0, 140) << "the kick was not drained";
}

TEST(Kick, EndsAWaitingReadWithNothingRead)
{
    InterruptPipe k(ox_set_kickfd);
    Idle idle;
    OxFDStream in(idle.p[0], -1);
    k.fire();
    OxDynBuf buf;
    EXPECT_EQ(in.read(buf, 100), 0u);
    EXPECT_TRUE(in.isok());
    EXPECT_FALSE(in.select(100, true)) << "a drained kick ends no other wait";
}

} // namespace
