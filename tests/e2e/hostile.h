// Shared checks of the hostile end-to-end tests: what reached the terminal,
// which helper processes are left, and what the burn-in log holds.
#pragma once

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "e2e.h"

namespace hostile {

// Empty when every byte below 0x20 (and every C1 byte) in `out` belongs to the
// screen's own sequences: CSI (ESC [ parameters final), ESC ) 0, ESC ) B,
// ESC ( B, SO and SI, plus the one CR LF of the final restore at the very
// end. Otherwise where the first stray byte stands, with its surroundings.
inline std::string stray_controls(const std::string &out)
{
    auto where = [&](size_t i) {
        size_t from = i < 24 ? 0 : i - 24;
        std::string ctx;
        for (size_t k = from; k < out.size() && k < i + 24; k++) {
            unsigned char c = (unsigned char)out[k];
            char hex[8];
            snprintf(hex, sizeof hex, c < 0x20 || c >= 0x7f ? "\\x%02x" : "%c", c);
            ctx += hex;
        }
        return "stray byte at " + std::to_string(i) + " of " + std::to_string(out.size()) + ": " + ctx;
    };
    const size_t n = out.size();
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)out[i];
        if (c == 0x0e || c == 0x0f)
            continue;
        if (c == 0x1b) {
            if (i + 1 < n && out[i + 1] == '[') {
                size_t k = i + 2;
                while (k < n && (unsigned char)out[k] >= 0x20 && (unsigned char)out[k] <= 0x3f)
                    k++;
                if (k < n && (unsigned char)out[k] >= 0x40 && (unsigned char)out[k] <= 0x7e) {
                    i = k;
                    continue;
                }
                return where(i);
            }
            if (i + 2 < n && ((out[i + 1] == ')' && (out[i + 2] == '0' || out[i + 2] == 'B')) ||
                              (out[i + 1] == '(' && out[i + 2] == 'B'))) {
                i += 2;
                continue;
            }
            return where(i);
        }
        if (c == '\r' && i + 2 == n && out[i + 1] == '\n') {
            return "";
        }
        if (c < 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0))
            return where(i);
    }
    return "";
}

// A process that is gone or a zombie waiting for its new parent (init).
inline bool process_gone(pid_t pid)
{
    if (kill(pid, 0) != 0)
        return true;
    std::string st = read_file("/proc/" + std::to_string(pid) + "/stat");
    size_t p = st.rfind(')');
    return p != std::string::npos && p + 2 < st.size() && st[p + 2] == 'Z';
}

// Waits until the program has worked off what it was given: no processor
// time used over half a second (reading its output meanwhile).
inline bool wait_idle(PtyRun &run, int timeout_ms = 120000)
{
    for (int waited = 0; waited < timeout_ms; waited += 500) {
        long long t0 = run.cpu_ticks();
        run.wait_until([] { return false; }, 500);
        if (run.cpu_ticks() == t0)
            return true;
    }
    return false;
}

// Every helper process whose pid the stubs appended to `pidfile` is gone
// (killed ones may take a moment to be reaped by init).
inline void expect_helpers_gone(const std::string &pidfile);

// The program gave the terminal back, and no helper byte acted on it.
inline void expect_clean_terminal(PtyRun &run)
{
    expect_restored(run);
    EXPECT_EQ(stray_controls(run.output()), "");
}

// Pids listed one per line in a file the stubs append to.
inline std::vector<pid_t> pids_in(const std::string &path)
{
    std::vector<pid_t> v;
    std::istringstream in(read_file(path));
    long p;
    while (in >> p)
        if (p > 1)
            v.push_back(pid_t(p));
    return v;
}

// The live ones of `pids`, as "pid cmdline" text for a failure message.
inline std::string survivors(const std::vector<pid_t> &pids)
{
    std::string s;
    for (pid_t p : pids)
        if (!process_gone(p))
            s += std::to_string(p) + " " + read_file("/proc/" + std::to_string(p) + "/cmdline") + "; ";
    return s;
}

inline void expect_helpers_gone(const std::string &pidfile)
{
    const std::vector<pid_t> pids = pids_in(pidfile);
    EXPECT_FALSE(pids.empty());
    for (int i = 0; i < 100 && !survivors(pids).empty(); i++)
        usleep(30000);
    EXPECT_EQ(survivors(pids), "") << "helper processes left behind";
}

// The lines a reader hands out for `bytes`: split at '\n', a last piece
// without one still counts, and a run longer than `cap` bytes comes out in
// pieces of `cap`. Pieces beginning with `skip_prefix` (if not 0) left out.
inline std::vector<std::string> lines_of(const std::string &bytes, size_t cap, char skip_prefix = 0)
{
    std::vector<std::string> v;
    size_t s = 0;
    while (s < bytes.size()) {
        size_t e = bytes.find('\n', s);
        size_t end = e == std::string::npos ? bytes.size() : e;
        for (size_t a = s;;) {
            size_t len = end - a < cap ? end - a : cap;
            std::string piece = bytes.substr(a, len);
            a += len;
            if (!(skip_prefix && !piece.empty() && piece[0] == skip_prefix))
                v.push_back(piece);
            if (a >= end)
                break;
        }
        s = end + 1;
    }
    return v;
}

// Seeded junk as a hostile helper prints it: printable text, ESC sequences,
// the colour markers 0x07/0x08, CR, NUL, tabs, high bytes and status lines
// with nonsense in them.
inline std::string junk(std::mt19937 &rng, size_t lines)
{
    static const std::string pieces[] = {"\x1b[2J", "\x1b[31m", "\x1b]0;title\x07", "\x1b(0", "\x0e", "\x0f",
                                         "\x07", "\x08", "\r", "\t", std::string(1, '\0'), "\x9b",
                                         "\xff", "@", "=", " ", "%s", "%%", "\x7f", "\x1b"};
    std::string s;
    for (size_t l = 0; l < lines; l++) {
        if (rng() % 5 == 0)
            s += "@" + std::to_string(int(rng() % 3000) - 500) + " eth" + std::to_string(rng() % 4) + "=" +
                 std::to_string(rng() % 4000) + (rng() % 2 ? " x" : "");
        size_t n = rng() % 90;
        for (size_t k = 0; k < n; k++) {
            unsigned r = rng() % 10;
            if (r < 6)
                s += char(' ' + rng() % 95);
            else if (r < 8)
                s += pieces[rng() % (sizeof pieces / sizeof *pieces)];
            else
                s += char(rng() % 256);
        }
        s += '\n';
    }
    return s;
}

// Seeded operator keys that neither open a question nor leave: cursor and
// page keys, letters, digits, unknown sequences.
inline std::vector<std::string> random_keys(std::mt19937 &rng, size_t n)
{
    static const std::string_view nav[] = {keys::Up,  keys::Down, keys::PgUp, keys::PgDn, keys::Home,
                                           keys::End, keys::UpO,  keys::DownO, keys::Left, keys::Right,
                                           "\x1b[99~", "\x1b[Z", "\x1bOZ", "\x1b[3~", "\x1b[2~"};
    std::vector<std::string> v;
    for (size_t i = 0; i < n; i++) {
        if (rng() % 3)
            v.emplace_back(nav[rng() % (sizeof nav / sizeof *nav)]);
        else
            v.emplace_back(1, "abcdefghijklmoprstuvwxz0123456789 ,.-"[rng() % 37]);
    }
    return v;
}

} // namespace hostile
