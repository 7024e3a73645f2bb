// What each refresh puts on the wire, byte for byte.
#include <gtest/gtest.h>

#include "testterm.h"

namespace {

std::string esc(const std::string &s)
{
    std::string r;
    for (unsigned char c : s) {
        if (c == 0x1b)
            r += "ESC";
        else if (c == 0x0e)
            r += "<SO>";
        else if (c == 0x0f)
            r += "<SI>";
        else if (c < 0x20 || c >= 0x7f) {
            char b[8];
            snprintf(b, sizeof b, "<%02X>", c);
            r += b;
        } else
            r += char(c);
    }
    return r;
}

#define EXPECT_BYTES(actual, expected) EXPECT_EQ(esc(actual), esc(expected))

} // namespace

TEST(Refresh, WorkedExample)
{
    MemScreen m;
    m.put(2, 1, 'A', 0x07);
    EXPECT_BYTES(m.refresh(), "\x1b[0;30;40m"
                              "\x0f\x1b)0"
                              "\x1b[?25l"
                              "\x1b[2;3H"
                              "\x1b[0;37;40m"
                              "A"
                              "\x1b[1;1H"
                              "\x1b[?25h"
                              "\x0f\x1b)B\x1b(B");
}

TEST(Refresh, WholeUpdateLeavesInOneFlush)
{
    MemScreen m;
    m.put(2, 1, 'A', 0x07);
    m.put(70, 20, 0xF1, 0x1E);
    size_t before = m.term->chunks().size();
    m.scr->refresh();
    auto chunks = m.term->chunks();
    ASSERT_EQ(chunks.size(), before + 1);
    EXPECT_EQ(chunks.back(), m.term->output());
    EXPECT_TRUE(m.term->held().empty());
}

TEST(Refresh, FirstRefreshClearsAndSendsEveryNonZeroCell)
{
    MemScreen m(false);
    m.put(0, 0, 'x', 0x07);
    m.put(79, 23, 'y', 0x07);
    m.put(5, 5, 0, 0x10);    // attribute only: not all-zero, so sent (as a blank)
    EXPECT_BYTES(m.refresh(), "\x1b[2J" + REFRESH_HEAD +
                                  "\x1b[1;1H\x1b[0;37;40mx"
                                  "\x1b[6;6H\x1b[0;30;44m "
                                  "\x1b[24;80H\x1b[0;37;40my"
                                  "\x1b[1;1H\x1b[?25h" +
                                  REFRESH_TAIL);
}

TEST(Refresh, FirstRefreshOfAnEmptyGridOnlyClearsAndPlacesTheCursor)
{
    MemScreen m(false);
    EXPECT_BYTES(m.refresh(), "\x1b[2J\x1b[1;1H");
}

TEST(Refresh, UnchangedScreenWritesNothing)
{
    MemScreen m;
    m.put(3, 3, 'z', 0x07);
    m.refresh();
    EXPECT_BYTES(m.refresh(), "");
    EXPECT_BYTES(m.refresh(), "");
}

TEST(Refresh, MovedCursorOnlyWritesTheCursorSequence)
{
    MemScreen m;
    m.scr->gotoxy(5, 3);
    EXPECT_BYTES(m.refresh(), "\x1b[4;6H");
    EXPECT_BYTES(m.refresh(), "");
    m.scr->setcursortype(0);    // visibility is not re-sent without a cell change
    m.scr->gotoxy(79, 23);
    EXPECT_BYTES(m.refresh(), "\x1b[24;80H");
}

TEST(Refresh, ShiftBytesOnlyBetweenTextAndLineDrawing)
{
    MemScreen m;
    m.put(0, 0, GLYPH_HLINE, 0x07);
    m.put(1, 0, GLYPH_HLINE, 0x07);
    m.put(2, 0, 'A', 0x07);
    m.put(3, 0, GLYPH_ULCORNER, 0x07);
    EXPECT_BYTES(m.refresh(), REFRESH_HEAD + "\x1b[1;1H\x1b[0;37;40m\x0eqq\x0f" "A\x0el\x1b[1;1H\x1b[?25h" + REFRESH_TAIL);
}

TEST(Refresh, AttributeSequences)
{
    struct Case {
        int attr;
        const char *seq;
    } cases[] = {
        {0x1E, "\x1b[0;33;44;1m"}, {0x40, "\x1b[0;30;46m"}, {0x08, "\x1b[0;30;40;1m"},
        {0x87, "\x1b[0;37;40;5m"}, {0x31, "\x1b[0;34;41m"}, {0xFF, "\x1b[0;37;47;5;1m"},
    };
    for (const Case &c : cases) {
        MemScreen m;
        m.put(0, 0, 'a', c.attr);
        EXPECT_BYTES(m.refresh(), REFRESH_HEAD + "\x1b[1;1H" + c.seq + "a\x1b[1;1H\x1b[?25h" + REFRESH_TAIL)
            << "attribute " << c.attr;
    }
}

TEST(Refresh, AttributeSentOnlyWhenItChanges)
{
    MemScreen m;
    m.put(0, 0, 'a', 0x07);
    m.put(1, 0, 'b', 0x07);
    m.put(2, 0, 'c', 0x1E);
    m.put(3, 0, 'd', 0x07);
    m.put(10, 0, 'e', 0x07);
    EXPECT_BYTES(m.refresh(), REFRESH_HEAD + "\x1b[1;1H\x1b[0;37;40mab\x1b[0;33;44;1mc\x1b[0;37;40md"
                                             "\x1b[1;11He\x1b[1;1H\x1b[?25h" +
                                  REFRESH_TAIL);
}

TEST(Refresh, AdjacentCellsShareOneCursorMove)
{
    MemScreen m;
    m.put(5, 3, 'a', 0);
    m.put(6, 3, 'b', 0);
    EXPECT_BYTES(m.refresh(), REFRESH_HEAD + "\x1b[4;6Hab\x1b[1;1H\x1b[?25h" + REFRESH_TAIL);
}

TEST(Refresh, NoWrapIsAssumedAtTheEndOfARow)
{
    MemScreen m;
    m.put(79, 3, 'a', 0);
    m.put(0, 4, 'b', 0);
    EXPECT_BYTES(m.refresh(), REFRESH_HEAD + "\x1b[4;80Ha\x1b[5;1Hb\x1b[1;1H\x1b[?25h" + REFRESH_TAIL);
}

TEST(Refresh, CursorTypeEndsEveryChangedRefresh)
{
    MemScreen m;
    m.scr->setcursortype(0);
    m.scr->gotoxy(10, 2);
    m.put(0, 0, 'a', 0);
    EXPECT_BYTES(m.refresh(), REFRESH_HEAD + "\x1b[1;1Ha\x1b[3;11H\x1b[?25l" + REFRESH_TAIL);
    m.scr->setcursortype(2);
    m.put(0, 0, 'b', 0);
    EXPECT_BYTES(m.refresh(), REFRESH_HEAD + "\x1b[1;1Hb\x1b[3;11H\x1b[?25h" + REFRESH_TAIL);
}

TEST(Refresh, OnlyChangedCellsAreSent)
{
    MemScreen m;
    m.put(1, 1, 'a', 0x07);
    m.put(2, 1, 'b', 0x07);
    m.refresh();
    m.put(2, 1, 'c', 0x07);
    EXPECT_BYTES(m.refresh(), REFRESH_HEAD + "\x1b[2;3H\x1b[0;37;40mc\x1b[1;1H\x1b[?25h" + REFRESH_TAIL);
    m.put(2, 1, 'c', 0x1E);    // same character, new colour
    EXPECT_BYTES(m.refresh(), REFRESH_HEAD + "\x1b[2;3H\x1b[0;33;44;1mc\x1b[1;1H\x1b[?25h" + REFRESH_TAIL);
}

TEST(Refresh, ControlCharactersGoOutAsBlanks)
{
    for (int c = 0; c < 0x20; c++) {
        MemScreen m;
        m.put(0, 0, c, 0x07);
        EXPECT_BYTES(m.refresh(), REFRESH_HEAD + "\x1b[1;1H\x1b[0;37;40m \x1b[1;1H\x1b[?25h" + REFRESH_TAIL)
            << "cell " << c;
    }
}

TEST(Refresh, CellsThatWouldBecomeDelOrC1GoOutAsPlainBlanks)
{
    // DEL itself, and glyph cells whose low seven bits are a control or DEL:
    // sent after SO they would reach the terminal as controls (0x9B as ESC).
    std::vector<int> bad = {0x7F, 0xFF};
    for (int c = 0x80; c < 0xA0; c++)
        bad.push_back(c);
    for (int c : bad) {
        MemScreen m;
        m.put(0, 0, c, 0x07);
        EXPECT_BYTES(m.refresh(), REFRESH_HEAD + "\x1b[1;1H\x1b[0;37;40m \x1b[1;1H\x1b[?25h" + REFRESH_TAIL)
            << "cell " << c;
    }
}

TEST(Refresh, HelperTextCannotInjectSequences)
{
    // A line of everything a helper might print, UTF-8 and stray escapes included.
    MemScreen m;
    for (int c = 0; c < 256; c++)
        m.put(c % 80, c / 80, c, 0x07);
    std::string out = m.refresh();
    // Strip what the refresh itself sends: CSI ... final, ESC ) x, ESC ( x, SO, SI.
    std::string rest;
    for (size_t i = 0; i < out.size(); i++) {
        unsigned char b = (unsigned char)out[i];
        if (b == 0x1b) {
            ASSERT_LT(i + 1, out.size());
            char k = out[i + 1];
            if (k == '[') {
                i += 2;
                while (i < out.size() && !(out[i] >= 0x40 && out[i] <= 0x7e))
                    i++;
            } else {
                ASSERT_TRUE(k == ')' || k == '(') << "unexpected ESC " << k;
                i += 2;
            }
            continue;
        }
        if (b == 0x0e || b == 0x0f)
            continue;
        rest += char(b);
    }
    ASSERT_EQ(rest.size(), 256u);    // one byte per cell, nothing more
    for (unsigned char b : rest) {
        EXPECT_GE(b, 0x20);
        EXPECT_LT(b, 0x7F);
    }
}

TEST(Refresh, LineDrawingGlyphsKeepTheirCodes)
{
    for (int c = 0xA0; c < 0xFF; c++) {
        MemScreen m;
        m.put(0, 0, c, 0x07);
        std::string want = REFRESH_HEAD + "\x1b[1;1H\x1b[0;37;40m\x0e";
        want += char(c & 0x7F);
        want += "\x1b[1;1H\x1b[?25h" + REFRESH_TAIL;
        EXPECT_BYTES(m.refresh(), want) << "cell " << c;
    }
}

TEST(Refresh, FullRefreshRepaintsEverything)
{
    MemScreen m;
    m.put(4, 0, 'q', 0x07);
    m.refresh();
    EXPECT_BYTES(m.refresh(true), "\x1b[2J" + REFRESH_HEAD + "\x1b[1;5H\x1b[0;37;40mq\x1b[1;1H\x1b[?25h" + REFRESH_TAIL);
}

TEST(Refresh, ReRawRepaintsOnTheNextRefresh)
{
    MemScreen m;
    m.put(4, 0, 'q', 0x07);
    m.refresh();
    m.scr->reraw();
    EXPECT_BYTES(m.refresh(), "\x1b[2J" + REFRESH_HEAD + "\x1b[1;5H\x1b[0;37;40mq\x1b[1;1H\x1b[?25h" + REFRESH_TAIL);
    EXPECT_BYTES(m.refresh(), "");
}

TEST(Refresh, WritersOfSingleSequences)
{
    MemScreen m;
    m.scr->_clear();
    m.scr->_gotoxy(0, 0);
    m.scr->_gotoxy(199, 999);    // no upper bound
    m.scr->_setattr(0x4F);
    m.scr->_showcursor(0);
    m.scr->_showcursor(7);
    m.scr->flush();
    EXPECT_BYTES(m.term->take_output(), "\x1b[2J\x1b[1;1H\x1b[1000;200H\x1b[0;37;46;1m\x1b[?25l\x1b[?25h");
}

TEST(Screen, ConsoleColoursToAnsi)
{
    const int want[8] = {0, 4, 2, 1, 6, 5, 3, 7};
    for (int c = 0; c < 16; c++)
        EXPECT_EQ(PlScreen::cons_to_ansi(c), want[c & 7]) << c;
}

TEST(Screen, DestructorParksTheCursorAndRestores)
{
    std::string wire;
    auto *term = new MemStream;
    term->copy_to = &wire;
    {
        PlScreen s(term, term);
        s.refresh();
        wire.clear();
        *s.cell(0, 0) = PlCell('a', PlAttr(0x07));    // the last refresh still goes out
    }
    EXPECT_BYTES(wire, REFRESH_HEAD + "\x1b[1;1H\x1b[0;37;40ma\x1b[1;1H\x1b[?25h" + REFRESH_TAIL +
                           "\x1b[0;37;40m\x1b[?25h\x1b[25;2H\n");
}

TEST(Screen, WithoutDescriptorsTheScreenIs80x24)
{
    MemScreen m;
    EXPECT_EQ(m.scr->getxsize(), 80);
    EXPECT_EQ(m.scr->getysize(), 24);
    EXPECT_EQ(m.scr->getfd(), -1);
    EXPECT_FALSE(m.scr->hadtio());
}

TEST(Screen, ReadsThroughItsInputStream)
{
    auto *in = new MemStream;
    auto *out = new MemStream;
    PlScreen s(in, out);
    in->inject("ab\nc");
    EXPECT_TRUE(s.isreadable());
    OxString line;
    ASSERT_TRUE(s.getline(line));
    EXPECT_EQ(line, "ab");
    EXPECT_TRUE(s.isok());
    s.discard_input();
    EXPECT_EQ(in->pending(), 0u);
    in->end_input();
    EXPECT_FALSE(s.isok());
}

TEST(Screen, RequestQuitEndsEveryLoop)
{
    // The flag is process-wide and cannot be taken back: try it in a child.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            MemScreen m;
            bool before = m.scr->isok() && !PlScreen::quit_requested();
            PlScreen::request_quit();
            bool after = !m.scr->isok() && PlScreen::quit_requested();
            _exit(before && after ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}
