// The block decoder on well-formed blocks: the fixed vectors, every token assembled by
// hand, checksum verification and the unpacked size query.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "codec/block_decoder.hpp"
#include "codec/packed_block.hpp"
#include "reference_decoder.hpp"
#include "support/test_support.hpp"
#include "token_writer.hpp"

namespace mytarvo::codec {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TokenWriter;

const Bytes kAbababab = {0x51, 0x5a, 0x08, 0x00, 0x00, 0x00, 0xc0, 0xcd, 0xc7,
                         0xcd, 0x4c, 0x6c, 0xd8, 0x20, 0x00, 0x00, 0x00, 0x04};
const Bytes kAbababBytes = {0x61, 0x62, 0x61, 0x62, 0x61, 0x62, 0x61, 0x62};

Bytes with_checksum(Bytes block, std::uint32_t checksum) {
  store_le32(block.data() + kChecksumOffset, checksum);
  return block;
}

// ---- The example block ----

TEST(DecodeExample, DecodesAbabababAndVerifies) {
  Bytes out(8);
  EXPECT_EQ(decode(kAbababab.data(), kAbababab.size(), out.data(), out.size()), 8u);
  EXPECT_EQ(out, kAbababBytes);
}

TEST(DecodeExample, OtherChecksumFailsButKeepsTheBytes) {
  for (std::uint32_t checksum : {0xCDC7CDC1u, 0x00000001u, 0xFFFFFFFFu, 0x4DC7CDC0u}) {
    Bytes out(8);
    EXPECT_EQ(decode(with_checksum(kAbababab, checksum).data(), kAbababab.size(), out.data(), out.size()), 0u);
    EXPECT_EQ(out, kAbababBytes);
  }
}

TEST(DecodeExample, ZeroChecksumSkipsVerification) {
  Bytes out(8);
  EXPECT_EQ(decode(with_checksum(kAbababab, 0).data(), kAbababab.size(), out.data(), out.size()), 8u);
  EXPECT_EQ(out, kAbababBytes);
}

TEST(DecodeExample, LargerBufferKeepsItsTail) {
  Bytes out(12, 0xEE);
  EXPECT_EQ(decode(kAbababab.data(), kAbababab.size(), out.data(), out.size()), 8u);
  EXPECT_EQ(Bytes(out.begin() + 8, out.end()), Bytes(4, 0xEE));
}

TEST(DecodeExample, TokenWriterAssemblesTheSameBlock) {
  TokenWriter w;
  w.width8().literal('a').literal('b').long_match(2, 6).end();
  EXPECT_EQ(w.bits(), 53u);
  EXPECT_EQ(w.block(), kAbababab);
  EXPECT_EQ(w.last_distance(), 2u);
}

// ---- Unpacked size query ----

TEST(UnpackedSize, ReadsTheHeaderOnly) {
  EXPECT_EQ(unpacked_size(kAbababab.data(), kAbababab.size()), 8u);
  EXPECT_EQ(unpacked_size(kAbababab.data(), 6), 8u);  // the first 6 bytes are enough
  EXPECT_EQ(unpacked_size(kAbababab.data(), 5), 0u);
  EXPECT_EQ(unpacked_size(kAbababab.data(), 0), 0u);
  EXPECT_EQ(unpacked_size(nullptr, 18), 0u);
  Bytes wrong = kAbababab;
  wrong[1] = 'Y';
  EXPECT_EQ(unpacked_size(wrong.data(), wrong.size()), 0u);
  const Bytes big = {0x51, 0x5a, 0x78, 0x56, 0x34, 0x12};
  EXPECT_EQ(unpacked_size(big.data(), big.size()), 0x12345678u);
}

// ---- Refusals before any output ----

TEST(DecodeRefuses, NullPointersAndWrongMagicLeaveTheOutputUntouched) {
  Bytes out(8, 0xEE);
  EXPECT_EQ(decode(nullptr, 18, out.data(), out.size()), 0u);
  EXPECT_EQ(decode(kAbababab.data(), kAbababab.size(), nullptr, 8), 0u);
  for (std::size_t i : {0u, 1u}) {
    Bytes wrong = kAbababab;
    wrong[i] ^= 0x20;  // "qZ", "Qz"
    EXPECT_EQ(decode(wrong.data(), wrong.size(), out.data(), out.size()), 0u);
  }
  for (std::size_t size : {0u, 1u, 2u, 9u}) EXPECT_EQ(decode(kAbababab.data(), size, out.data(), out.size()), 0u);
  EXPECT_EQ(out, Bytes(8, 0xEE));
}

TEST(DecodeRefuses, VerifiedBlockLargerThanItsBuffer) {
  Bytes out(7, 0xEE);  // the header says 8 bytes, checksummed
  EXPECT_EQ(decode(kAbababab.data(), kAbababab.size(), out.data(), out.size()), 0u);
  EXPECT_EQ(out, Bytes(7, 0xEE));
}

// ---- Short streams and checksum coverage ----

TEST(DecodeShortStreams, FewerBytesThanTheUnpackedSize) {
  TokenWriter w;
  w.width8().literal(1).literal(2).literal(3).literal(4).literal(5).end();
  // Checksum 0: the count of bytes written, not the header's size.
  Bytes unverified = w.block_with(8, 0);
  Bytes out(8);
  EXPECT_EQ(decode(unverified.data(), unverified.size(), out.data(), out.size()), 5u);
  EXPECT_EQ(out, (Bytes{1, 2, 3, 4, 5, 0, 0, 0}));

  // A checksum over 8 bytes, of which the stream wrote 5: the other 3 bytes of the buffer
  // count as they are.
  const Bytes full = {1, 2, 3, 4, 5, 0xAA, 0xAA, 0xAA};
  Bytes verified = unverified;
  store_le32(verified.data() + kChecksumOffset, block_checksum(full.data(), full.size()));
  Bytes zeroed(8, 0);
  EXPECT_EQ(decode(verified.data(), verified.size(), zeroed.data(), zeroed.size()), 0u);
  Bytes prefilled(8, 0xAA);
  EXPECT_EQ(decode(verified.data(), verified.size(), prefilled.data(), prefilled.size()), 5u);
  EXPECT_EQ(prefilled, full);
}

TEST(DecodeShortStreams, OneToThreeBytesAreNeverVerified) {
  for (std::uint32_t n = 1; n <= 3; ++n) {
    TokenWriter w;
    w.width8();
    for (std::uint32_t i = 0; i < n; ++i) w.literal(static_cast<std::uint8_t>(0x30 + i));
    w.end();
    const Bytes block = w.block();
    EXPECT_EQ(load_le32(block.data() + kChecksumOffset), 0u);
    Bytes out(n);
    EXPECT_EQ(decode(block.data(), block.size(), out.data(), out.size()), n);
    EXPECT_EQ(out, w.expected());
  }
}

TEST(DecodeShortStreams, EmptyStream) {
  TokenWriter w;
  w.end();
  const Bytes block = w.block();
  ASSERT_EQ(block.size(), 14u);
  Bytes out(1, 0xEE);
  EXPECT_EQ(decode(block.data(), block.size(), out.data(), 0), 0u);
  EXPECT_EQ(out[0], 0xEE);
}

TEST(DecodeShortStreams, EndMarkerOnAWordBoundaryHasNoTrailingWord) {
  TokenWriter w;
  // 9 + 7 + 4·9 + 12 = 64 bits: the end marker fills the second word exactly.
  w.width8().zero_byte().literal(0x10).literal(0x20).literal(0x30).literal(0x40).end();
  ASSERT_EQ(w.bits(), 64u);
  const Bytes block = w.block();
  ASSERT_EQ(block.size(), kHeaderSize + 8);
  Bytes out(5);
  EXPECT_EQ(decode(block.data(), block.size(), out.data(), out.size()), 5u);
  EXPECT_EQ(out, (Bytes{0, 0x10, 0x20, 0x30, 0x40}));
}

// ---- Every token, checked against the writer's model ----

struct StreamCase {
  const char* name;
  std::function<void(TokenWriter&)> build;
};
// Names the case in test output.
void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }


// Bytes for raw runs: any values do; the decoder must give them back unchanged.
Bytes pattern(std::size_t n, std::uint32_t seed) { return test::noise(n, seed); }

const StreamCase kStreams[] = {
    {"NarrowLiteralsAboveABase",
     [](TokenWriter& w) {
       w.width7(0x60);
       for (char c : std::string("literal")) w.literal(static_cast<std::uint8_t>(c));
       w.literal(0x60).literal(0xDF);  // lowest and highest code
     }},
    {"NarrowLiteralsWrapModulo256",
     [](TokenWriter& w) { w.width7(0xF0).literal(0xF0).literal(0xFF).literal(0x00).literal(0x6F); }},
    {"WideLiterals", [](TokenWriter& w) { w.width8().literal(0x00).literal(0x7F).literal(0x80).literal(0xFF); }},
    {"WidthChangesBackAndForth",
     [](TokenWriter& w) {
       w.width7(0x20).literal('A').width8().literal(0xC8).width7(0x80).literal(0x81).literal(0xFF);
     }},
    {"RepeatFromTheInitialDistance", [](TokenWriter& w) { w.width8().literal(0x78).repeat(5); }},
    {"RepeatAfterNearByteUsesTheLastMatch",
     [](TokenWriter& w) { w.width8().literal(1).literal(2).literal(3).short_match(3, 4).near(1).repeat(3); }},
    {"RepeatAfterZeroByteUsesTheLastMatch",
     [](TokenWriter& w) {
       w.width8().literal(9).literal(8).literal(7).literal(6).long_match(4, 6).zero_byte().repeat(4);
     }},
    {"LongMatchBands",
     [](TokenWriter& w) {
       w.width8().raw_run(pattern(257 * 256, 7));
       w.long_match(127, 6).long_match(128, 2).long_match(639, 3).long_match(14335, 4).long_match(65536, 5);
       w.long_match(100, 40).long_match(300, 9).long_match(1000, 17).long_match(20000, 33).long_match(65600, 300);
       w.long_match(126, 6).long_match(638, 2).long_match(14334, 3).long_match(65535, 4);
     }},
    {"LongOverlappingCopy", [](TokenWriter& w) { w.width8().literal(5).literal(6).long_match(2, 1000); }},
    {"ShortMatches",
     [](TokenWriter& w) {
       w.width8().raw_run(pattern(256, 3));
       for (std::uint32_t d : {1u, 2u, 64u, 127u})
         for (std::uint32_t len = 2; len <= 5; ++len) w.short_match(d, len);
     }},
    {"NearBytesAllDistances",
     [](TokenWriter& w) {
       w.width8();
       for (std::uint8_t i = 0; i < 14; ++i) w.literal(static_cast<std::uint8_t>(0xA0 + i));
       for (std::uint32_t d = 1; d <= 14; ++d) w.near(d);
     }},
    {"IndexBitsChanges",
     [](TokenWriter& w) {
       w.width8().raw_run(pattern(9 * 256, 11));
       w.index_bits(4).long_match(100, 7).long_match(15, 8);
       w.index_bits(9).long_match(1500, 5).long_match(511, 4);
       w.index_bits(10).long_match(2047, 3).long_match(1024, 5);
       w.index_bits(31).long_match(2000, 4).long_match(5, 6);
       w.index_bits(1).long_match(9, 6);
     }},
    {"RawRunsTakeBytesAsTheyStand",
     [](TokenWriter& w) {
       w.width7(0x40).literal(0x41).raw_run(pattern(256, 5)).literal(0x42).raw_run(pattern(512, 6)).literal(0xBF);
     }},
    {"ZeroBytes", [](TokenWriter& w) { w.zero_byte().zero_byte().width8().literal(1).zero_byte(); }},
};

class DecodeStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(DecodeStream, MatchesTheTokensMeaning) {
  TokenWriter w;
  GetParam().build(w);
  w.end();
  const Bytes block = w.block();
  ASSERT_NE(load_le32(block.data() + kChecksumOffset), 0u);
  Bytes out(w.size());
  EXPECT_EQ(decode(block.data(), block.size(), out.data(), out.size()), w.size());
  EXPECT_EQ(out, w.expected());
  Bytes reference(w.size());
  EXPECT_EQ(test::reference_decode(block.data(), block.size(), reference.data(), reference.size()), w.size());
  EXPECT_EQ(reference, w.expected());
}

INSTANTIATE_TEST_SUITE_P(Tokens, DecodeStream, ::testing::ValuesIn(kStreams),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- A few outputs spelled out ----

Bytes decode_all(TokenWriter& w) {
  w.end();
  const Bytes block = w.block();
  Bytes out(w.size());
  EXPECT_EQ(decode(block.data(), block.size(), out.data(), out.size()), w.size());
  return out;
}

TEST(DecodeOutputs, DistanceOneRepeatsTheLastByte) {
  TokenWriter by_short;
  by_short.width8().literal(0x78).short_match(1, 5);
  EXPECT_EQ(decode_all(by_short), Bytes(6, 0x78));
  TokenWriter by_repeat;
  by_repeat.width8().literal(0x78).repeat(5);
  EXPECT_EQ(decode_all(by_repeat), Bytes(6, 0x78));
}

TEST(DecodeOutputs, BoundaryDistancesCopyTheirBandsLengths) {
  const std::pair<std::uint32_t, std::size_t> bands[] = {{127, 6}, {128, 2}, {639, 3}, {14335, 4}, {65536, 5}};
  for (const auto& [distance, copied] : bands) {
    TokenWriter w;
    w.width8().raw_run(pattern(257 * 256, distance));
    const std::size_t before = w.size();
    // Coded length 2, written from explicit fields so that the bonus is the decoder's alone.
    w.long_coded((distance >> 8) + 3, distance & 0xFF, 2);
    w.end();
    const Bytes block = w.block_with(0, 0);
    Bytes out(before + 16);
    ASSERT_EQ(decode(block.data(), block.size(), out.data(), out.size()), before + copied) << distance;
    for (std::size_t i = 0; i < copied; ++i) EXPECT_EQ(out[before + i], out[before + i - distance]);
  }
}

TEST(DecodeOutputs, NarrowLiteralAddsTheBase) {
  TokenWriter w;
  w.width7(0xF0).literal_code(0x7F, 7).literal_code(0x00, 7).literal_code(0x10, 7);
  w.end();
  const Bytes block = w.block_with(3, 0);
  Bytes out(3);
  EXPECT_EQ(decode(block.data(), block.size(), out.data(), out.size()), 3u);
  EXPECT_EQ(out, (Bytes{0x6F, 0xF0, 0x00}));
}

}  // namespace
}  // namespace mytarvo::codec

namespace mytarvo::codec {
namespace {

// How many bytes the stream wrote is reported whatever the result, so that callers can
// tell the written front of the buffer from its untouched tail.
TEST(DecodeWritten, ReportsTheFrontTheStreamWrote) {
  struct Case {
    const char* what;
    Bytes block;
    std::uint32_t result;
    std::size_t written;
  };
  Bytes wrong_checksum = kAbababab;
  wrong_checksum[6] ^= 1;
  Bytes bad_magic = kAbababab;
  bad_magic[1] = 0;
  const Bytes first_word(kAbababab.begin(), kAbababab.begin() + 14);
  for (const Case& c : {Case{"whole", kAbababab, 8, 8}, Case{"wrong checksum", wrong_checksum, 0, 8},
                        Case{"cut after the first word", first_word, 0, 2}, Case{"bad magic", bad_magic, 0, 0}}) {
    Bytes out(8, 0);
    std::size_t written = 99;
    EXPECT_EQ(decode(c.block.data(), c.block.size(), out.data(), out.size(), &written), c.result) << c.what;
    EXPECT_EQ(written, c.written) << c.what;
    EXPECT_TRUE(std::all_of(out.begin() + static_cast<long>(written), out.end(), [](std::uint8_t b) { return b == 0; }))
        << c.what;
  }
}

}  // namespace
}  // namespace mytarvo::codec
