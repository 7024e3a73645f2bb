#include "medium_util.h"

#include <unistd.h>

#include <fcntl.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <vector>

#include "guest.h"

namespace {

constexpr int kDialogMs = 30000;
// diskburn's sector stamp: the sector's byte offset, then a check word that
// is the offset times this constant, XORed with a value fixed for one disk
// in one pass (the pass's seed bound to the disk).
constexpr uint64_t kStampMix = 0x9E3779B97F4A7C15ull;

uint64_t le64(const unsigned char *p)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; i--)
        v = v << 8 | p[i];
    return v;
}

} // namespace

pid_t spawn_logged(const std::vector<std::string> &argv, const std::string &log, bool append)
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0644);
    const int nul = open("/dev/null", O_RDONLY);
    if (fd >= 0 && nul >= 0) {
        dup2(nul, 0);
        dup2(fd, 1);
        dup2(fd, 2);
    }
    setpgid(0, 0);
    std::vector<char *> cargv;
    for (const std::string &a : argv)
        cargv.push_back(const_cast<char *>(a.c_str()));
    cargv.push_back(nullptr);
    execvp(cargv[0], cargv.data());
    dprintf(2, "cannot run %s: %s\n", cargv[0], std::strerror(errno));
    _exit(127);
}

std::string host_output(const std::string &cmd)
{
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

void choose(Guest &g, int index)
{
    std::string keys = "\x1b[1~";
    for (int i = 0; i < index; i++)
        keys += "\x1b[B";
    g.send(keys);
    g.settle(300, 3000);
    g.send("\r");
}

void leave_to_menu(Guest &g)
{
    g.send("\r");
    g.wait_text("Main Menu", kDialogMs);
}

Summary run_compat(Guest &g, int index)
{
    Summary s;
    choose(g, index);
    if (!g.wait_text("Configure Hardware", kDialogMs))
        return s;
    g.send("\r");
    s.finished = g.wait_text("** FINISHED - Press Enter When Done **", 240000);
    for (int y = 3; y <= 9; y++)
        s.text += g.row(y) + "\n";
    return s;
}

bool start_burnin(Guest &g)
{
    choose(g, 3);
    if (!g.wait_text("THIS IS DANGEROUS", kDialogMs))
        return false;
    g.send("\r");
    if (!g.wait_text("THIS IS *VERY* DANGEROUS", kDialogMs))
        return false;
    g.send("y");
    if (!g.wait_text("Please attach all disks and network cables.", kDialogMs))
        return false;
    g.send("\r");
    return g.wait_text("[RUNNING]", kDialogMs);
}

std::string quit_to_shell(Guest &g)
{
    choose(g, 5);
    if (!g.wait_text("Really quit? (y/n)", kDialogMs))
        return "no quit question";
    g.send("y");
    if (!g.wait_text("rundiags# ", 60000))
        return "no shell";
    return "";
}

std::string shell_value(Guest &g, const std::string &expr)
{
    // A marker the typed line (which begins with the prompt) cannot match
    // at the start of a line; the answer is a line of its own.
    static int asked = 0;
    std::string tag = "v" + std::to_string(++asked);
    g.send("echo \"" + tag + "=[" + expr + "]\"\r");
    std::regex answer("(^|\n)" + tag + "=\\[([^\\]\n]*)\\]");
    std::smatch m;
    std::string screen;
    bool got = g.wait_until([&] {
        screen = g.vt().dump();
        return std::regex_search(screen, m, answer);
    }, 30000);
    return got ? m[2].str() : "(no answer to " + expr + ")";
}

void ask_stop(Guest &g)
{
    g.send("\r");
    if (g.wait_text("Stop the burn-in test now? (y/n)", kDialogMs))
        g.send("y");
}

void stop_burnin(Guest &g)
{
    // Asked for mid-pass: a diskburn that is stopped while it is still
    // starting (before it handles SIGTERM) dies of the signal, which the
    // program reports as a failure.
    g.wait_until([&] { return g.row(3).find("% done") != std::string::npos; }, 20000);
    ask_stop(g);
}

int disk_loop(Guest &g)
{
    std::smatch m;
    std::string row = g.row(3);
    static const std::regex loop("DISK: Loop:([0-9]+)");
    return std::regex_search(row, m, loop) ? std::stoi(m[1]) : 0;
}

std::vector<std::string> details_rows(Guest &g, int top, int bottom)
{
    // Page Down first takes the current line to the bottom of the page,
    // then scrolls by pages; the list ends where a page shows again.
    std::vector<std::string> rows;
    g.send("\x1b[1~\x1b[6~");
    g.settle(500, 3000);
    std::string last;
    for (int page = 0; page < 100; page++) {
        std::string shown;
        for (int y = top; y <= bottom; y++)
            shown += g.row(y) + "\n";
        if (shown == last)
            break;
        last = shown;
        for (int y = top; y <= bottom; y++)
            rows.push_back(g.row(y));
        g.send("\x1b[6~");
        g.settle(500, 3000);
    }
    return rows;
}

std::string pattern_problem(const std::string &image)
{
    std::ifstream f(image, std::ios::binary);
    if (!f)
        return "cannot read " + image;
    std::vector<unsigned char> buf(1 << 20);
    std::set<uint64_t> seeds;
    uint64_t off = 0;
    while (f.read(reinterpret_cast<char *>(buf.data()), std::streamsize(buf.size())) || f.gcount() > 0) {
        size_t got = size_t(f.gcount());
        for (size_t s = 0; s + 512 <= got; s += 512, off += 512) {
            uint64_t stamp = le64(&buf[s]), check = le64(&buf[s + 8]);
            if (stamp != off)
                return "the sector at byte " + std::to_string(off) + " carries the stamp of byte " +
                       std::to_string(stamp);
            seeds.insert(check ^ (stamp * kStampMix));
        }
    }
    if (off == 0)
        return image + " is empty";
    if (seeds.size() > 2)
        return std::to_string(seeds.size()) + " different seeds on one disk";
    return "";
}

std::string checksum(const std::string &path)
{
    std::string out = host_output("sha256sum '" + path + "'");
    return out.substr(0, out.find(' '));
}

std::string floppy_list(const std::string &image)
{
    return host_output("MTOOLS_SKIP_CHECK=1 mdir -i '" + image + "' -b :: 2>&1");
}

std::string floppy_file(const std::string &image, const std::string &name)
{
    std::string copy = image + "." + name;
    host_output("MTOOLS_SKIP_CHECK=1 mcopy -n -o -i '" + image + "' '::/" + name + "' '" + copy + "' 2>&1");
    std::string bytes = read_file(copy);
    std::remove(copy.c_str());
    return bytes;
}

std::size_t count_of(const std::string &text, const std::string &what)
{
    std::size_t n = 0;
    for (auto p = text.find(what); p != std::string::npos; p = text.find(what, p + what.size()))
        n++;
    return n;
}

std::string upper(std::string s)
{
    for (char &c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}
