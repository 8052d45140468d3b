// The block decoder on damaged blocks: every rule of a well-formed stream broken on
// purpose, truncations, and random and bit-flipped blocks decoded into heap buffers of
// exact size, so that the address sanitizer sees any read or write out of bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <ostream>
#include <random>
#include <vector>

#include "codec/block_decoder.hpp"
#include "codec/packed_block.hpp"
#include "reference_decoder.hpp"
#include "token_writer.hpp"

namespace mytarvo::codec {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TokenWriter;

// A heap copy holding exactly the given bytes: one byte further is outside the allocation.
class ExactBuffer {
 public:
  explicit ExactBuffer(std::size_t size, std::uint8_t fill = 0) : data_(new std::uint8_t[size]), size_(size) {
    std::fill_n(data_.get(), size, fill);
  }
  ExactBuffer(const Bytes& bytes, std::size_t size) : ExactBuffer(size) {
    std::copy_n(bytes.begin(), size, data_.get());
  }
  [[nodiscard]] std::uint8_t* data() { return data_.get(); }
  [[nodiscard]] std::size_t size() const { return size_; }
  [[nodiscard]] Bytes bytes() const { return {data_.get(), data_.get() + size_}; }

 private:
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t size_;
};

// Decodes `block` (its first `block_size` bytes) into a buffer of `capacity` bytes with both
// the decoder and the reference; they must agree on the result and on every output byte.
std::uint32_t decode_checked(const Bytes& block, std::size_t block_size, std::size_t capacity) {
  ExactBuffer in(block, block_size);
  ExactBuffer out(capacity);
  ExactBuffer ref_out(capacity);
  const std::uint32_t result = decode(in.data(), in.size(), out.data(), out.size());
  const std::uint32_t expected = test::reference_decode(in.data(), in.size(), ref_out.data(), ref_out.size());
  EXPECT_EQ(result, expected);
  EXPECT_EQ(out.bytes(), ref_out.bytes());
  return result;
}
std::uint32_t decode_checked(const Bytes& block, std::size_t capacity) {
  return decode_checked(block, block.size(), capacity);
}

// ---- Each broken rule ----

struct BrokenCase {
  const char* name;
  std::function<void(TokenWriter&)> build;
  std::size_t capacity;
};
// Names the case in test output.
void PrintTo(const BrokenCase& c, std::ostream* os) { *os << c.name; }


const BrokenCase kBroken[] = {
    {"LongMatchDistanceZero", [](TokenWriter& w) { w.width8().literal(1).literal(2).long_coded(3, 0, 2); }, 64},
    {"LongMatchBeyondOutput", [](TokenWriter& w) { w.width8().literal(1).literal(2).long_coded(3, 3, 2); }, 64},
    {"LongMatchFarBeyondOutput", [](TokenWriter& w) { w.width8().literal(1).long_coded(0x40000, 0, 2); }, 64},
    {"ShortMatchBeyondOutput", [](TokenWriter& w) { w.width8().literal(1).literal(2).short_raw(3, 0); }, 64},
    {"NearByteBeyondOutput", [](TokenWriter& w) { w.width8().literal(1).literal(2).put(0b001, 3).put(4, 4); }, 64},
    {"NearByteOnEmptyOutput", [](TokenWriter& w) { w.put(0b001, 3).put(2, 4); }, 64},
    {"RepeatOnEmptyOutput", [](TokenWriter& w) { w.width8().put(0b01, 2).gamma(2).gamma(2); }, 64},
    {"LiteralBeforeWidthChange", [](TokenWriter& w) { w.literal_code(0x41, 8); }, 64},
    {"LiteralAfterZeroByteBeforeWidthChange", [](TokenWriter& w) { w.zero_byte().literal_code(0, 7); }, 64},
    {"IndexBitsZero", [](TokenWriter& w) { w.width8().literal(1).index_bits_raw(1, 0); }, 64},
    {"IndexBits32", [](TokenWriter& w) { w.width8().literal(1).index_bits_raw(3, 32); }, 64},
    {"IndexBits63", [](TokenWriter& w) { w.width8().literal(1).index_bits_raw(3, 63); }, 64},
    {"LiteralOverflow", [](TokenWriter& w) { w.width8().literal(1).literal(2).literal(3); }, 2},
    {"ZeroByteOverflow", [](TokenWriter& w) { w.zero_byte().zero_byte(); }, 1},
    {"NearByteOverflow", [](TokenWriter& w) { w.width8().literal(1).near(1); }, 1},
    {"ShortMatchOverflow", [](TokenWriter& w) { w.width8().literal(1).short_match(1, 5); }, 5},
    {"RepeatOverflow", [](TokenWriter& w) { w.width8().literal(1).repeat(9); }, 9},
    {"LongMatchOverflow", [](TokenWriter& w) { w.width8().literal(1).literal(2).long_match(2, 30); }, 31},
    {"RawRunOverflow", [](TokenWriter& w) { w.width8().literal(1).raw_run(Bytes(512, 7)); }, 512},
};

class DecodeBroken : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(DecodeBroken, FailsWithinItsBuffers) {
  TokenWriter w;
  GetParam().build(w);
  w.end();
  const Bytes block = w.block_with(0, 0);  // unverified: only the stream can fail
  EXPECT_EQ(decode_checked(block, GetParam().capacity), 0u);
}

INSTANTIATE_TEST_SUITE_P(Rules, DecodeBroken, ::testing::ValuesIn(kBroken),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeDamaged, OverflowCasesFitWithOneMoreByte) {
  // The same streams as the overflow cases above, each decoded with one byte more room.
  const std::pair<std::function<void(TokenWriter&)>, std::uint32_t> fits[] = {
      {[](TokenWriter& w) { w.width8().literal(1).literal(2).literal(3); }, 3},
      {[](TokenWriter& w) { w.zero_byte().zero_byte(); }, 2},
      {[](TokenWriter& w) { w.width8().literal(1).near(1); }, 2},
      {[](TokenWriter& w) { w.width8().literal(1).short_match(1, 5); }, 6},
      {[](TokenWriter& w) { w.width8().literal(1).repeat(9); }, 10},
      {[](TokenWriter& w) { w.width8().literal(1).literal(2).long_match(2, 30); }, 32},
      {[](TokenWriter& w) { w.width8().literal(1).raw_run(Bytes(512, 7)); }, 513},
  };
  for (const auto& [build, size] : fits) {
    TokenWriter w;
    build(w);
    w.end();
    EXPECT_EQ(decode_checked(w.block_with(0, 0), size), size);
  }
}

TEST(DecodeDamaged, IndexBitsLimitsAreAccepted) {
  TokenWriter w;
  w.width8().literal(1).literal(2).index_bits_raw(1, 1).index_bits_raw(2, 31).short_match(2, 2);
  w.end();
  EXPECT_EQ(decode_checked(w.block_with(0, 0), 4), 4u);
}

// ---- Streams that run past the block ----

TEST(DecodeDamaged, StreamWithoutEndMarker) {
  TokenWriter w;
  w.width8().literal(1).literal(2);
  EXPECT_EQ(decode_checked(w.block_with(0, 0), 64), 0u);
}

TEST(DecodeDamaged, EndlessGammaRunsOutOfInput) {
  TokenWriter w;
  w.width8().literal(1).put(0b01, 2);
  for (int i = 0; i < 64; ++i) w.put(0xFFFFFFFFu, 32);  // value bit 1, continuation 1, forever
  EXPECT_EQ(decode_checked(w.block_with(0, 0), 64), 0u);
}

TEST(DecodeDamaged, EndlessRawRunRunsOutOfInputOrRoom) {
  TokenWriter w;
  w.width8().put(0b001, 3).put(0, 4).put(1, 1);
  for (int i = 0; i < 200; ++i) w.put(0xFFFFFFFFu, 32);  // 0xFF bytes and continuation bits 1
  const Bytes block = w.block_with(0, 0);
  EXPECT_EQ(decode_checked(block, 1u << 16), 0u);  // input ends first
  EXPECT_EQ(decode_checked(block, 256), 0u);       // room ends first
}

TEST(DecodeDamaged, BlockSizeNotAWholeNumberOfWords) {
  TokenWriter w;
  w.width8().literal(1).literal(2).literal(3).end();
  Bytes block = w.block_with(0, 0);
  ASSERT_EQ(block.size(), 18u);  // 9 + 27 + 12 bits
  block.push_back(0);            // a stray byte beyond the last word is never read
  EXPECT_EQ(decode_checked(block, 3), 3u);
}

TEST(DecodeDamaged, EveryTruncationFails) {
  std::vector<Bytes> blocks;
  {
    TokenWriter w;
    w.width8().literal('a').literal('b').long_match(2, 6).end();
    blocks.push_back(w.block());
  }
  {
    TokenWriter w;
    w.width7(0x30).literal('1').zero_byte().near(2).raw_run(Bytes(256, 0x55)).short_match(100, 5).repeat(7).end();
    blocks.push_back(w.block());
    blocks.push_back(w.block_with(w.size(), 0));
  }
  {
    TokenWriter w;
    w.width8().literal(0xEE).index_bits(4).long_match(1, 300).index_bits(20).long_match(299, 2).end();
    blocks.push_back(w.block());
  }
  for (const Bytes& block : blocks) {
    const std::uint32_t size = load_le32(block.data() + kUnpackedSizeOffset);
    ASSERT_EQ(decode_checked(block, size), size);
    for (std::size_t cut = 0; cut < block.size(); ++cut) EXPECT_EQ(decode_checked(block, cut, size), 0u) << cut;
  }
}

// ---- Random and damaged blocks ----

// Random valid streams: the decoder must reproduce the writer's model exactly.
void random_tokens(TokenWriter& w, std::mt19937& rng, int count) {
  auto pick = [&](std::uint32_t lo, std::uint32_t hi) {
    return std::uniform_int_distribution<std::uint32_t>(lo, hi)(rng);
  };
  w.width8();
  w.literal(static_cast<std::uint8_t>(pick(0, 255)));
  for (int i = 0; i < count; ++i) {
    const std::uint32_t produced = w.size();
    switch (pick(0, 9)) {
      case 0: w.width8(); break;
      case 1: {
        const std::uint32_t base = pick(0, 255);
        w.width7(static_cast<std::uint8_t>(base)).literal(static_cast<std::uint8_t>(base + pick(0, 127))).width8();
        break;
      }
      case 2: w.zero_byte(); break;
      case 3: w.near(pick(1, std::min<std::uint32_t>(14, produced))); break;
      case 4: w.short_match(pick(1, std::min<std::uint32_t>(127, produced)), pick(2, 5)); break;
      case 5: w.repeat(pick(2, 40)); break;
      case 6: {
        const std::uint32_t d = pick(1, produced);
        w.long_match(d, length_bonus(d) + pick(2, 60));
        break;
      }
      case 7: w.index_bits(pick(1, 31)); break;
      case 8: w.raw_run(Bytes(256 * pick(1, 2), static_cast<std::uint8_t>(pick(0, 255)))); break;
      default: w.literal(static_cast<std::uint8_t>(pick(0, 255))); break;
    }
  }
  w.end();
}

TEST(DecodeRandom, ValidStreamsMatchTheirModel) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 150; ++round) {
    TokenWriter w;
    random_tokens(w, rng, 60);
    const Bytes block = w.block();
    ExactBuffer out(w.size());
    ASSERT_EQ(decode(block.data(), block.size(), out.data(), out.size()), w.size()) << round;
    ASSERT_EQ(out.bytes(), w.expected()) << round;
  }
}

TEST(DecodeRandom, BitFlipsNeverEscapeTheBuffers) {
  std::mt19937 rng(77);
  for (int round = 0; round < 60; ++round) {
    TokenWriter w;
    random_tokens(w, rng, 30);
    const Bytes block = round % 2 ? w.block() : w.block_with(w.size(), 0);
    for (int flip = 0; flip < 25; ++flip) {
      Bytes damaged = block;
      const std::size_t bit = std::uniform_int_distribution<std::size_t>(16, block.size() * 8 - 1)(rng);
      damaged[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
      decode_checked(damaged, w.size());
      decode_checked(damaged, w.size() / 2);
    }
  }
}

TEST(DecodeRandom, RandomBitsNeverEscapeTheBuffers) {
  std::mt19937 rng(5);
  for (int round = 0; round < 1500; ++round) {
    TokenWriter w(4096);
    if (round % 3 != 0) w.width8();  // let most streams get past the first literal
    const int words = std::uniform_int_distribution<int>(0, 40)(rng);
    for (int i = 0; i < words; ++i) w.put(static_cast<std::uint32_t>(rng()), 32);
    const std::uint32_t capacity = std::uniform_int_distribution<std::uint32_t>(0, 2048)(rng);
    decode_checked(w.block_with(capacity, round % 4 ? 0 : static_cast<std::uint32_t>(rng())), capacity);
  }
}

}  // namespace
}  // namespace mytarvo::codec
