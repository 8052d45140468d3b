// Whole blocks written by the encoder, byte for byte, and the encoder's choices of token
// for single bytes and copies.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "codec/block_encoder.hpp"
#include "codec/encoder_harness.hpp"
#include "codec/prefix_chains.hpp"
#include "codec/reference_encoder.hpp"
#include "codec/token_dump.hpp"
#include "codec/token_stream.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

using test::Bytes;
using test::dump_block;
using test::pack_bytes;
using test::token_texts;

Bytes repeated(std::size_t count, std::uint8_t byte) { return Bytes(count, byte); }

TEST(BlockEncoder, SixtyFourEqualBytes) {
  const Bytes expected = {0x51, 0x5a, 0x40, 0x00, 0x00, 0x00, 0x00, 0x14, 0x14, 0x14,
                          0xfc, 0x53, 0xd0, 0x20, 0x00, 0x00, 0x00, 0x24};
  EXPECT_EQ(pack_bytes(repeated(64, 0x41), 9), expected);
  const auto dump = dump_block(expected);
  EXPECT_EQ(token_texts(dump), (std::vector<std::string>{"lit 65", "rep 62", "near 1", "end"}));
}

TEST(BlockEncoder, HundredZeroBytes) {
  const Bytes expected = {0x51, 0x5a, 0x64, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
                          0x5c, 0x4d, 0x91, 0x20, 0x00, 0x00, 0x00, 0x22};
  EXPECT_EQ(pack_bytes(repeated(100, 0x00), 9), expected);
  EXPECT_EQ(token_texts(dump_block(expected)), (std::vector<std::string>{"zero", "rep 98", "zero", "end"}));
}

TEST(BlockEncoder, SeventyThousandZeroBytesWidenTheIndexBits) {
  const Bytes expected = {0x51, 0x5a, 0x70, 0x11, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0xff, 0x4f, 0x91,
                          0x20, 0x06, 0x00, 0xff, 0xff, 0xf0, 0xf7, 0x5d, 0x51, 0x00, 0x20, 0x12, 0x89};
  EXPECT_EQ(pack_bytes(repeated(70000, 0x00), 9), expected);
  const auto dump = dump_block(expected);
  ASSERT_TRUE(dump.ok);
  std::vector<std::string> all;
  for (const auto& t : dump.tokens) all.push_back(t.text() + "@" + std::to_string(t.position));
  EXPECT_EQ(all, (std::vector<std::string>{"width 8 0@0", "zero@0", "rep 65534@1", "ib 9@65535", "rep 4462@65535",
                                           "zero@69997", "zero@69998", "zero@69999", "end@70000"}));
}

TEST(BlockEncoder, EightBytesAreTooShort) {
  // abababab would pack to 18 bytes, more than its own 8.
  EXPECT_TRUE(pack_bytes(test::to_bytes("abababab"), 9).empty());
}

struct WidthStart {
  std::uint8_t low;
  std::uint8_t high;
  std::vector<std::string> first_token;
};

TEST(BlockEncoder, LiteralWidthAnnouncedFromTheFirstBytes) {
  // Smallest 0x20, largest 0x7E: width 7 from 0x20.
  Bytes text(400);
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<std::uint8_t>(0x20 + (i * 37) % 0x5F);
  text[100] = 0x20;
  text[101] = 0x7E;
  test::EncoderHarness h;
  const Bytes block = h.run(text, 65536);
  ASSERT_FALSE(block.empty());
  // 0 0 1, 0 0 0 0, 0, 0, 0 0 1 0 0 0 0 0: the first 17 bits of the first word.
  EXPECT_EQ(codec::load_le32(block.data() + 10) >> 15, 0b00100000000100000u);
  EXPECT_EQ(dump_block(block).tokens.front().text(), "width 7 32");

  // Smallest 0x00, largest 0x80: width 8.
  Bytes spread(400, 0x00);
  for (std::size_t i = 0; i < spread.size(); ++i) spread[i] = static_cast<std::uint8_t>((i * 5) % 0x81);
  const Bytes wide = pack_bytes(spread, 9);
  ASSERT_FALSE(wide.empty());
  EXPECT_EQ(codec::load_le32(wide.data() + 10) >> 23, 0b001000001u);
}

TEST(BlockEncoder, InputsUnderFourteenBytesGiveZero) {
  for (std::uint32_t n = 1; n < 14; ++n) {
    test::EncoderHarness h;
    EXPECT_TRUE(h.run(repeated(n, 0x41), 65536).empty()) << n;
    EXPECT_EQ(h.result, 0u);
    // Nothing written past the input's length.
    for (std::size_t i = n; i < h.dest.size(); ++i) ASSERT_EQ(h.dest[i], 0xEE) << n;
    // The working blocks were obtained and all given back.
    EXPECT_EQ(h.trace(), "a262144 a" + std::to_string((n + 1) * 16 + 4096) + " a" + std::to_string(n + 1) + " a" +
                             std::to_string(codec::PrefixChains::bytes_needed(n)) + " r3 r0 r2 r1");
  }
}

TEST(BlockEncoder, ResultMayEqualTheInputLength) {
  // 18 bytes 0x41: width change, literal, repeat of 14, three near bytes, end marker: 61 bits.
  const Bytes block = pack_bytes(repeated(18, 0x41), 9);
  EXPECT_EQ(block.size(), 18u);
  EXPECT_EQ(token_texts(dump_block(block)),
            (std::vector<std::string>{"lit 65", "rep 14", "near 1", "near 1", "near 1", "end"}));
}

TEST(BlockEncoder, IncompressibleInputGivesZero) {
  test::TestRandom rng(5);
  Bytes noise(5000);
  for (auto& b : noise) b = static_cast<std::uint8_t>(rng.next());
  test::EncoderHarness h;
  EXPECT_TRUE(h.run(noise, 65536).empty());
  for (std::size_t i = noise.size(); i < h.dest.size(); ++i) ASSERT_EQ(h.dest[i], 0xEE);
  EXPECT_EQ(h.trace(), "a262144 a84112 a5001 a311296 r3 r0 r2 r1");
}

TEST(BlockEncoder, NoChecksumOnlyForExactlyOne) {
  const Bytes input = repeated(64, 0x41);
  for (std::int32_t flag : {0, 1, 2, -1}) {
    test::EncoderHarness h;
    h.no_checksum = flag;
    const Bytes block = h.run(input, 9);
    ASSERT_EQ(block.size(), 18u);
    EXPECT_EQ(codec::load_le32(block.data() + 6), flag == 1 ? 0u : 0x14141400u) << flag;
  }
}

// ---- Index bits ---------------------------------------------------------------------------

// Text that keeps the search busy but packs: lines of words with a counter.
Bytes numbered_lines(std::size_t size) {
  Bytes out;
  for (std::uint32_t i = 0; out.size() < size; ++i) {
    const std::string line = "line " + std::to_string(i * 7919 % 100003) + " of the index-bits schedule\n";
    out.insert(out.end(), line.begin(), line.end());
  }
  out.resize(size);
  return out;
}

std::vector<std::string> index_bit_changes(const Bytes& block) {
  std::vector<std::string> out;
  for (const auto& t : dump_block(block).tokens) {
    if (t.kind == test::Token::IndexBits) out.push_back(t.text() + "@" + std::to_string(t.position));
  }
  return out;
}

TEST(BlockEncoder, IndexBitsWidenAtTheFirstFullStepBeyond49152) {
  const Bytes input = numbered_lines(60000);
  const Bytes block = pack_bytes(input, 9);
  ASSERT_FALSE(block.empty());
  const auto dump = dump_block(block);
  ASSERT_EQ(dump.bytes, input);
  // The change stands right before the first token that starts above 49152.
  std::uint32_t first_beyond = 0;
  for (const auto& t : dump.tokens) {
    if (t.kind != test::Token::IndexBits && t.position > 49152) {
      first_beyond = t.position;
      break;
    }
  }
  EXPECT_EQ(index_bit_changes(block), std::vector<std::string>{"ib 9@" + std::to_string(first_beyond)});
  // With a window of 49152 the reach never passes 49152.
  test::EncoderHarness h;
  EXPECT_TRUE(index_bit_changes(h.run(input, 49152)).empty());
}

TEST(BlockEncoder, IndexBitsTenOnlyForWindowsAbove65536) {
  const Bytes input = numbered_lines(140000);
  test::EncoderHarness h;
  const auto changes = index_bit_changes(h.run(input, 131072));
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].substr(0, 5), "ib 9@");
  EXPECT_EQ(changes[1].substr(0, 6), "ib 10@");
  EXPECT_GT(std::stoul(changes[1].substr(6)), 65536u);
  EXPECT_EQ(index_bit_changes(pack_bytes(input, 9)).size(), 1u);
}

// ---- Single bytes -------------------------------------------------------------------------

TEST(BlockEncoder, ZeroBytesAreNeverNearBytes) {
  Bytes input = test::to_bytes("the zero byte:");
  for (int i = 0; i < 6; ++i) input.push_back(0);
  input.insert(input.end(), {'t', 'h', 'e', ' ', 'z', 'e', 'r', 'o', 0, 0, 0, 0, 0, 0, 0, 0});
  input.insert(input.end(), 300, 'z');
  const Bytes block = pack_bytes(input, 9);
  ASSERT_FALSE(block.empty());
  const auto dump = dump_block(block);
  EXPECT_EQ(dump.bytes, input);
  for (const auto& t : dump.tokens) {
    if (t.kind == test::Token::Near) {
      EXPECT_NE(input[t.position], 0);
    }
  }
}

TEST(BlockEncoder, NearBytesReachFourteenBack) {
  // Bytes 1..30, then byte 17 again (14 back from position 30: near code 15), then byte 17
  // again two later... built so that no two-byte key repeats.
  Bytes input;
  for (std::uint8_t b = 1; b <= 30; ++b) input.push_back(b);
  input.push_back(17);  // position 30: 17 sits at position 16, 14 back
  input.push_back(200);
  input.push_back(17);  // position 32: nearest 17 is 2 back
  input.push_back(201);
  input.push_back(19);  // position 34: 19 sits at position 18, 16 back: a literal
  for (int i = 0; i < 40; ++i) input.push_back(static_cast<std::uint8_t>(100 + i));
  input.insert(input.end(), 300, 0x41);  // so that the block is shorter than the input
  test::EncoderHarness h;
  const auto dump = dump_block(h.run(input, 1024));
  ASSERT_TRUE(dump.ok);
  EXPECT_EQ(dump.bytes, input);
  std::map<std::uint32_t, std::string> at;
  for (const auto& t : dump.tokens) at[t.position] = t.text();
  EXPECT_EQ(at[30], "near 14");
  EXPECT_EQ(at[32], "near 2");
  EXPECT_EQ(at[34], "lit 19");
}

TEST(BlockEncoder, NearByteFifteenBackIsALiteral) {
  Bytes input;
  for (std::uint8_t b = 1; b <= 30; ++b) input.push_back(b);
  input.push_back(16);  // 15 back
  for (int i = 0; i < 40; ++i) input.push_back(static_cast<std::uint8_t>(100 + i));
  input.insert(input.end(), 300, 0x41);
  const auto dump = dump_block(pack_bytes(input, 9));
  ASSERT_TRUE(dump.ok);
  std::map<std::uint32_t, std::string> at;
  for (const auto& t : dump.tokens) at[t.position] = t.text();
  EXPECT_EQ(at[30], "lit 16");
}

// ---- Copies -------------------------------------------------------------------------------

// The bits `write` produces, followed by the end marker; checks that they begin with
// `expected` and that only 0 bits follow.
void expect_bits(void (*write)(codec::TokenStream&), const std::string& expected) {
  Bytes dest(64, 0);
  codec::TokenStream w(dest.data(), 64);
  write(w);
  w.end();
  std::string bits;
  for (std::uint32_t pos = 10; pos < w.bytes_stored(); pos += 4) {
    const std::uint32_t word = codec::load_le32(dest.data() + pos);
    for (int i = 31; i >= 0; --i) bits += ((word >> i) & 1u) ? '1' : '0';
  }
  ASSERT_GE(bits.size(), expected.size() + 12);
  EXPECT_EQ(bits.substr(0, expected.size()), expected);
  EXPECT_EQ(bits.find('1', expected.size()), std::string::npos);
}

TEST(TokenStream, CopyOfFiveFromDistanceFiveAfterSeven) {
  // short match: 0 0 0, 0000101, 11; then the end marker
  expect_bits([](codec::TokenStream& w) {
              w.copy(7, 5);  // last distance 7 (a short match itself)
              w.copy(5, 5);
            },
            "000" "0000111" "11" "000" "0000101" "11");
}

TEST(TokenStream, CopyOfFiveFromTheLastDistanceIsARepeat) {
  expect_bits([](codec::TokenStream& w) {
              w.copy(5, 5);
              w.copy(5, 5);
            },
            "000" "0000101" "11" "01" "00" "0110");
}

TEST(TokenStream, CopyOfSixFromDistanceFiveIsLong) {
  // long match: 0 1, gamma 3 (1 0), low bits 00000101, gamma 2 (0 0)
  expect_bits([](codec::TokenStream& w) {
              w.copy(7, 5);
              w.copy(5, 6);
            },
            "000" "0000111" "11" "01" "10" "00000101" "00");
  expect_bits([](codec::TokenStream& w) { w.copy(1, 2); }, "01" "00" "00");
}

TEST(TokenStream, LiteralsAndByteCodes) {
  expect_bits([](codec::TokenStream& w) {
              w.literal_width_change(codec::LiteralRange{7, 0x20});
              w.literal(0x9F);
              w.zero_byte();
              w.near_byte(14);
              w.index_bits_change(9);
            },
            "001" "0000" "0" "0" "00100000" "1" "1111111" "001" "0001" "001" "1111" "000" "0000000" "01" "1001");
}

}  // namespace
}  // namespace mytarvo
