// A frame's body is checked byte for byte: any one byte changed, or a body
// that belongs to another frame, is caught.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "body.h"

namespace netburn {
namespace {

TEST(NetburnBody, EveryByteCounts) {
  for (size_t bytes : {size_t{60}, size_t{1000}, size_t{1514}}) {
    const Body body(0x1234567890abcdefull, bytes);
    const Payload pl{kMagic, 0x1234567890abcdefull, 1, 0, 77, 9, 2};
    std::vector<unsigned char> frame(bytes, 0);
    std::memcpy(&frame[kEthHeader], &pl, sizeof pl);
    body.fill(frame.data(), pl);
    ASSERT_TRUE(body.intact(frame.data(), pl)) << bytes;
    for (size_t k = Body::kStart; k < bytes; ++k) {
      frame[k] ^= 0x01;
      EXPECT_FALSE(body.intact(frame.data(), pl)) << bytes << "-byte frame, byte " << k;
      frame[k] ^= 0x01;
    }
    for (auto other : {Payload{pl.magic, pl.run, 1, 0, 78, 9, 2}, Payload{pl.magic, pl.run, 1, 0, 77, 10, 2},
                       Payload{pl.magic, pl.run, 0, 0, 77, 9, 2}, Payload{pl.magic, pl.run, 1, 0, 77, 9, 3}})
      EXPECT_FALSE(body.intact(frame.data(), other)) << bytes;
    EXPECT_FALSE(Body(pl.run + 1, bytes).intact(frame.data(), pl)) << bytes;
  }
}

}  // namespace
}  // namespace netburn
