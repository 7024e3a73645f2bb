// The decoder on its own: bytes in, key codes out.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "conio.h"
#include "keydecoder.h"

namespace {

struct Row {
    const char *name;
    std::string bytes;
    std::vector<int> keys;     // what next() gives until the buffer is empty or incomplete
    bool incomplete;           // the bytes end inside a sequence
};

std::string esc(const std::string &s) { return "\x1b" + s; }

std::vector<Row> table()
{
    const std::string d29(29, '1'), d30(30, '1'), d40(40, '1');
    return {
        {"nothing", "", {}, false},
        {"plain byte", "a", {'a'}, false},
        {"nul byte", std::string(1, '\0'), {0}, false},
        {"lone esc", esc(""), {KEY_ESC}, false},
        {"up", esc("[A"), {KEY_UP}, false},
        {"down", esc("[B"), {KEY_DOWN}, false},
        {"right", esc("[C"), {KEY_RIGHT}, false},
        {"left", esc("[D"), {KEY_LEFT}, false},
        {"up ss3", esc("OA"), {KEY_UP}, false},
        {"down ss3", esc("OB"), {KEY_DOWN}, false},
        {"right ss3", esc("OC"), {KEY_RIGHT}, false},
        {"left ss3", esc("OD"), {KEY_LEFT}, false},
        {"arrow ignores digits", esc("[12A"), {KEY_UP}, false},
        {"home 1", esc("[1~"), {KEY_HOME}, false},
        {"home 7", esc("[7~"), {KEY_HOME}, false},
        {"insert", esc("[2~"), {KEY_INSERT}, false},
        {"delete", esc("[3~"), {KEY_DELETE}, false},
        {"end 4", esc("[4~"), {KEY_END}, false},
        {"end 8", esc("[8~"), {KEY_END}, false},
        {"pgup", esc("[5~"), {KEY_PGUP}, false},
        {"pgdn", esc("[6~"), {KEY_PGDN}, false},
        {"ctrl pgup", esc("[5^"), {KEY_CTRL_PGUP}, false},
        {"ctrl pgdn", esc("[6^"), {KEY_CTRL_PGDN}, false},
        {"home caret", esc("[1^"), {KEY_HOME}, false},
        {"home 7 caret", esc("[7^"), {KEY_HOME}, false},
        {"insert caret", esc("[2^"), {KEY_INSERT}, false},
        {"delete caret", esc("[3^"), {KEY_DELETE}, false},
        {"end caret", esc("[4^"), {KEY_END}, false},
        {"end 8 caret", esc("[8^"), {KEY_END}, false},
        {"leading zero", esc("[05~"), {KEY_PGUP}, false},
        {"unknown number", esc("[9~"), {KEY_NONE}, false},
        {"zero", esc("[0~"), {KEY_NONE}, false},
        {"no number", esc("[~"), {KEY_NONE}, false},
        {"big number", esc("[15~"), {KEY_NONE}, false},
        {"ss3 function key", esc("OP"), {KEY_NONE}, false},
        {"ss3 with number", esc("O5~"), {KEY_PGUP}, false},
        {"modifier sequence", esc("[1;5A"), {KEY_NONE, '5', 'A'}, false},
        {"esc then letter", esc("x"), {KEY_ESC, 'x'}, false},
        {"esc esc arrow", esc(esc("[A")), {KEY_ESC, KEY_UP}, false},
        {"arrow then typed ahead", esc("[Ax"), {KEY_UP, 'x'}, false},
        {"high byte", "\xe9" "a", {233, 'a'}, false},
        {"ff byte", "\xff", {255}, false},
        {"line feed is raw here", "\n", {10}, false},
        {"del is raw here", "\x7f", {127}, false},
        {"ctrl-h", "\x08", {8}, false},
        {"typed ahead", "abc", {'a', 'b', 'c'}, false},
        {"unfinished csi", esc("["), {KEY_NONE}, true},
        {"unfinished ss3", esc("O"), {KEY_NONE}, true},
        {"unfinished number", esc("[5"), {KEY_NONE}, true},
        {"long number saturates", esc("[99999999999999999999~"), {KEY_NONE}, false},
        {"just under the cap", esc("[" + d29), {KEY_NONE}, true},
        {"just under the cap, finished", esc("[" + d29 + "~"), {KEY_NONE}, false},
        {"at the cap", esc("[" + d30), {KEY_NONE}, false},
        {"past the cap", esc("[" + d40), {KEY_NONE, '1', '1', '1', '1', '1', '1', '1', '1', '1', '1'}, false},
    };
}

class DecoderTable : public ::testing::TestWithParam<Row> {};

TEST_P(DecoderTable, DecodesByteExact)
{
    const Row &row = GetParam();
    KeyDecoder dec;
    ASSERT_EQ(dec.feed(row.bytes.data(), row.bytes.size()), row.bytes.size());
    std::vector<int> got;
    while (dec.pending() > 0) {
        got.push_back(dec.next());
        if (dec.incomplete())
            break;
    }
    EXPECT_EQ(got, row.keys);
    EXPECT_EQ(dec.incomplete(), row.incomplete);
    if (row.incomplete) {
        // Nothing of an unfinished sequence is consumed.
        EXPECT_EQ(dec.pending(), row.bytes.size());
    } else {
        EXPECT_EQ(dec.pending(), 0u);
    }
    EXPECT_EQ(dec.next(), KEY_NONE);
}

INSTANTIATE_TEST_SUITE_P(Keys, DecoderTable, ::testing::ValuesIn(table()),
                         [](const ::testing::TestParamInfo<Row> &row) {
                             std::string n = row.param.name;
                             for (char &c : n)
                                 if (!isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return n;
                         });

TEST(KeyDecoder, SequenceSplitAcrossFeedsIsDecodedWhole)
{
    KeyDecoder dec;
    dec.feed("\x1b[", 2);
    EXPECT_EQ(dec.next(), KEY_NONE);
    EXPECT_TRUE(dec.incomplete());
    EXPECT_TRUE(dec.needs_input());
    dec.feed("6", 1);
    EXPECT_EQ(dec.next(), KEY_NONE);
    EXPECT_TRUE(dec.incomplete());
    dec.feed("~q", 2);
    EXPECT_EQ(dec.next(), KEY_PGDN);
    EXPECT_FALSE(dec.incomplete());
    EXPECT_TRUE(dec.key_ready());
    EXPECT_EQ(dec.next(), 'q');
    EXPECT_TRUE(dec.needs_input());
}

TEST(KeyDecoder, LoneEscIsOnlyASingleBufferedEsc)
{
    KeyDecoder dec;
    EXPECT_FALSE(dec.lone_esc());
    dec.feed("\x1b", 1);
    EXPECT_TRUE(dec.lone_esc());
    EXPECT_EQ(dec.pending(), 1u);   // looking consumes nothing
    dec.feed("[", 1);
    EXPECT_FALSE(dec.lone_esc());
    dec.clear();
    dec.feed("x\x1b", 2);
    EXPECT_FALSE(dec.lone_esc());
    EXPECT_EQ(dec.next(), 'x');
    EXPECT_TRUE(dec.lone_esc());
}

TEST(KeyDecoder, DropIncompleteForgetsOnlyAnUnfinishedSequence)
{
    KeyDecoder dec;
    dec.feed("ab", 2);
    dec.drop_incomplete();
    EXPECT_EQ(dec.pending(), 2u);
    dec.clear();
    dec.feed("\x1b[5", 3);
    EXPECT_EQ(dec.next(), KEY_NONE);
    dec.drop_incomplete();
    EXPECT_EQ(dec.pending(), 0u);
    EXPECT_FALSE(dec.incomplete());
}

// Line noise in any amount and any chunking: the buffer stays bounded by
// what one read adds plus one capped sequence, and every byte is consumed.
TEST(KeyDecoder, NoiseNeverGrowsTheBufferOrStalls)
{
    std::mt19937 rng(12345);
    const char alphabet[] = "\x1b[O0123456789~^;ABCDx";
    KeyDecoder dec;
    size_t maxpending = 0;
    for (int round = 0; round < 2000; round++) {
        std::string chunk(rng() % 64, '\0');
        for (char &c : chunk)
            c = (rng() % 4 == 0) ? char(rng() % 256) : alphabet[rng() % (sizeof alphabet - 1)];
        ASSERT_EQ(dec.feed(chunk.data(), chunk.size()), chunk.size());
        while (!dec.needs_input()) {
            const int k = dec.next();
            ASSERT_TRUE(k >= -132 && k <= 255) << k;
        }
        ASSERT_FALSE(dec.key_ready());
        maxpending = std::max(maxpending, dec.pending());
    }
    EXPECT_LT(maxpending, KeyDecoder::max_sequence);
}

} // namespace
