// The burn-in line protocol, its log and the three status rows.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "burnstate.h"
#include "conio.h"
#include "marked.h"
#include "plscreen.h"

namespace {

// A Details list and a real log file in a private directory.
class BurnTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/burnstate-XXXXXX";
        dir = mkdtemp(tmpl);
        path = dir + "/log";
        file = std::make_unique<OxFile>(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        details = std::make_unique<SelectionWin>("Details", PlRect(3, 9, 78, 23), true);
        log = std::make_unique<BurnLog>(*details, *file, path.c_str());
        status = std::make_unique<OvlWin>("Burn-in Test", PlRect(3, 3, 78, 7), 14, 1, 15, true);
    }
    void TearDown() override
    {
        log.reset();
        status.reset();
        details.reset();
        file.reset();
        unlink(path.c_str());
        rmdir(dir.c_str());
    }
    std::string logtext()
    {
        file->flush();
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // Text of a client row of the status window (1-based), as characters.
    std::string row(int r)
    {
        std::string s;
        for (int x = 3; x < 77; x++) {
            int c = screen.cell(x, 3 + r - 1)->ch;
            s += char(c < 0x20 ? ' ' : c);
        }
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
        return s;
    }
    int attr(int col, int r) { return screen.cell(col - 1, 3 + r - 1)->attr; }
    void draw()
    {
        status->show();
        status->unfocus();
        burn_drawstatus(st, net, disk, *status);
    }

    std::string dir, path;
    std::unique_ptr<OxFile> file;
    std::unique_ptr<SelectionWin> details;
    std::unique_ptr<BurnLog> log;
    std::unique_ptr<OvlWin> status;
    BurnState st;
    HelperState net, disk;
};

TEST_F(BurnTest, StatusLinesSetSentAndPortPercentages)
{
    burn_netline(st, *log, "@1000 eth0=1000 eth1=899");
    EXPECT_EQ(st.sent, 1000);
    EXPECT_EQ(st.recvtext, " eth0\x08:\x08" "100\x08%\x08 " " eth1\x08:\x08" "89\x08%\x08  ");
    EXPECT_TRUE(st.netbad);
    burn_netline(st, *log, "@1000 eth0=1000 eth1=1000");
    EXPECT_TRUE(st.netbad) << "a bad port stays reported for the whole run";
    EXPECT_EQ(details->count(), 0) << "status lines are not logged";
    EXPECT_EQ(logtext(), "");
}

TEST_F(BurnTest, SentZeroCountsAsOneAndFieldsMayUseBlanksOrEquals)
{
    burn_netline(st, *log, "@0 eth0=0");
    EXPECT_EQ(st.sent, 1);
    EXPECT_TRUE(st.netbad);
    EXPECT_EQ(st.recvtext, " eth0\x08:\x08" "0\x08%\x08   ");

    BurnState s2;
    burn_netline(s2, *log, "@500");
    EXPECT_EQ(s2.sent, 500);
    EXPECT_EQ(s2.recvtext, "");
    EXPECT_FALSE(s2.netbad);

    BurnState s3;
    burn_netline(s3, *log, "@1000 = eth0 == 950");
    EXPECT_EQ(s3.recvtext, " eth0\x08:\x08" "95\x08%\x08  ");
    EXPECT_FALSE(s3.netbad);

    BurnState s4;
    burn_netline(s4, *log, "@1000 eth0 998 eth1 1000");
    EXPECT_EQ(s4.recvtext, " eth0\x08:\x08" "99\x08%\x08  " " eth1\x08:\x08" "100\x08%\x08 ");
}

TEST_F(BurnTest, PercentageRoundsAndTruncates)
{
    burn_netline(st, *log, "@1000 a=900 b=899 c=-5");
    EXPECT_EQ(st.recvtext, " a\x08:\x08" "90\x08%\x08  " " b\x08:\x08" "89\x08%\x08  " " c\x08:\x08" "0\x08%\x08   ");
    BurnState s;
    burn_netline(s, *log, "@3 p=1");
    EXPECT_EQ(s.recvtext, " p\x08:\x08" "33\x08%\x08  ");
}

TEST_F(BurnTest, HugeCountsDoNotOverflow)
{
    // 2^62 received of 2^62 sent is 100 %, though count * 1000 exceeds 64 bits.
    burn_netline(st, *log, "@4611686018427387904 eth0=4611686018427387904");
    EXPECT_EQ(st.recvtext, " eth0\x08:\x08" "100\x08%\x08 ");
    EXPECT_FALSE(st.netbad);
    // Out-of-range numbers clamp as strtoll does.
    BurnState s;
    burn_netline(s, *log, "@99999999999999999999999 eth0=99999999999999999999999");
    EXPECT_EQ(s.sent, INT64_MAX);
    EXPECT_EQ(s.recvtext, " eth0\x08:\x08" "100\x08%\x08 ");
    BurnState t;
    burn_netline(t, *log, "@1 eth0=9223372036854775807");
    EXPECT_EQ(t.recvtext, " eth0\x08:\x08" "922337203685477580700\x08%\x08 ");
}

TEST_F(BurnTest, LinesThatBreakTheProtocolAreIgnoredWhole)
{
    burn_netline(st, *log, "@1000 eth0=1000");
    BurnState before = st;
    for (const char *bad : {"@1000 eth0", "@ 1000 eth0=5", "@", "@1000 eth0=1 eth1"}) {
        burn_netline(st, *log, bad);
        EXPECT_EQ(st.sent, before.sent) << bad;
        EXPECT_EQ(st.recvtext, before.recvtext) << bad;
        EXPECT_FALSE(st.netbad) << bad;
    }
    EXPECT_EQ(details->count(), 0);
}

TEST_F(BurnTest, MessagesAreLoggedAndShown)
{
    burn_netline(st, *log, "abc");
    burn_netline(st, *log, "");
    EXPECT_EQ(st.netmsg, "");
    burn_netline(st, *log, "link up");
    burn_diskline(st, *log, "sda: writing");
    burn_diskline(st, *log, " detail");
    EXPECT_EQ(st.netmsg, "link up");
    EXPECT_EQ(st.diskmsg, "sda: writing") << "detail lines leave the row's message alone";
    burn_diskline(st, *log, "");
    EXPECT_EQ(st.diskmsg, "") << "an empty disk line empties the message";
    EXPECT_EQ(logtext(), "Network: abc\nNetwork: \nNetwork: link up\n   Disk: sda: writing\n   Disk:  detail\n   Disk: \n");
    ASSERT_EQ(details->count(), 6);
    EXPECT_EQ(details->choicestr(4), "   Disk:  detail");
}

TEST_F(BurnTest, LogKeepsEveryByteOfALine)
{
    std::string raw("a\rb\0c\x1b[2J", 9);
    burn_diskline(st, *log, OxString(raw));
    EXPECT_EQ(logtext(), "   Disk: " + raw + "\n");
}

TEST_F(BurnTest, FailingLogFileIsReportedOnceInTheList)
{
    OxFile bad("/nonexistent-dir/burnin.log", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    BurnLog blog(*details, bad, "/nonexistent-dir/burnin.log");
    blog.print("one");
    blog.print("two");
    ASSERT_EQ(details->count(), 3);
    EXPECT_EQ(details->choicestr(0), "one");
    EXPECT_NE(std::string(details->choicestr(1).cstr()).find("/nonexistent-dir/burnin.log"), std::string::npos);
    EXPECT_EQ(details->choicestr(2), "two");
}

TEST_F(BurnTest, StatusRowsShowTheState)
{
    disk.pass = 2;
    st.diskmsg = "abc";
    burn_netline(st, *log, "@1000 eth0=1000");
    draw();
    EXPECT_EQ(row(1), "    DISK: Loop:2         Result:RUN  | abc");
    EXPECT_EQ(row(2), " NETWORK: Sent:1000      Result:RUN  |");
    EXPECT_EQ(row(3), "          Recv: eth0:100%");
    // Captions in the label colour, values in the normal colour.
    EXPECT_EQ(attr(4 + 4, 1), 0x1E);   // "DISK" heading
    EXPECT_EQ(attr(4 + 10, 1), 0x1F);  // "Loop:"
    EXPECT_EQ(attr(4 + 15, 1), 0x1E);  // "2"
    EXPECT_EQ(attr(4 + 37, 1), 0x1F);  // "|"
    EXPECT_EQ(attr(4 + 20, 3), 0x1F);  // ":" after eth0
    EXPECT_EQ(attr(4 + 24, 3), 0x1F);  // "%"
}

TEST_F(BurnTest, ResultWordsAndAlertColour)
{
    st.pending = false;
    draw();
    EXPECT_NE(row(1).find("Result:PASS |"), std::string::npos);
    EXPECT_NE(row(2).find("Result:PASS |"), std::string::npos);
    disk.code = 3;
    st.netbad = true;
    draw();
    EXPECT_NE(row(1).find("Result:FAIL |"), std::string::npos);
    EXPECT_EQ(attr(4 + 32, 1), 0x3E) << "FAIL in the alert colour";
    EXPECT_NE(row(2).find("Result:BAD  |"), std::string::npos);
    EXPECT_EQ(attr(4 + 32, 2), 0x3E);
    EXPECT_EQ(attr(4 + 35, 2), 0x1E) << "the blank after BAD is normal";
    net.code = 1;
    draw();
    EXPECT_NE(row(2).find("Result:FAIL |"), std::string::npos);
}

TEST_F(BurnTest, LongMessagePilesIntoTheLastColumnAndControlsShowAsBlanks)
{
    st.diskmsg = OxString(std::string(200, 'x') + "Z");
    st.netmsg = "a\r\nb\x1b" "c";
    draw();
    std::string r1 = row(1);
    EXPECT_EQ(r1.size(), 74u);
    EXPECT_EQ(r1.back(), 'Z');
    EXPECT_EQ(row(2), " NETWORK: Sent:0         Result:RUN  | a  b c");
    EXPECT_EQ(row(3), "          Recv:");
}

// A long message is printed in a bounded form, but what the row shows,
// cell by cell and colour by colour, is what printing it whole shows.
TEST_F(BurnTest, LongMessageShowsAsIfPrintedWhole)
{
    std::string big;
    for (int i = 0; i < 5000; i++) {
        big += char('a' + i % 26);
        if (i % 97 == 0)
            big += '\x08';
        if (i % 131 == 0)
            big += '\x07';
        if (i % 389 == 0)
            big += '\r';
    }
    status->show();
    status->unfocus();
    for (const std::string &msg : {big, big + "\x07Z", big + "\x08\x07", std::string(300, '\x08') + "q"}) {
        SCOPED_TRACE(msg.size());
        st.diskmsg = OxString(msg);
        st.netmsg = OxString(msg);
        // The clearing takes the colour the last print left; start both alike.
        status->focus();
        textattr(0x1E);
        status->unfocus();
        draw();
        std::vector<PlCell> shown;
        for (int x = 3; x < 77; x++)
            for (int y = 3; y < 5; y++)
                shown.push_back(*screen.cell(x, y));
        status->focus();
        textattr(0x1E);
        clrscr();
        PlAttr normal(14, 1, false), label(15, 1, false), alert(14, 3, false);
        cprintf_marked(normal, label, alert, "    DISK: \x08Loop:\x08%-9s \x08Result:\x08%s \x08|\x08 %s\r\n", "1",
                       "RUN ", blank_controls(OxString(msg), true));
        cprintf_marked(normal, label, alert, " NETWORK: \x08Sent:\x08%-9s \x08Result:\x08%s \x08|\x08 %s\r\n", "0",
                       "RUN ", blank_controls(OxString(msg), true));
        status->unfocus();
        size_t i = 0;
        for (int x = 3; x < 77; x++)
            for (int y = 3; y < 5; y++, i++) {
                EXPECT_EQ(screen.cell(x, y)->ch, shown[i].ch) << x << "," << y;
                EXPECT_EQ(screen.cell(x, y)->attr, shown[i].attr) << x << "," << y;
            }
    }
}

} // namespace
