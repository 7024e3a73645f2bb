// A command run through the shell never outlives the program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "files.h"
#include "shellcmd.h"

namespace {

pid_t read_pid(const std::string &path)
{
    long pid = 0;
    std::ifstream(path) >> pid;
    return pid_t(pid);
}

bool alive(pid_t pid)
{
    if (kill(pid, 0) != 0)
        return false;
    std::ifstream st("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(st)), std::istreambuf_iterator<char>());
    size_t r = all.rfind(')');
    return r != std::string::npos && r + 2 < all.size() && all[r + 2] != 'Z';
}

template <class Pred>
bool within(int ms, Pred pred)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST(ShellCmdOrphan, CommandGetsSigtermWhenTheProgramDies)
{
    ScratchDir dir("shellcmd-orphan");
    const std::string pidfile = dir.file("pid");
    const std::string command =
        "echo $$ > '" + pidfile + ".tmp' && mv '" + pidfile + ".tmp' '" + pidfile + "'; while :; do sleep 0.05; done";
    pid_t program = fork();
    ASSERT_GE(program, 0);
    if (program == 0) {
        run_shell(command.c_str());
        _exit(0);
    }
    ASSERT_TRUE(within(5000, [&] { return read_pid(pidfile) > 0; }));
    const pid_t shell = read_pid(pidfile);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(alive(shell)) << "ended while the program lived";
    kill(program, SIGKILL);
    waitpid(program, nullptr, 0);
    EXPECT_TRUE(within(3000, [&] { return !alive(shell); })) << "outlived the program";
    if (alive(shell))
        kill(shell, SIGKILL);
}

} // namespace
