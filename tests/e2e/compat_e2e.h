// Running the compatibility test of the real program under a pseudo-terminal,
// with a stand-in probe first on PATH.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <memory>
#include <string>
#include <vector>

#include "e2e.h"

#ifndef RUNDIAGS_BIN
#error "RUNDIAGS_BIN must name the program under test"
#endif

class CompatE2E : public ::testing::Test {
protected:
    // 80 x 25: the test window's interior is rows 3-9 (0-based), columns 3-76;
    // the Details list's items are rows 13-21.
    static constexpr int sumtop = 3, sumleft = 3, sumwidth = 74;

    void start(int cols = 80, int rows = 25)
    {
        run = start_rundiags(stubs, cols, rows);
        ASSERT_TRUE(run->wait_text("Main Menu")) << run->dump();
    }

    // A probe that records its process id, then runs `body`.
    void probe_script(const std::string &body)
    {
        stubs.script("compat.pl", "echo $$ > " + sh_quote(stubs.file("probe.pid")) + "\n" + body);
    }
    // A probe that records its arguments and its process id, then writes
    // `bytes` exactly and ends (or, with `hold`, writes them and keeps running
    // until the file "probe.go" appears, then writes `after`).
    void probe(const std::string &bytes, bool hold = false, const std::string &after = "")
    {
        stubs.write("probe.out", bytes);
        stubs.write("probe.after", after);
        const std::string d = sh_quote(stubs.path());
        std::string body = "{ echo $#; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > " + d +
                           "/compat.pl.argv\n"
                           "cat " + d + "/probe.out\n";
        if (hold)
            body += "while [ ! -e " + d + "/probe.go ]; do sleep 0.02; done\ncat " + d + "/probe.after\n";
        probe_script(body);
    }
    void release() { stubs.write("probe.go", ""); }

    // Starts the program and goes from the menu into the running test.
    void open(bool advanced = false)
    {
        start();
        if (advanced) {
            run->key(keys::Down);
            ASSERT_TRUE(run->wait_until([&] { return highlighted("Advanced Compatibility Test"); })) << run->dump();
        }
        run->key(keys::Enter);
        ASSERT_TRUE(run->wait_text("Configure Hardware")) << run->dump();
        ASSERT_TRUE(run->wait_text("Press ENTER to begin...")) << run->dump();
        run->key(keys::Enter);
        ASSERT_TRUE(run->wait_text("Details")) << run->dump();
    }

    // Leaves the test with `key` (typed all at once): the list goes within
    // `ms` and the menu is back.
    void leave(std::string_view key = keys::Enter, int ms = 5000)
    {
        run->send(key);
        ASSERT_TRUE(run->wait_gone("Details", ms)) << run->dump();
        ASSERT_TRUE(run->wait_text("Main Menu")) << run->dump();
    }

    bool finished(int ms = 10000) { return run->wait_text("** FINISHED - Press Enter When Done **", ms); }

    // The row of the screen that shows `text` is drawn in the selection colours
    // (black on cyan) at that text.
    bool highlighted(const std::string &text)
    {
        int x, y;
        if (!run->vt().find(text, &x, &y))
            return false;
        VtCell c = run->vt().cell(x, y);
        return c.bg == 6 && c.fg % 8 == 0;
    }

    // Summary row n (1-7), as text and as colour classes: N yellow on blue,
    // L white on blue, A yellow on red (all bright), ? anything else.
    std::string sumtext(int n) { return run->row(sumtop + n - 1).substr(sumleft, sumwidth); }
    std::string sumcolours(int n)
    {
        std::string s;
        for (int x = sumleft; x < sumleft + sumwidth; x++) {
            VtCell c = run->vt().cell(x, sumtop + n - 1);
            int fg = c.fg % 8;
            bool bright = c.bold || c.fg >= 8;
            s += !bright ? '?' : fg == 3 && c.bg == 4 ? 'N' : fg == 7 && c.bg == 4 ? 'L' : fg == 3 && c.bg == 1 ? 'A' : '?';
        }
        return s;
    }

    // The Details items on screen, trailing blanks cut.
    std::vector<std::string> details()
    {
        std::vector<std::string> v;
        for (int y = 13; y <= 21; y++) {
            std::string r = run->row(y).substr(4, 73);
            r.erase(r.find_last_not_of(' ') + 1);
            v.push_back(r);
        }
        return v;
    }

    // The screen row of the Details list's highlighted item (-1: none).
    int currentrow()
    {
        for (int y = 13; y <= 21; y++)
            if (run->vt().cell(5, y).bg == 6)
                return y;
        return -1;
    }

    // The probe's process id (0: not known yet), once the screen shows `text`.
    pid_t probepid(const std::string &text)
    {
        EXPECT_TRUE(run->wait_text(text)) << run->dump();
        return pid_t(std::atoi(stubs.read("probe.pid").c_str()));
    }
    // The processes of the probe's process group still there, as
    // "pid state name" lines (a zombie counts: it was not reaped).
    static std::string group(pid_t pgid)
    {
        std::string found;
        for (const auto &e : std::filesystem::directory_iterator("/proc")) {
            std::ifstream f(e.path() / "stat");
            std::string stat;
            if (!std::getline(f, stat))
                continue;
            size_t close = stat.rfind(')');
            if (close == std::string::npos)
                continue;
            std::istringstream rest(stat.substr(close + 2));
            std::string state, ppid, pg;
            rest >> state >> ppid >> pg;
            if (std::atoi(pg.c_str()) == pgid)
                found += e.path().filename().string() + " " + state + " " +
                         stat.substr(stat.find('(') + 1, close - stat.find('(') - 1) + "\n";
        }
        return found;
    }
    // The probe itself has been reaped.
    static bool reaped(pid_t pid) { return kill(pid, 0) != 0 && errno == ESRCH; }
    // The probe was ended and reaped, and nothing of its process group is
    // left (its own children are orphans reaped by the system: give that a
    // moment).
    void expect_probe_gone(pid_t pid)
    {
        EXPECT_TRUE(reaped(pid));
        EXPECT_TRUE(run->wait_until([&] { return group(pid).empty(); })) << group(pid);
    }

    static std::string pad(std::string s, size_t n = sumwidth, char with = ' ')
    {
        s.resize(n, with);
        return s;
    }
    static std::string rep(int n, char c) { return std::string(n, c); }

    StubDir stubs;
    std::unique_ptr<PtyRun> run;
};
