// The packed block format: block checksum, length bonus, gamma numbers, and the bit writer
// and reader, checked against fixed vectors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/packed_block.hpp"

namespace mytarvo::codec {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The 18-byte block that packs "abababab".
const Bytes kAbababab = {0x51, 0x5a, 0x08, 0x00, 0x00, 0x00, 0xc0, 0xcd, 0xc7,
                         0xcd, 0x4c, 0x6c, 0xd8, 0x20, 0x00, 0x00, 0x00, 0x04};

// ---- Block checksum ----

struct ChecksumCase {
  Bytes data;
  std::uint32_t checksum;
};

// Test names show the case, not the struct's bytes (padding included).
void PrintTo(const ChecksumCase& c, std::ostream* os) { *os << c.data.size() << " bytes, checksum " << c.checksum; }

class BlockChecksum : public ::testing::TestWithParam<ChecksumCase> {};

TEST_P(BlockChecksum, MatchesVector) {
  const auto& c = GetParam();
  EXPECT_EQ(block_checksum(c.data.data(), c.data.size()), c.checksum);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, BlockChecksum,
    ::testing::Values(ChecksumCase{{'a', 'b', 'c', 'd'}, 0xACA5A6A2u},
                      ChecksumCase{{'a', 'b', 'c', 'd', 'e', 'f'}, 0xDFC1C3C2u},  // overlapping last word
                      ChecksumCase{{0, 0, 0, 0}, 1u},                             // all-zero data is verified
                      ChecksumCase{{0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFFu},
                      ChecksumCase{{'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b'}, 0xCDC7CDC0u},
                      ChecksumCase{{}, 0u}, ChecksumCase{{0x61}, 0u}, ChecksumCase{{0x61, 0x62}, 0u},
                      ChecksumCase{{0xFF, 0xFF, 0xFF}, 0u}));

TEST(BlockChecksum, ReadsNoByteBeyondTheData) {
  // Five bytes: the word at 0 and the word ending at the last byte (offset 1); the byte
  // after the data must not count.
  Bytes data = {1, 2, 3, 4, 5, 0xEE};
  const std::uint32_t a = block_checksum(data.data(), 5);
  data[5] = 0x11;
  EXPECT_EQ(block_checksum(data.data(), 5), a);
  // Same as folding words 04030201 and 05040302 by hand.
  std::uint32_t sum = 0;
  for (std::uint32_t w : {0x04030201u, 0x05040302u}) {
    sum += w;
    sum ^= ((w << 1) | (w >> 31)) + 1u;
  }
  EXPECT_EQ(a, sum);
}

TEST(BlockChecksum, ResumesFromAnyWordBoundary) {
  // Resumed from the checksum of a whole-word prefix, for every size with and without a
  // last overlapping word: the same as in one pass.
  Bytes data(70);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 37 + 11);
  for (std::size_t size = 4; size <= data.size(); ++size) {
    const std::uint32_t whole = block_checksum(data.data(), size);
    for (std::size_t from = 0; from + 4 <= size; from += 4) {
      const std::uint32_t prefix = from == 0 ? 0 : block_checksum(data.data(), from);
      EXPECT_EQ(block_checksum_from(data.data(), size, prefix, from), whole) << size << " from " << from;
    }
  }
}

// ---- Length bonus ----

TEST(LengthBonus, BandsAndTheirBoundaries) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {
      {1, 4},     {127, 4},     {128, 0},     {638, 0},    {639, 1},         {14334, 1},
      {14335, 2}, {65535, 2},   {65536, 3},   {0x7FFFFFFF, 3}, {0xFFFFFFFF, 3}, {0, 4}};
  for (const auto& [distance, bonus] : cases) EXPECT_EQ(length_bonus(distance), bonus) << distance;
}

// ---- Gamma numbers ----

// Reads `count` bits one at a time as a string of '0' and '1'.
std::string read_bits(const Bytes& block, std::size_t count) {
  BitReader reader(block.data(), block.size(), kHeaderSize);
  std::string bits;
  for (std::size_t i = 0; i < count; ++i) bits += static_cast<char>('0' + reader.bit());
  EXPECT_FALSE(reader.failed());
  return bits;
}

TEST(Gamma, WriterFollowsTheCodeTable) {
  const std::pair<std::uint32_t, const char*> table[] = {{2, "00"},   {3, "10"},   {4, "0100"},   {5, "0110"},
                                                         {6, "1100"}, {7, "1110"}, {8, "010100"}, {9, "010110"}};
  for (const auto& [value, code] : table) {
    Bytes block(kHeaderSize + 4);
    BitWriter writer(block.data(), block.size(), kHeaderSize);
    writer.put_gamma(value);
    writer.finish();
    EXPECT_EQ(read_bits(block, std::string(code).size()), code) << value;
    EXPECT_EQ(gamma_bits(value), std::string(code).size()) << value;
  }
}

TEST(Gamma, RoundTripsAcrossWordBoundaries) {
  const std::uint32_t values[] = {2, 3, 4, 255, 256, 65535, 65536, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFFFu};
  Bytes block(kHeaderSize + 4 * 64);
  BitWriter writer(block.data(), block.size(), kHeaderSize);
  for (std::uint32_t v : values) {
    writer.put(1, 1);  // a one-bit offset so that codes straddle words
    writer.put_gamma(v);
  }
  writer.finish();
  ASSERT_FALSE(writer.overflowed());
  BitReader reader(block.data(), writer.bytes_stored(), kHeaderSize);
  for (std::uint32_t v : values) {
    EXPECT_EQ(reader.bit(), 1u);
    EXPECT_EQ(reader.gamma(), v);
  }
  EXPECT_FALSE(reader.failed());
  EXPECT_EQ(gamma_bits(0xFFFFFFFFu), 62u);
}

// ---- Bit writer ----

TEST(BitWriter, ReproducesTheAbabababBlock) {
  Bytes block(64);
  BitWriter writer(block.data(), block.size(), kHeaderSize);
  writer.put(0b001, 3);         // literal-width change: prefix 0 0 1
  writer.put(0, 4);             //   code 0
  writer.put(0, 1);             //   0: width change
  writer.put(1, 1);             //   w = 1: width 8, base 0
  writer.put(1, 1);             // literal
  writer.put(0x61, 8);          //   'a'
  writer.put(1, 1);             // literal
  writer.put(0x62, 8);          //   'b'
  writer.put(0b01, 2);          // long match
  writer.put_gamma(3);          //   g = 3
  writer.put(2, 8);             //   low = 2 (index bits 8): distance 2
  writer.put_gamma(2);          //   L = 2, bonus 4: 6 bytes
  writer.put(0b000, 3);         // end marker
  writer.put(0, 7);             //   distance 0
  writer.put(0, 2);             //   n = 0
  writer.finish();              // 11 zero bits complete the second word
  ASSERT_FALSE(writer.overflowed());
  ASSERT_EQ(writer.bytes_stored(), 18u);
  store_header(block.data(), 8, block_checksum(reinterpret_cast<const std::uint8_t*>("abababab"), 8));
  block.resize(writer.bytes_stored());
  EXPECT_EQ(block, kAbababab);
}

TEST(BitWriter, EndingOnAWordBoundaryAddsNoWord) {
  Bytes block(kHeaderSize + 12);
  BitWriter writer(block.data(), block.size(), kHeaderSize);
  writer.finish();  // nothing written yet: nothing to complete
  EXPECT_EQ(writer.bytes_stored(), kHeaderSize);
  writer.put(0xDEADBEEF, 32);  // a whole word at once
  writer.put(0x5, 3);
  writer.put(0x1FFFFFFF, 29);  // completes the second word exactly
  writer.finish();
  EXPECT_EQ(writer.bytes_stored(), kHeaderSize + 8);
  EXPECT_EQ(load_le32(block.data() + kHeaderSize), 0xDEADBEEFu);
  EXPECT_EQ(load_le32(block.data() + kHeaderSize + 4), 0xBFFFFFFFu);
}

TEST(BitWriter, MasksValuesToTheirCount) {
  Bytes block(kHeaderSize + 4);
  BitWriter writer(block.data(), block.size(), kHeaderSize);
  writer.put(0xFFFFFFF0u, 4);  // only the low 4 bits (0) count
  writer.put(0xFFFFFFFFu, 28);
  EXPECT_EQ(load_le32(block.data() + kHeaderSize), 0x0FFFFFFFu);
}

TEST(BitWriter, StopsAtItsCapacity) {
  Bytes block(kHeaderSize + 6, 0xAA);  // room for one word only
  BitWriter writer(block.data(), block.size(), kHeaderSize);
  writer.put(0x12345678, 32);
  EXPECT_FALSE(writer.overflowed());
  writer.put(1, 1);
  writer.finish();
  EXPECT_TRUE(writer.overflowed());
  EXPECT_EQ(writer.bytes_stored(), kHeaderSize + 4);
  EXPECT_EQ(block[kHeaderSize + 4], 0xAA);
  EXPECT_EQ(block[kHeaderSize + 5], 0xAA);
}

// ---- Bit reader ----

TEST(BitReader, ReadsTheAbabababTokens) {
  BitReader reader(kAbababab.data(), kAbababab.size(), kHeaderSize);
  EXPECT_EQ(reader.field(3), 0b001u);
  EXPECT_EQ(reader.field(4), 0u);
  EXPECT_EQ(reader.field(2), 0b01u);
  EXPECT_EQ(reader.field(9), 0x161u);
  EXPECT_EQ(reader.field(9), 0x162u);
  EXPECT_EQ(reader.field(2), 0b01u);
  EXPECT_EQ(reader.gamma(), 3u);
  EXPECT_EQ(reader.field(8), 2u);
  EXPECT_EQ(reader.gamma(), 2u);
  EXPECT_EQ(reader.field(12), 0u);
  EXPECT_EQ(reader.position(), 18u);  // the second word was loaded when its first bit was needed
  EXPECT_FALSE(reader.failed());
}

TEST(BitReader, LoadsAWordOnlyWhenItsFirstBitIsNeeded) {
  BitReader reader(kAbababab.data(), kAbababab.size(), kHeaderSize);
  EXPECT_EQ(reader.position(), kHeaderSize);
  reader.field(32);
  EXPECT_EQ(reader.position(), kHeaderSize + 4);
  reader.bit();
  EXPECT_EQ(reader.position(), kHeaderSize + 8);
}

TEST(BitReader, FailsPastTheEndAndStaysFailed) {
  BitReader reader(kAbababab.data(), kAbababab.size() - 1, kHeaderSize);  // the second word is cut
  EXPECT_EQ(reader.field(32), 0x20D86C4Cu);
  EXPECT_FALSE(reader.failed());
  EXPECT_EQ(reader.bit(), 0u);
  EXPECT_TRUE(reader.failed());
  EXPECT_EQ(reader.field(32), 0u);
  EXPECT_EQ(reader.gamma(), 2u);  // terminates: zero bits end the number
  EXPECT_TRUE(reader.failed());
}

}  // namespace
}  // namespace mytarvo::codec
