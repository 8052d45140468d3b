// The public packing functions of <mytarvo/codec.hpp>.
#include <gtest/gtest.h>

#include <mytarvo/codec.hpp>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

static_assert(noexcept(mytarvo::pack_block({}, {}, 9)));
static_assert(noexcept(mytarvo::encode_block({}, {}, 0, nullptr, nullptr, nullptr, 0)));

Bytes text(std::size_t size) {
  const std::string line = "packing through the public header, line after line; ";
  Bytes out;
  while (out.size() < size) out.insert(out.end(), line.begin(), line.end());
  out.resize(size);
  return out;
}

TEST(CodecPackApi, PacksAndDecodesBack) {
  const Bytes input = text(5000);
  Bytes packed(input.size());
  const std::uint32_t size = mytarvo::pack_block(input, packed, 9);
  ASSERT_GT(size, 0u);
  ASSERT_LT(size, input.size());
  packed.resize(size);
  Bytes out(mytarvo::block_unpacked_size(packed));
  EXPECT_EQ(mytarvo::decode_block(packed, out), input.size());
  EXPECT_EQ(out, input);
}

TEST(CodecPackApi, SixtyFourEqualBytes) {
  const Bytes input(64, 0x41);
  Bytes packed(64);
  ASSERT_EQ(mytarvo::pack_block(input, packed, 9), 18u);
  EXPECT_EQ(Bytes(packed.begin(), packed.begin() + 18),
            (Bytes{0x51, 0x5a, 0x40, 0x00, 0x00, 0x00, 0x00, 0x14, 0x14, 0x14, 0xfc, 0x53, 0xd0, 0x20, 0x00, 0x00,
                   0x00, 0x24}));
}

TEST(CodecPackApi, RefusesWhatItCannotPack) {
  const Bytes input = text(5000);
  Bytes dest(input.size() - 1);
  EXPECT_EQ(mytarvo::pack_block(input, dest, 9), 0u);  // destination shorter than the input
  EXPECT_EQ(mytarvo::pack_block({}, dest, 9), 0u);
  Bytes small(13, 0x41);
  Bytes small_dest(13);
  EXPECT_EQ(mytarvo::pack_block(small, small_dest, 9), 0u);
}

struct Counts {
  int allocations = 0;
  int releases = 0;
  int reports = 0;
};

void* count_allocate(std::uint32_t size, void* user) {
  ++static_cast<Counts*>(user)->allocations;
  return std::calloc(1, size);
}
int count_release(void* block, void* user) {
  ++static_cast<Counts*>(user)->releases;
  std::free(block);
  return 1;
}
int count_report(std::uint32_t, std::uint32_t, void* user) {
  ++static_cast<Counts*>(user)->reports;
  return 1;
}

TEST(CodecPackApi, EncodeWithCallbacks) {
  const Bytes input = text(5000);
  Bytes packed(input.size());
  Counts counts;
  const std::uint32_t size =
      mytarvo::encode_block(input, packed, 65536, &count_allocate, &count_release, &count_report, 1, &counts);
  ASSERT_GT(size, 0u);
  EXPECT_EQ(counts.allocations, 4);  // the three working blocks and the fast search's
  EXPECT_EQ(counts.releases, 4);
  EXPECT_GE(counts.reports, 1);
  EXPECT_EQ(packed[6] | packed[7] | packed[8] | packed[9], 0);  // no checksum recorded
  Bytes with_pack(input.size());
  ASSERT_EQ(mytarvo::pack_block(input, with_pack, 9), size);
  // Same stream; only the checksum differs.
  EXPECT_TRUE(std::equal(packed.begin() + 10, packed.begin() + size, with_pack.begin() + 10));

  EXPECT_EQ(mytarvo::encode_block(input, packed, 65536, nullptr, &count_release, nullptr, 0, &counts), 0u);
  EXPECT_EQ(mytarvo::encode_block(input, packed, 65536, &count_allocate, nullptr, nullptr, 0, &counts), 0u);
  EXPECT_EQ(counts.allocations, 4);
}

}  // namespace
