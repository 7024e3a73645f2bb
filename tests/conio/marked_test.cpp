// Marked-up text: two marker bytes switch between three colours.
#include <gtest/gtest.h>

#include "conhelpers.h"
#include "marked.h"

namespace {

constexpr int NORMAL = 0x1e, LABEL = 0x1f, ALERT = 0x3e;

class Marked : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_console();
        window(1, 1, 80, 25);
    }
    static void print(const char *text) { cputs_marked(NORMAL, LABEL, ALERT, OxString(text)); }
};

TEST_F(Marked, AlertWinsOverLabel)
{
    print("\x08" "a\x07" "b\x08" "c\x07" "d");
    EXPECT_EQ(rowtext(0, 0, 5), std::string("abcd\0", 5));
    EXPECT_EQ(cellat(0, 0).attr, LABEL);
    EXPECT_EQ(cellat(1, 0).attr, ALERT);
    EXPECT_EQ(cellat(2, 0).attr, ALERT);
    EXPECT_EQ(cellat(3, 0).attr, NORMAL);
    EXPECT_EQ(ti.curx, 5);
}

TEST_F(Marked, OddMarkerLastsToTheEndOnly)
{
    print("x\x08" "ab");
    EXPECT_EQ(cellat(0, 0).attr, NORMAL);
    EXPECT_EQ(cellat(1, 0).attr, LABEL);
    EXPECT_EQ(cellat(2, 0).attr, LABEL);
    // The attribute is left as last set...
    EXPECT_EQ(ti.attribute.get(), LABEL);
    // ...but the next print starts over in the normal colour.
    print("c\x07");
    EXPECT_EQ(cellat(3, 0).ch, 'c');
    EXPECT_EQ(cellat(3, 0).attr, NORMAL);
    EXPECT_EQ(ti.attribute.get(), ALERT);
    print("d");
    EXPECT_EQ(cellat(4, 0).attr, NORMAL);
}

TEST_F(Marked, MarkersCountInPaddedFields)
{
    cprintf_marked(NORMAL, LABEL, ALERT, "%-25s|", "\x07NONE\x07");
    EXPECT_EQ(rowtext(0, 0, 4), "NONE");
    EXPECT_EQ(cellat(0, 0).attr, ALERT);
    EXPECT_EQ(cellat(3, 0).attr, ALERT);
    EXPECT_EQ(rowtext(4, 0, 19), std::string(19, ' '));
    EXPECT_EQ(cellat(4, 0).attr, NORMAL);
    EXPECT_EQ(cellat(23, 0).ch, '|');   // 23 columns, then the bar
    EXPECT_EQ(cellat(24, 0).ch, 0);
}

TEST_F(Marked, LineEndsOfTheProgramStillWork)
{
    cprintf_marked(NORMAL, LABEL, ALERT, "\x08%s\x08 %s\r\n%s", "CPU:", "x86", "next");
    EXPECT_EQ(rowtext(0, 0, 8), "CPU: x86");
    EXPECT_EQ(cellat(0, 0).attr, LABEL);
    EXPECT_EQ(cellat(4, 0).attr, NORMAL);
    EXPECT_EQ(rowtext(0, 1, 4), "next");
}

TEST_F(Marked, FormatWithoutArguments)
{
    cprintf_marked(NORMAL, LABEL, ALERT, "\x07" "FAIL\x07 100%%");
    EXPECT_EQ(rowtext(0, 0, 9), "FAIL 100%");
    EXPECT_EQ(cellat(0, 0).attr, ALERT);
    EXPECT_EQ(cellat(5, 0).attr, NORMAL);
}

TEST_F(Marked, SanitisedHelperTextKeepsMarkersButNotLineBreaks)
{
    const OxString helper(std::string("eth0\r\n\x1b[31m\x07up", 14));
    cputs_marked(NORMAL, LABEL, ALERT, blank_controls(helper, true));
    EXPECT_EQ(rowtext(0, 0, 13), "eth0   [31mup");
    EXPECT_EQ(cellat(11, 0).attr, ALERT);
    EXPECT_EQ(ti.cury, 1);
}

} // namespace
