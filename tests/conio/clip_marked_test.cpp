// Marked-up text cut to what one row can show prints exactly as the whole.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "conhelpers.h"
#include "marked.h"

namespace {

const PlMarkColors colours{PlAttr(0x1e), PlAttr(0x1f), PlAttr(0x3e)};

struct Printed {
    std::vector<uint8_t> cells;    // characters and attributes of the window's row
    int attr, curx;
};

// Prints text at column `col` of a one-row window `width` wide, then one more
// character after it, so that the colour state the text leaves shows too.
Printed print(const OxString &text, int width, int col)
{
    reset_console();
    window(5, 3, 5 + width - 1, 3);
    gotoxy(col, 1);
    cputs_marked(colours, text);
    const int attr = ti.attribute.get(), curx = ti.curx;
    putch('+');
    Printed p{{}, attr, curx};
    for (int x = 4; x < 5 + width; x++) {
        p.cells.push_back(cellat(x, 2).ch);
        p.cells.push_back(cellat(x, 2).attr);
    }
    return p;
}

std::string random_text(std::mt19937 &rng, size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; i++) {
        const unsigned r = rng() % 16;
        s += r == 0 ? MARK_LABEL : r == 1 ? MARK_ALERT : char('a' + rng() % 26);
    }
    return s;
}

TEST(ClipMarked, PrintsAsTheWholeFromAnyColumn)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 300; round++) {
        const int width = 1 + int(rng() % 40);
        const int col = 1 + int(rng() % width);
        OxString text(random_text(rng, rng() % 3 ? rng() % 200 : rng() % 5000));
        if (rng() % 4 == 0)
            text.append(std::string(rng() % 3 + 1, rng() % 2 ? MARK_LABEL : MARK_ALERT));
        const OxString clipped = clip_marked(text, size_t(width));
        SCOPED_TRACE("width " + std::to_string(width) + " col " + std::to_string(col) + " length " +
                     std::to_string(text.len()));
        const Printed whole = print(text, width, col), cut = print(clipped, width, col);
        EXPECT_EQ(cut.cells, whole.cells);
        EXPECT_EQ(cut.attr, whole.attr);
        EXPECT_EQ(cut.curx, whole.curx);
    }
}

// Text with its markers in pairs: the ends tell what the middle leaves.
TEST(ClipMarked, PairedTextNeedsNoMiddle)
{
    std::mt19937 rng(11);
    for (int round = 0; round < 2000; round++) {
        std::string s = random_text(rng, rng() % 400);
        for (char m : {MARK_LABEL, MARK_ALERT})
            if (std::count(s.begin(), s.end(), m) % 2)
                s.insert(rng() % (s.size() + 1), 1, m);
        const OxString text(s);
        const size_t width = 1 + rng() % 40;
        EXPECT_EQ(clip_marked(text, width, true).str(), clip_marked(text, width).str()) << width;
    }
}

TEST(ClipMarked, KeepsTheHeadAndTheLastCharacterOnly)
{
    const OxString text(std::string(100000, 'x') + "Z");
    EXPECT_EQ(clip_marked(text, 30).str(), std::string(30, 'x') + "Z");
    // The dropped part's markers leave their colour state behind.
    const OxString marked(std::string(40, 'x') + MARK_ALERT + "yy" + MARK_LABEL + "y" + "Z" + MARK_LABEL);
    EXPECT_EQ(clip_marked(marked, 40).str(), std::string(40, 'x') + MARK_LABEL + MARK_ALERT + "Z" + MARK_LABEL);
    // Text that fits comes back as it is.
    EXPECT_EQ(clip_marked(OxString("ab\x08" "c\x08"), 3).str(), "ab\x08" "c\x08");
    EXPECT_EQ(clip_marked(OxString("abcd"), 3).str(), "abcd");
}

} // namespace
