// /tmp/burnin.log and /tmp/compat*.log are fixed paths. CTest's resource lock
// keeps the tests that touch them apart within one run; this lock keeps them
// apart across runs too (two build trees, two people on one machine).
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

bool touches_tmp_logs(const testing::TestInfo &t)
{
    const std::string suite = t.test_suite_name(), name = t.name();
    auto starts = [&](const char *p) { return suite.rfind(p, 0) == 0; };
    return starts("Burnin") || starts("BurnIn") || starts("Compat") || name.find("TmpLogs") != std::string::npos;
}

class TmpLogsLock : public testing::EmptyTestEventListener {
    int fd = -1;

    void OnTestStart(const testing::TestInfo &t) override
    {
        if (!touches_tmp_logs(t))
            return;
        fd = open("/tmp/rundiags-tmplogs.lock", O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0)
            return; // no lock file: run unguarded, as CTest's lock alone would
        while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    void OnTestEnd(const testing::TestInfo &) override
    {
        if (fd >= 0)
            close(fd); // closing releases the lock
        fd = -1;
    }
};

// Registered before main runs; the listener list takes ownership.
const bool registered = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new TmpLogsLock);
    return true;
}();

} // namespace
