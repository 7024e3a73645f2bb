// A child never outlives the process that started it.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "childtools.h"

namespace {

pid_t read_pid(const std::string &path)
{
    long pid = 0;
    std::ifstream(path) >> pid;
    return pid_t(pid);
}

TEST(OxPipeOrphan, ChildGetsSigtermWhenItsParentDies)
{
    ScriptDir d;
    const std::string pidfile = d.dir + "/pid";
    d.script("worker", "echo $$ > '" + pidfile + ".tmp' && mv '" + pidfile + ".tmp' '" + pidfile +
                           "'\nwhile :; do sleep 0.05; done");
    pid_t parent = fork();
    ASSERT_GE(parent, 0);
    if (parent == 0) {
        // A parent that dies without a chance to clean up.
        start("worker");
        for (;;)
            pause();
    }
    ASSERT_TRUE(wait_for([&] { return read_pid(pidfile) > 0; }, 5000));
    const pid_t worker = read_pid(pidfile);
    usleep(100000);
    EXPECT_FALSE(process_gone(worker)) << "ended while its parent lived";
    kill(parent, SIGKILL);
    waitpid(parent, nullptr, 0);
    EXPECT_TRUE(wait_for([&] { return process_gone(worker); }, 3000)) << "outlived its parent";
    if (!process_gone(worker))
        kill(worker, SIGKILL);
}

} // namespace
