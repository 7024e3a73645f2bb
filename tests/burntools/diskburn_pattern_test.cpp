// diskburn's pattern: every target stamps its sectors with its own
// identity, so data that lands on the wrong disk, at the wrong place, or
// not at all is caught and told apart.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "stamp.h"

namespace {

using namespace diskburn;

constexpr size_t kBlock = 8 * kSector;

struct Pattern : ::testing::Test {
  Pattern() {
    cfg.seed = 0x1234567890abcdefull;
    cfg.owners = {{target_ident(0), "sdb"}, {target_ident(1), "sdc"}};
    tmpl = make_template(kTemplate, cfg.seed);
  }
  std::vector<unsigned char> block(uint64_t off, uint64_t ident, uint64_t seed = 0) {
    std::vector<unsigned char> b(kBlock);
    fill_block(b.data(), tmpl.data(), off, kBlock, seed ? seed : cfg.seed, ident, false);
    return b;
  }
  Mismatch on_sdc(const std::vector<unsigned char>& got, uint64_t off) {
    EXPECT_FALSE(block_ok(got.data(), tmpl.data(), off, kBlock, cfg.seed, target_ident(1)));
    return describe_mismatch(got.data(), tmpl.data(), off, kBlock, cfg, "sdc", target_ident(1));
  }
  Settings cfg;
  std::vector<unsigned char> tmpl;
};

TEST_F(Pattern, EachTargetWritesItsOwnBytes) {
  for (size_t i = 0; i < 64; ++i)
    for (size_t j = i + 1; j < 64; ++j) ASSERT_NE(target_ident(i), target_ident(j));
  auto mine = block(1 << 20, target_ident(1));
  EXPECT_TRUE(block_ok(mine.data(), tmpl.data(), 1 << 20, kBlock, cfg.seed, target_ident(1)));
  EXPECT_NE(block(1 << 20, target_ident(0)), mine);
  uint64_t off;
  std::memcpy(&off, mine.data() + 3 * kSector, sizeof off);
  EXPECT_EQ(off, (1u << 20) + 3 * kSector) << "each sector still begins with its own offset";
}

TEST_F(Pattern, AnotherTargetsBlockIsAMisdirectedWrite) {
  Mismatch m = on_sdc(block(4096, target_ident(0)), 4096);
  EXPECT_EQ(m.what, "holds the data written for sdb at byte 4096 (misdirected write)");
  EXPECT_EQ(m.first_bad, 4096u);
  EXPECT_EQ(m.bad_sectors, 8u);
}

TEST_F(Pattern, OwnBlockFromElsewhereAndAnEarlierPassAreToldApart) {
  EXPECT_EQ(on_sdc(block(8192, target_ident(1)), 4096).what,
            "holds the data written for byte 8192 (misdirected write)");
  EXPECT_EQ(on_sdc(block(4096, target_ident(1), 77), 4096).what,
            "holds data from an earlier pass (write lost)");
}

TEST_F(Pattern, AFlippedByteIsNamedExactly) {
  auto b = block(65536, target_ident(1));
  b[2 * kSector + 100] ^= 0x5a;
  unsigned char was = b[2 * kSector + 100] ^ 0x5a;
  Mismatch m = on_sdc(b, 65536);
  EXPECT_EQ(m.first_bad, 65536u + 2 * kSector + 100);
  EXPECT_EQ(m.bad_sectors, 1u);
  char want[64];
  std::snprintf(want, sizeof want, "reads 0x%02x instead of 0x%02x", b[2 * kSector + 100], was);
  EXPECT_EQ(m.what, want);
}

}  // namespace
