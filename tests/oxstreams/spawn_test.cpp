// What a child gets from the options it is started with: its standard
// descriptors, the terminal stop signals, and a quiet failure.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "oxspawn.h"

namespace {

// Everything the child writes on its descriptor 1 (a pipe of ours) until it ends.
std::string output_of(OxSpawnOptions o)
{
    int p[2];
    if (pipe2(p, O_CLOEXEC) != 0)
        return "no pipe";
    o.stdio[1] = OxStdio::of(p[1]);
    if (o.stdio[2].kind == OxStdio::Pipe)
        o.stdio[2] = o.stdio[1];
    const OxChild c = ox_spawn(o);
    close(p[1]);
    std::string out;
    char buf[256];
    ssize_t n;
    while ((n = read(p[0], buf, sizeof buf)) > 0)
        out.append(buf, size_t(n));
    close(p[0]);
    if (c.pidfd >= 0)
        close(c.pidfd);
    waitpid(c.pid, nullptr, 0);
    return out;
}

TEST(OxSpawn, StandardDescriptorsAndFlags)
{
    const char *const ttystops = "m=$(awk '/^SigIgn/ {print $2}' /proc/$$/status); echo $(( (0x$m >> 20) & 3 ))";
    struct Case {
        const char *program, *script;
        OxStdio in, err;   // err Pipe: along with the output
        unsigned flags;
        std::string want;
    } cases[] = {
        {"/bin/sh", "readlink /proc/$$/fd/0; [ -e /proc/$$/fd/2 ] || echo no2", OxStdio::null(), OxStdio::closed(), 0,
         "/dev/null\nno2\n"},
        {"/bin/sh", "[ -e /proc/$$/fd/0 ] || echo no0; echo err >&2", OxStdio::closed(), OxStdio::pipe(), 0,
         "no0\nerr\n"},
        {"/bin/sh", ttystops, OxStdio::null(), OxStdio::pipe(), 0, "0\n"},
        {"/bin/sh", ttystops, OxStdio::null(), OxStdio::pipe(), OX_SPAWN_NO_TTY_STOPS, "3\n"},
        {"/nonexistent/prog", "", OxStdio::null(), OxStdio::pipe(), 0,
         "/nonexistent/prog: No such file or directory\n"},
        {"/nonexistent/prog", "", OxStdio::null(), OxStdio::pipe(), OX_SPAWN_QUIET, ""},
    };
    for (const Case &c : cases) {
        const char *const argv[] = {"sh", "-c", c.script, nullptr};
        OxSpawnOptions o;
        o.program = c.program;
        o.argv = argv;
        o.stdio[0] = c.in;
        o.stdio[2] = c.err;
        o.flags = c.flags;
        EXPECT_EQ(output_of(o), c.want) << c.script << " flags " << c.flags;
    }
}

} // namespace
