// Text values: formatting, comparison, trimming, lists and the byte buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "oxdynbuf.h"
#include "oxstring.h"
#include "oxstringlist.h"

using namespace std::string_literals;

struct FormatCase {
    const char *format;
    std::string expect;
};

TEST(OxStringFormat, FieldTable)
{
    const FormatCase cases[] = {
        {"%s", "abc"},
        {"[%5s]", "[  abc]"},
        {"[%-5s]", "[abc  ]"},
        {"[%2s]", "[abc]"},
        {"[%.2s]", "[ab]"},
        {"[%5.2s]", "[   ab]"},
        {"[%-5.2s]", "[ab   ]"},
        {"[%9.9s]", "[      abc]"},
        {"[%.0s]", "[]"},
        {"100%%", "100%"},
        {"%%s", "%s"},
        {"a%", "a%"},
        {"%x!", "%x!"},
        {"%-25s|", "abc                      |"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(OxString(c.format, "abc").str(), c.expect) << c.format;
}

TEST(OxStringFormat, ArgumentsInOrderAndMissingOnesEmpty)
{
    EXPECT_EQ(OxString("%s-%s", "a", "b").str(), "a-b");
    EXPECT_EQ(OxString("%s-%s-%s", "a").str(), "a--");
    EXPECT_EQ(OxString("[%3s]", "x", "y").str(), "[  x]");
    EXPECT_EQ(OxString("[%-4s][%4s]", "x").str(), "[x   ][    ]");
}

TEST(OxStringFormat, IntegersAndOtherStrings)
{
    OxString s("%s/%s/%s/%s", 42, -7, 1234567890123LL, OxString("z"));
    EXPECT_EQ(s.str(), "42/-7/1234567890123/z");
    EXPECT_EQ(OxString(-2147483647 - 1).str(), "-2147483648");
    EXPECT_EQ(OxString(9223372036854775807LL).str(), "9223372036854775807");
    EXPECT_EQ(OxString("FAILED (code %s)", 3).str(), "FAILED (code 3)");
    EXPECT_EQ(OxString("%d items", 5).str(), "5 items");
}

TEST(OxStringFormat, TwentyArguments)
{
    OxString s("%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s%s", 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9,
               0);
    EXPECT_EQ(s.str(), "12345678901234567890");
}

TEST(OxStringFormat, NulBytesPassThrough)
{
    OxString arg(std::string_view("a\0b", 3));
    OxString s("<%s>", arg);
    EXPECT_EQ(s.len(), 5u);
    EXPECT_EQ(s.str(), "<a\0b>"s);
    EXPECT_EQ(OxString("[%4s]", arg).str(), "[ a\0b]"s);
    EXPECT_EQ(OxString("[%.2s]", arg).str(), "[a\0]"s);
}

TEST(OxStringFormat, AppendAndFormatHelper)
{
    OxString s("x");
    s.append(OxString("y")).append("%s=%s", "k", 3);
    EXPECT_EQ(s.str(), "xyk=3");
    OxString args[] = {OxString("a")};
    EXPECT_EQ(OxString::format("%s%%%s", args, 1).str(), "a%");
    EXPECT_EQ(OxString::format("plain %%", nullptr, 0).str(), "plain %");
}

TEST(OxString, ComparisonAndEmptiness)
{
    OxString e, n(static_cast<const char *>(nullptr)), a("abc");
    EXPECT_TRUE(!e);
    EXPECT_TRUE(!n);
    EXPECT_FALSE(!a);
    EXPECT_TRUE(a == "abc");
    EXPECT_TRUE(a != "abd");
    EXPECT_TRUE(a != "ab");
    OxString withnul(std::string_view("abc\0", 4));
    EXPECT_TRUE(withnul != "abc");
    EXPECT_EQ(withnul.len(), 4u);
    EXPECT_EQ(std::strlen(withnul.cstr()), 3u);
}

TEST(OxString, EditIsPrivateCopy)
{
    OxString a("hello");
    OxString b = a;
    b.edit()[0] = 'j';
    EXPECT_EQ(a.str(), "hello");
    EXPECT_EQ(b.str(), "jello");
}

TEST(TrimString, StripsBothEnds)
{
    char a[] = "  \t PASSED \t ";
    EXPECT_STREQ(trim_string(a), "PASSED");
    char b[] = "FAILED\r";
    EXPECT_STREQ(trim_string(b), "FAILED");
    char c[] = "   ";
    EXPECT_STREQ(trim_string(c), "");
    char d[] = "a b";
    EXPECT_STREQ(trim_string(d), "a b");
    char e[] = "";
    EXPECT_STREQ(trim_string(e), "");
}

static std::vector<std::string> pieces(const OxStringList &l)
{
    std::vector<std::string> v;
    for (const auto &s : l)
        v.push_back(s.str());
    return v;
}

TEST(OxStringList, SplitRunsOfSeparatorsGiveNoEmptyPiece)
{
    OxStringList l;
    l.split("@1000 eth0=998  ==eth1 = 1000", " =");
    EXPECT_EQ(pieces(l), (std::vector<std::string>{"@1000", "eth0", "998", "eth1", "1000"}));
    EXPECT_EQ(l.count(), 5u);
    l.split("\r\nline one\r\n\r\nline two\n", "\r\n");
    EXPECT_EQ(l.count(), 7u);
    EXPECT_EQ(l[5].str(), "line one");
    EXPECT_EQ(l[6].str(), "line two");
}

TEST(OxStringList, SplitEdgeCases)
{
    OxStringList l;
    l.split("", " ");
    l.split("   ", " ");
    EXPECT_TRUE(l.empty());
    l.split("abc", "");
    EXPECT_EQ(pieces(l), (std::vector<std::string>{"abc"}));
    l.clear();
    l.split(OxString(std::string_view("a\0b c", 5)), " ");
    ASSERT_EQ(l.count(), 2u);
    EXPECT_EQ(l[0].str(), "a\0b"s);
}

TEST(OxStringList, SplitLimitKeepsRest)
{
    OxStringList l;
    l.split("  a b  c d ", " ", 2);
    EXPECT_EQ(pieces(l), (std::vector<std::string>{"a", "b  c d "}));
}

TEST(OxStringList, PopstrInOrderThenEmpty)
{
    OxStringList l;
    l.split("x y z", " ");
    EXPECT_EQ(l.popstr().str(), "x");
    EXPECT_EQ(l.popstr().str(), "y");
    EXPECT_EQ(l.count(), 1u);
    EXPECT_EQ(l.popstr().str(), "z");
    EXPECT_TRUE(!l.popstr());
    EXPECT_EQ(l.count(), 0u);
}

TEST(OxDynBuf, AppendTakePutback)
{
    OxDynBuf b(4, 16);
    EXPECT_EQ(b.room(), 16u);
    EXPECT_EQ(b.append("abcdef", 6), 6u);
    EXPECT_EQ(std::string(b.take(2), 2), "ab");
    b.putback(1);
    EXPECT_EQ(std::string(b.take(3), 3), "bcd");
    EXPECT_EQ(b.count(), 2u);
    EXPECT_EQ(b.room(), 14u);
    // Capped at maxalloc, and compacted rather than grown past it.
    EXPECT_EQ(b.append("0123456789abcdefXYZ", 19), 14u);
    EXPECT_EQ(b.count(), 16u);
    EXPECT_EQ(std::string(b.take(16), 16), "ef0123456789abcd");
    EXPECT_EQ(b.append("q", 1), 1u);
    EXPECT_EQ(std::string(b.take(1), 1), "q");
    b.clear();
    EXPECT_EQ(b.count(), 0u);
}

TEST(OxDynBuf, WorkedOffFromFrontNeverFillsUp)
{
    OxDynBuf b(8, 64);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(b.append("0123456789", 10), 10u);
        ASSERT_EQ(std::string(b.take(10), 10), "0123456789");
    }
    EXPECT_EQ(b.room(), 64u);
}
