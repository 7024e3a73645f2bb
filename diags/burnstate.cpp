#include "burnstate.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

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
    if (file.isok() && file.write(record))
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

static const char *diskword(const BurnState &st)
{
    if (st.diskcode != 0)
        return "\x07" "FAIL\x07";
    return st.pending ? "RUN " : "PASS";
}

static const char *netword(const BurnState &st)
{
    if (st.netcode != 0)
        return "\x07" "FAIL\x07";
    if (st.netbad)
        return "\x07" "BAD\x07 ";
    return st.pending ? "RUN " : "PASS";
}

// What of a helper's message can show on a row: the console layer piles
// everything past the last column into that column, so a long message shows
// its first cells and then its last one. Printing a megabyte message byte by
// byte on every pass would make every key and every line wait for it; print
// only the first screen-width cells and then the last cell in its colour.
static OxString bounded(const OxString &text)
{
    const size_t width = size_t(screen.getxsize());
    const std::string &s = text.str();
    size_t cells = 0, cut = 0;
    bool label = false, alert = false;
    while (cut < s.size() && cells < width) {
        char c = s[cut++];
        if (c == 0x08)
            label = !label;
        else if (c == 0x07)
            alert = !alert;
        else
            cells++;
    }
    size_t last = s.size();
    while (last > cut && (s[last - 1] == 0x07 || s[last - 1] == 0x08))
        last--;
    if (last <= cut)
        return text;
    // The colour state just before the last cell, from the markers between.
    bool label2 = label, alert2 = alert;
    for (size_t i = cut; i + 1 < last; i++) {
        if (s[i] == 0x08)
            label2 = !label2;
        else if (s[i] == 0x07)
            alert2 = !alert2;
    }
    std::string out = s.substr(0, cut);
    if (label2 != label)
        out += '\x08';
    if (alert2 != alert)
        out += '\x07';
    out += s[last - 1];
    return OxString(std::move(out));
}

void burn_drawstatus(const BurnState &st, OvlWin &status)
{
    status.focus();
    clrscr();
    // Messages are helper text: their control bytes must not move the
    // cursor, but their colour markers are honoured.
    cprintf_marked(PANEL_TEXT, "    DISK: \x08Loop:\x08%-9s \x08Result:\x08%s \x08|\x08 %s\r\n",
                   OxString(st.diskloop), diskword(st), blank_controls(bounded(st.diskmsg), true));
    cprintf_marked(PANEL_TEXT, " NETWORK: \x08Sent:\x08%-9s \x08Result:\x08%s \x08|\x08 %s\r\n",
                   OxString((long long)st.sent), netword(st), blank_controls(bounded(st.netmsg), true));
    cprintf_marked(PANEL_TEXT, "          \x08Recv:\x08%s", bounded(st.recvtext));
    status.unfocus();
}
