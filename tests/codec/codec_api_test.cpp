// The public codec functions of <mytarvo/codec.hpp>.
#include <gtest/gtest.h>

#include <mytarvo/codec.hpp>

#include <array>
#include <string>
#include <vector>

namespace {

const std::vector<std::uint8_t> kAbababab = {0x51, 0x5a, 0x08, 0x00, 0x00, 0x00, 0xc0, 0xcd, 0xc7,
                                             0xcd, 0x4c, 0x6c, 0xd8, 0x20, 0x00, 0x00, 0x00, 0x04};

static_assert(noexcept(mytarvo::decode_block({}, {})));
static_assert(noexcept(mytarvo::block_unpacked_size({})));

TEST(CodecApi, DecodesIntoASpan) {
  std::vector<std::uint8_t> out(mytarvo::block_unpacked_size(kAbababab));
  ASSERT_EQ(out.size(), 8u);
  EXPECT_EQ(mytarvo::decode_block(kAbababab, out), 8u);
  EXPECT_EQ(std::string(out.begin(), out.end()), "abababab");
}

TEST(CodecApi, EmptyOrShortSpansGiveZero) {
  std::array<std::uint8_t, 8> out{};
  EXPECT_EQ(mytarvo::decode_block({}, out), 0u);
  EXPECT_EQ(mytarvo::decode_block(kAbababab, {}), 0u);
  EXPECT_EQ(mytarvo::decode_block(std::span(kAbababab).first(17), out), 0u);
  EXPECT_EQ(mytarvo::decode_block(kAbababab, std::span(out).first(7)), 0u);
  EXPECT_EQ(mytarvo::block_unpacked_size({}), 0u);
  EXPECT_EQ(mytarvo::block_unpacked_size(std::span(kAbababab).first(5)), 0u);
  EXPECT_EQ(mytarvo::block_unpacked_size(std::span(kAbababab).first(6)), 8u);
}

}  // namespace
