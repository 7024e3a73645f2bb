#include "burnstate.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "conio.h"
#include "marked.h"
#include "oxstringlist.h"
#include "plscreen.h"

BurnLog::BurnLog(SelectionWin &list, OxStream &log, const char *logname)
    : details(list), file(log), filename(logname)
{
}

void BurnLog::print(const OxString &text)
{
    details.append(text);
    OxString record(text);
    record.append(OxString("\n"));
    if (file.write(record))
        return;
    // The closing line points the operator at the log file: say once that
    // it is incomplete rather than let that line mislead.
    if (!reported) {
        reported = true;
        int e = file.geterr();
        details.append(OxString("(Cannot write the log file \"%s\": %s)", filename,
                                e ? strerror(e) : "not open"));
    }
}

// Reads a decimal number as atoll does, clamping at the 64-bit range as
// strtoll does, so no helper output can overflow it.
static int64_t readnumber(const OxString &text, size_t from)
{
    if (from >= text.len())
        return 0;
    return strtoll(text.cstr() + from, nullptr, 10);
}

// Decimal text of a 128-bit value: the percentage of a huge count exceeds 64 bits.
static OxString decimal(__int128 v)
{
    char buf[48];
    char *p = buf + sizeof buf;
    *--p = '\0';
    bool neg = v < 0;
    do {
        int digit = int(v % 10);
        *--p = char('0' + (digit < 0 ? -digit : digit));
        v /= 10;
    } while (v != 0);
    if (neg)
        *--p = '-';
    return OxString(p);
}

void burn_netline(BurnState &st, BurnLog &log, const OxString &line)
{
    if (line.len() == 0 || line[0] != '@') {
        log.print("Network: %s", line);
        st.netmsg = line;
        return;
    }
    OxStringList list;
    list.split(line, " =", 0);
    // A line that is not "@count" plus whole pairs breaks the protocol;
    // reading it anyway would invent a port at 0 % and a permanent BAD.
    if (list.count() % 2 == 0 || list[0].len() < 2)
        return;

    OxString txs = list.popstr();
    st.sent = readnumber(txs, 1);
    if (st.sent == 0)
        st.sent = 1;
    st.recvtext = OxString();
    while (!list.empty()) {
        OxString name = blank_controls(list.popstr(), false);
        int64_t count = readnumber(list.popstr(), 0);
        // 128-bit so that count * 1000 cannot overflow for any 64-bit count.
        __int128 percent = ((__int128)count * 1000 + 5) / st.sent / 10;
        if (percent <= 89)
            st.netbad = true;
        OxString pct("%s\x08%%\x08", decimal(percent));
        st.recvtext.append(" %s\x08:\x08%-6s ", name, pct);
    }
}

void burn_diskline(BurnState &st, BurnLog &log, const OxString &line)
{
    log.print("   Disk: %s", line);
    if (line.len() == 0 || line[0] != ' ')
        st.diskmsg = line;
}

// The result words, four cells each on screen.
static constexpr MarkedWord fail_word(MARK_ALERT, "FAIL");
static constexpr MarkedWord bad_word(MARK_ALERT, "BAD");

static OxString diskword(const BurnState &st, const HelperState &disk)
{
    if (disk.code != 0)
        return fail_word.cstr();
    return st.pending ? "RUN " : "PASS";
}

static OxString netword(const BurnState &st, const HelperState &net)
{
    if (net.code != 0)
        return fail_word.cstr();
    if (st.netbad)
        return OxString("%s ", bad_word.cstr());
    return st.pending ? "RUN " : "PASS";
}

void burn_drawstatus(const BurnState &st, const HelperState &net, const HelperState &disk, OvlWin &status)
{
    // A helper's message printed byte by byte on every pass would make every
    // key and every line wait for a megabyte line: print only what a row can
    // show. Its control bytes must not move the cursor; its colour markers
    // are honoured.
    const size_t room = size_t(screen.getxsize());
    auto message = [room](const OxString &text) { return blank_controls(clip_marked(text, room), true); };
    status.focus();
    clrscr();
    cprintf_marked(PANEL_TEXT, "    DISK: \x08Loop:\x08%-9s \x08Result:\x08%s \x08|\x08 %s\r\n", OxString(disk.pass),
                   diskword(st, disk), message(st.diskmsg));
    cprintf_marked(PANEL_TEXT, " NETWORK: \x08Sent:\x08%-9s \x08Result:\x08%s \x08|\x08 %s\r\n",
                   OxString((long long)st.sent), netword(st, net), message(st.netmsg));
    cprintf_marked(PANEL_TEXT, "          \x08Recv:\x08%s", clip_marked(st.recvtext, room));
    status.unfocus();
}

// A row as plain text: the words the panel shows, without colour markers
// or control bytes.
OxString burn_rowtext(const BurnState &st, const HelperState &net, const HelperState &disk, int row)
{
    const OxString text = row == 0 ? OxString("Loop:%s Result:%s | %s", OxString(disk.pass), diskword(st, disk), st.diskmsg)
                                   : OxString("Sent:%s Result:%s | %s", OxString((long long)st.sent), netword(st, net),
                                              st.netmsg);
    std::string plain;
    for (char c : text.str())
        if ((unsigned char)c >= 0x20 && plain.size() < 512)
            plain += c;
    return OxString(plain);
}
