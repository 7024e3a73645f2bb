// The summary as the operator sees it in the drawing grid: text and colours of
// the seven rows inside a test window's interior.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compatresult.h"
#include "conio.h"
#include "marked.h"
#include "plscreen.h"

namespace {

// The interior of the test window on an 80-column screen: columns 4-77, rows 4-10.
constexpr int left = 4, top = 4, right = 77, bottom = 10;
constexpr int width = right - left + 1;

class CompatSummary : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_GE(screen.getxsize(), 80);
        ASSERT_GE(screen.getysize(), 12);
        // Something recognisable around the window, to see that nothing spills.
        window(1, 1, screen.getxsize(), screen.getysize());
        fillbox(1, 1, screen.getxsize(), screen.getysize(), '#', 0x07);
        compat_clear(r);
    }

    void draw(int bottomrow = bottom)
    {
        window(left, top, right, bottomrow);
        textattr(0x1E);
        clrscr();
        compat_drawsummary(r);
    }

    void feed(const std::vector<std::string> &lines)
    {
        for (const std::string &l : lines)
            compat_line(r, OxString(l));
    }

    // Row n (1-based) of the interior, as text.
    static std::string text(int n)
    {
        std::string s;
        for (int x = left - 1; x < right; x++) {
            unsigned char c = screen.cell(x, top + n - 2)->ch;
            s += c < 0x20 ? '?' : char(c);
        }
        return s;
    }
    // Row n's colours: N normal (14 on 1), L label (15 on 1), A alert (14 on 3).
    static std::string colours(int n)
    {
        std::string s;
        for (int x = left - 1; x < right; x++) {
            int a = screen.cell(x, top + n - 2)->attr;
            s += a == 0x1E ? 'N' : a == 0x1F ? 'L' : a == 0x3E ? 'A' : '?';
        }
        return s;
    }
    static std::string pad(std::string s, char with = ' ')
    {
        s.resize(width, with);
        return s;
    }
    static std::string rep(int n, char c) { return std::string(n, c); }

    CompatResult r;
};

} // namespace

TEST_F(CompatSummary, RealisticRunGivesSevenRowsWithCaptionColours)
{
    feed({"Probing hardware...", "CPU: Intel(R) Pentium(R) III CPU family 1133MHz (P3)", "   Status: SUPPORTED",
          "CPU: Intel(R) Pentium(R) III CPU family 1133MHz (P3)", "   Status: SUPPORTED", "Memory Total: 512 MB",
          "VIDEO: ATI Technologies Inc Rage XL (rev 27)", "   Status: SUPPORTED",
          "NETWORK: Intel Corporation 82557 [Ethernet Pro 100] (e100)", "   Status: SUPPORTED",
          "NETWORK: Realtek RTL8139 (8139too)", "   Status: UNSUPPORTED",
          "NETWORK: Broadcom NetXtreme BCM5703 (tg3)", "   Status: SUPPORTED",
          "SCSI: Adaptec AIC-7892A U160/m (aic7xxx)", "   Status: SUPPORTED",
          "DISK: WDC WD800JB-00JJC0 - hda (80 GB)", "   Status: SUPPORTED", "DISK: SEAGATE ST336607LW - sda (36 GB)",
          "   Status: SUPPORTED", "ttyS0: 16550A"});
    compat_close(r);
    draw();

    EXPECT_EQ(text(1), pad("      CPU: P3 x 2" + rep(19 + 5, ' ') + "Memory: 512 MB usable"));
    EXPECT_EQ(colours(1), pad(rep(10, 'L') + rep(1 + 25 + 5, 'N') + rep(7, 'L'), 'N'));
    EXPECT_EQ(text(2), pad("   Serial: ttyS0"));
    EXPECT_EQ(colours(2), pad(rep(10, 'L'), 'N'));
    EXPECT_EQ(text(3), pad(" Parallel: "));
    EXPECT_EQ(colours(3), pad(rep(10, 'L'), 'N'));
    EXPECT_EQ(text(4), pad("    Video: ATI Technologies Inc Rage XL (rev 27)"));
    EXPECT_EQ(text(5), pad("  Network: e100, tg3"));
    EXPECT_EQ(colours(5), pad(rep(10, 'L') + rep(1 + 4, 'N') + "L", 'N'));
    EXPECT_EQ(text(6), pad(" SCSI/IDE: aic7xxx SCSI"));
    EXPECT_EQ(text(7), pad("    Disks: hda, sda"));
    EXPECT_EQ(colours(7), pad(rep(10, 'L') + rep(1 + 3, 'N') + "L", 'N'));
}

TEST_F(CompatSummary, NothingFoundGivesQuestionMarksAndAlertNone)
{
    compat_close(r);
    draw();
    EXPECT_EQ(text(1), pad("      CPU: ??" + rep(23 + 5, ' ') + "Memory: NONE usable"));
    EXPECT_EQ(colours(1), pad(rep(10, 'L') + rep(1 + 25 + 5, 'N') + rep(7, 'L') + "N" + "AAAA", 'N'));
    EXPECT_EQ(text(2), pad("   Serial: "));
    EXPECT_EQ(text(3), pad(" Parallel: "));
    for (int row = 4; row <= 7; row++) {
        EXPECT_EQ(text(row).substr(10), pad(" NONE").substr(0, width - 10)) << "row " << row;
        EXPECT_EQ(colours(row), pad(rep(10, 'L') + "N" + "AAAA", 'N')) << "row " << row;
    }
    EXPECT_EQ(text(4).substr(0, 10), "    Video:");
    EXPECT_EQ(text(5).substr(0, 10), "  Network:");
    EXPECT_EQ(text(6).substr(0, 10), " SCSI/IDE:");
    EXPECT_EQ(text(7).substr(0, 10), "    Disks:");
}

TEST_F(CompatSummary, MarkersCountInTheCpuPadding)
{
    feed({"CPU: Odd (k5)", "   Status: UNSUPPORTED"});
    compat_close(r);
    draw();
    // "NONE x 1" is 8 columns, but the two markers take 2 of the 25 bytes.
    EXPECT_EQ(text(1), pad("      CPU: NONE x 1" + rep(15 + 5, ' ') + "Memory: NONE usable"));
    EXPECT_EQ(colours(1).substr(0, 19), rep(10, 'L') + "N" + "AAAA" + "NNNN");
}

TEST_F(CompatSummary, LongValuePilesIntoTheLastColumn)
{
    std::vector<std::string> lines;
    for (int i = 0; i < 20; i++) {
        lines.push_back("NETWORK: Adapter (eth" + std::to_string(i) + "x)");
        lines.push_back("   Status: SUPPORTED");
    }
    lines.push_back("NETWORK: Adapter (LAST)");
    lines.push_back("   Status: SUPPORTED");
    feed(lines);
    compat_close(r);
    draw();
    std::string row = text(5);
    EXPECT_EQ(row.substr(0, 26), "  Network: eth0x, eth1x, e");
    EXPECT_EQ(row.back(), 'T');         // every later byte landed on the last column
    EXPECT_EQ(text(6).substr(0, 23), " SCSI/IDE: NONE" + rep(8, ' '));
    EXPECT_EQ(text(7).substr(0, 15), "    Disks: NONE");
    // Nothing outside the interior was touched.
    EXPECT_EQ(screen.cell(right, top + 4 - 1)->ch, '#');
    EXPECT_EQ(screen.cell(left - 2, top + 4 - 1)->ch, '#');
    EXPECT_EQ(screen.cell(left, bottom)->ch, '#');
}

TEST_F(CompatSummary, ControlBytesShowAsBlanksAndNeverMoveTheCursor)
{
    feed({"VIDEO: ATI\rRage\nXL\t\x1b[2J\x01", "   Status: SUPPORTED", "Memory Total: 256 MB\r", "ttyS0: x"});
    draw();
    EXPECT_EQ(text(1), pad("      CPU: ??" + rep(23 + 5, ' ') + "Memory: 256 MB  usable"));
    EXPECT_EQ(text(2), pad("   Serial: ttyS0"));
    EXPECT_EQ(text(4), pad("    Video: ATI Rage XL  [2J "));
    EXPECT_EQ(colours(4), pad(rep(10, 'L'), 'N'));
    EXPECT_EQ(text(5), pad("  Network: "));
}

TEST_F(CompatSummary, RedrawReplacesThePreviousSummary)
{
    feed({"VIDEO: A very long video adapter description", "   Status: SUPPORTED"});
    draw();
    compat_clear(r);
    feed({"VIDEO: Short", "   Status: SUPPORTED"});
    draw();
    EXPECT_EQ(text(4), pad("    Video: Short"));
}

TEST_F(CompatSummary, ShortWindowGetsOnlyTheRowsThatFit)
{
    compat_close(r);
    draw(top + 3);     // four rows
    EXPECT_EQ(text(1).substr(0, 13), "      CPU: ??");
    EXPECT_EQ(text(4).substr(0, 15), "    Video: NONE");
    EXPECT_EQ(screen.cell(left, top + 4 - 1)->ch, '#');
}

TEST_F(CompatSummary, HugeFieldsLookExactlyAsIfPrintedWhole)
{
    // Fields grown far past any row: the summary drops their middles for
    // speed. Whatever the cut lands on, the grid must match a print of the
    // whole text.
    for (int extra = 0; extra < 12; extra++) {
        compat_clear(r);
        std::vector<std::string> lines;
        for (int i = 0; i < 700; i++) {
            lines.push_back("NETWORK: Adapter (n" + std::to_string(i) + std::string(extra % 4, 'x') + ")");
            lines.push_back(i % 3 ? "   Status: SUPPORTED" : "   Status: UNSUPPORTED");
            lines.push_back("ttyS" + std::to_string(i) + std::string(extra, 'y') + ": port");
        }
        lines.push_back("VIDEO: " + std::string(5000 + extra, 'v') + "END");
        lines.push_back("   Status: SUPPORTED");
        feed(lines);
        compat_close(r);
        draw();
        std::vector<std::string> shown, shownc;
        for (int n = 1; n <= 7; n++) {
            shown.push_back(text(n));
            shownc.push_back(colours(n));
        }

        window(left, top, right, bottom);
        textattr(0x1E);
        clrscr();
        cprintf_marked(PlAttr(14, 1, false), PlAttr(15, 1, false), PlAttr(14, 3, false),
                       "\x08      CPU:\x08 %-25s     \x08Memory:\x08 %s\r\n\x08   Serial:\x08 %s\r\n\x08 Parallel:\x08 "
                       "%s\r\n\x08    Video:\x08 %s\r\n\x08  Network:\x08 %s\r\n\x08 SCSI/IDE:\x08 %s\r\n\x08    "
                       "Disks:\x08 %s",
                       compat_cputext(r), compat_memtext(r), r.serial, r.parallel, r.video, r.network, r.scsi,
                       r.disks);
        for (int n = 1; n <= 7; n++) {
            EXPECT_EQ(shown[n - 1], text(n)) << "row " << n << " extra " << extra;
            EXPECT_EQ(shownc[n - 1], colours(n)) << "row " << n << " extra " << extra;
        }
        EXPECT_EQ(text(4).back(), 'D');
    }
}
