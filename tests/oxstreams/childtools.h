// Helpers for tests that run small shell scripts as child processes.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "oxistreamlist.h"
#include "oxpipe.h"

// A temporary directory with a bin/ for stub programs, put first on PATH for
// the life of the object.
class ScriptDir {
public:
    ScriptDir()
    {
        char tmpl[] = "/tmp/oxpipetestXXXXXX";
        dir = mkdtemp(tmpl);
        bin = dir + "/bin";
        mkdir(bin.c_str(), 0755);
        const char *p = getenv("PATH");
        oldpath = p ? p : "";
        setenv("PATH", (bin + ":/usr/bin:/bin").c_str(), 1);
    }
    ~ScriptDir()
    {
        setenv("PATH", oldpath.c_str(), 1);
        std::string cmd = "rm -rf '" + dir + "'";
        if (system(cmd.c_str()) != 0)
            perror("rm");
    }
    // Writes bin/<name> as a /bin/sh script with the given body.
    std::string script(const std::string &name, const std::string &body, const std::string &where = "")
    {
        std::string d = where.empty() ? bin : where;
        std::string path = d + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        chmod(path.c_str(), 0755);
        return path;
    }
    std::string dir, bin;

private:
    std::string oldpath;
};

// Runs a program with arguments through OxPipe as the program does.
inline OxPipe *start(const char *prog, std::vector<const char *> args = {})
{
    args.insert(args.begin(), prog);
    args.push_back(nullptr);
    return new OxPipe(OxPipe::reading(prog, args.data()));
}

// True once a process is gone (or only a zombie nobody reaps yet).
inline bool process_gone(pid_t pid)
{
    if (kill(pid, 0) != 0)
        return true;
    std::ifstream st("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(st)), std::istreambuf_iterator<char>());
    size_t r = all.rfind(')');
    return r == std::string::npos || (r + 2 < all.size() && all[r + 2] == 'Z');
}

// Waits up to ms for pred(), polling every few milliseconds.
template <class Pred>
bool wait_for(Pred pred, int ms)
{
    long long end = ox_monotonic_ms() + ms;
    while (!pred()) {
        if (ox_monotonic_ms() > end)
            return false;
        usleep(5000);
    }
    return true;
}

// Drives a pipe the way the program's loops do: runonce(-1) on a list, one
// getline(0) per pass, until the pipe is not ok.
inline std::vector<std::string> drain_lines(OxPipe &p, int limit_ms = 20000)
{
    OxIStreamList list;
    list.append(&p);
    std::vector<std::string> lines;
    OxString line;
    long long end = ox_monotonic_ms() + limit_ms;
    while (p.isok() && ox_monotonic_ms() < end) {
        list.runonce(1000);
        if (p.getline(line, 0, '\n', 1024))
            lines.push_back(line.str());
    }
    while (p.getline(line, 0, '\n', 1024))
        lines.push_back(line.str());
    return lines;
}
