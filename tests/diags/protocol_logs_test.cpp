// The helpers' lines as the program reads them: every log in
// tests/protocol/logs is fed through the program's own line handling, and
// what it concludes must be what the log's table (<name>.expect, the
// "program" rows) says. makefloppy's reader is held to the same logs by
// tests/scripts/protocol_logs.t.
#include <fcntl.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "burnstate.h"
#include "compatresult.h"

namespace {

namespace fs = std::filesystem;
using Table = std::map<std::string, std::string>;

std::vector<std::string> lines_of(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// "exit 4" and "program <key> <value>" rows; the record's rows are not ours.
// An empty value may have lost its blank.
Table expectations(const fs::path &path)
{
    Table t;
    for (const std::string &row : lines_of(path)) {
        const size_t b1 = row.find(' '), b2 = row.find(' ', b1 + 1);
        const std::string kind = row.substr(0, b1), rest = b1 == std::string::npos ? "" : row.substr(b1 + 1);
        if (kind == "exit")
            t["exit"] = rest;
        if (kind == "program")
            t[row.substr(b1 + 1, b2 - b1 - 1)] = b2 == std::string::npos ? "" : row.substr(b2 + 1);
    }
    return t;
}

// Marked-up text as the operator reads it: markers gone, no blanks at the ends.
std::string shown(const OxString &text)
{
    std::string s;
    for (char c : text.view())
        if (c != '\x07' && c != '\x08')
            s += c;
    s.erase(0, s.find_first_not_of(' '));
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

// A burn-in helper's run: its lines, then its end with the log's exit code.
Table burn_run(const std::vector<std::string> &lines, bool net, int code)
{
    SelectionWin details("Details", PlRect(3, 9, 78, 23), true);
    OxFile devnull("/dev/null", O_WRONLY, 0);
    BurnLog log(details, devnull, "/dev/null");
    BurnState st;
    for (const std::string &l : lines)
        (net ? burn_netline : burn_diskline)(st, log, OxString(l));
    const char *result = code != 0 ? "FAIL" : net && st.netbad ? "BAD" : "PASS";
    Table got = {{"message", (net ? st.netmsg : st.diskmsg).str()},
                 {"logged", std::to_string(details.count())},
                 {"result", result}};
    if (net) {
        got["sent"] = std::to_string(st.sent);
        got["recv"] = shown(st.recvtext);
    }
    return got;
}

// Every device line names a class the summary knows and is answered by one
// of the three status words before the next device: the program reads the
// probe as meant.
std::string misread(CompatResult &r, const std::string &line, bool &open)
{
    static const std::set<std::string> classes = {"CPU", "MEMORY", "VIDEO", "NETWORK", "IDE",
                                                  "SCSI", "RAID", "DISK", "SERIAL", "PARALLEL"};
    const bool status = line.rfind("   Status: ", 0) == 0;
    const OxString before = r.category;
    if (!status)
        r.category = "\x01";     // of the other lines, only a device line sets it
    compat_line(r, OxString(line));
    const bool device = !status && r.category != "\x01";
    if (!status && !device)
        r.category = before;
    static const std::set<std::string> words = {"   Status: SUPPORTED", "   Status: UNSUPPORTED",
                                                "   Status: SUPPORT UNKNOWN"};
    const bool baddevice = device && (open || !classes.count(r.category.str()));
    const bool badstatus = status && (!open || !words.count(line));
    std::string fault = baddevice || badstatus ? line + "\n" : "";
    open = device || (open && !status);
    return fault;
}

Table compat_run(const std::vector<std::string> &lines)
{
    CompatResult r;
    compat_clear(r);
    bool open = false;
    std::string faults;
    for (const std::string &l : lines)
        faults += misread(r, l, open);
    compat_close(r);
    return {{"cpu", shown(compat_cputext(r))}, {"memory", shown(compat_memtext(r))}, {"serial", shown(r.serial)},
            {"parallel", shown(r.parallel)},   {"video", shown(r.video)},             {"network", shown(r.network)},
            {"scsi", shown(r.scsi)},           {"disks", shown(r.disks)},             {"misread", faults}};
}

TEST(ProtocolLogs, TheProgramConcludesWhatEachLogsTableSays)
{
    int logs = 0;
    for (const auto &entry : fs::directory_iterator(PROTOCOL_LOGS)) {
        const fs::path log = entry.path();
        if (log.extension() != ".log")
            continue;
        SCOPED_TRACE(log.filename().string());
        Table want = expectations(fs::path(log).replace_extension(".expect"));
        const std::string name = log.filename().string();
        const std::vector<std::string> lines = lines_of(log);
        const bool compat = name.rfind("compat-", 0) == 0;
        const int code = std::stoi(want.count("exit") ? want["exit"] : "0");
        Table got = compat ? compat_run(lines) : burn_run(lines, name.rfind("netburn-", 0) == 0, code);
        want.erase("exit");
        if (compat)
            want.emplace("misread", "");
        for (auto &[key, value] : want) {
            ASSERT_TRUE(got.count(key)) << "no such conclusion: " << key;
            EXPECT_EQ(got[key], value) << key;
        }
        logs++;
    }
    EXPECT_GE(logs, 14);
}

} // namespace
