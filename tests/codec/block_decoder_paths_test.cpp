// The decoder's fast paths against the token writer's model and the plain reference
// decoder: copies of every short distance and length (grouped copies must give the bytes
// of a byte-by-byte copy and write nothing past them), gamma numbers of every width (from
// the table, gathered in one go, and pair by pair), and tokens placed at every bit offset
// near the end of the block, where fields are read one by one.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "codec/block_decoder.hpp"
#include "codec/packed_block.hpp"
#include "reference_decoder.hpp"
#include "token_writer.hpp"

namespace mytarvo::codec {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TokenWriter;

constexpr std::uint8_t kUntouched = 0xA5;
constexpr std::size_t kSlack = 40;  // bytes after the model's output that must stay as they were

// Decodes `w`'s block into a buffer with room to spare and checks it against the model and
// the reference decoder: same result, same bytes, and the spare room untouched.
void expect_model_output(TokenWriter& w, const std::string& what) {
  const Bytes block = w.block();
  Bytes out(w.size() + kSlack, kUntouched);
  Bytes ref(w.size() + kSlack, kUntouched);
  const std::uint32_t n = decode(block.data(), block.size(), out.data(), out.size());
  ASSERT_EQ(n, w.size()) << what;
  ASSERT_EQ(test::reference_decode(block.data(), block.size(), ref.data(), ref.size()), n) << what;
  ASSERT_TRUE(std::equal(w.expected().begin(), w.expected().end(), out.begin())) << what;
  ASSERT_EQ(out, ref) << what;
  for (std::size_t i = w.size(); i < out.size(); ++i) ASSERT_EQ(out[i], kUntouched) << what << " at " << i;
}

// Twenty bytes that differ from each other, so that a wrong source shows in the output.
TokenWriter& distinct_start(TokenWriter& w) {
  w.width8();
  for (int i = 0; i < 20; ++i) w.literal(static_cast<std::uint8_t>(0x41 + 7 * i));
  return w;
}

TEST(DecodeCopies, EveryShortDistanceAndLength) {
  for (std::uint32_t distance = 1; distance <= 20; ++distance) {
    for (std::uint32_t length = 1; length <= 40; ++length) {
      TokenWriter w;
      distinct_start(w);
      if (length == 1) {
        if (distance > 14) continue;
        w.near(distance);  // the only one-byte copy
      } else {
        w.short_match(distance, 2).repeat(length);  // sets the last distance, then copies
      }
      w.end();
      expect_model_output(w, "distance " + std::to_string(distance) + " length " + std::to_string(length));
    }
  }
}

TEST(DecodeCopies, LongCopiesAtDistancesAroundEachGroupSize) {
  for (std::uint32_t distance : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 15u, 16u, 17u}) {
    for (std::uint32_t length : {63u, 64u, 65u, 1000u, 4097u}) {
      TokenWriter w;
      distinct_start(w).short_match(distance, 3).repeat(length).literal('z').repeat(length / 2 + 2).end();
      expect_model_output(w, "distance " + std::to_string(distance) + " length " + std::to_string(length));
    }
  }
}

TEST(DecodeGamma, LengthsOfEveryWidth) {
  // Lengths of 1 to 20 bits below the leading 1: up to 4 pairs from the table, up to 16
  // gathered at once, beyond that pair by pair.
  for (unsigned bits = 1; bits <= 20; ++bits) {
    for (std::uint32_t length : {(2u << bits) - 1u, 1u << bits, (1u << bits) + 1u}) {
      if (length < 2) continue;
      TokenWriter w(std::size_t{1} << 12);
      w.width8().literal('q').repeat(length).literal('r').end();
      expect_model_output(w, "length " + std::to_string(length));
    }
  }
}

TEST(DecodeGamma, DistancesOfEveryWidth) {
  // With index bits 1 the high part of a distance, g = (D >> 1) + 3, takes as many pairs
  // as D has bits: distances up to 2^19 reach past the gathered numbers.
  TokenWriter w(std::size_t{1} << 12);
  w.width8();
  for (int i = 0; i < 64; ++i) w.literal(static_cast<std::uint8_t>(i * 37));
  w.repeat((1u << 20) - 64);  // about a mebibyte of a repeating pattern to copy from
  w.index_bits(1);
  for (std::uint32_t distance = 2; distance < (1u << 20); distance = distance * 2 + 1) {
    w.literal(static_cast<std::uint8_t>(distance)).long_match(distance, 9);
  }
  w.end();
  expect_model_output(w, "distances");
}

// A tail that uses every kind of token.
void every_token(TokenWriter& w) {
  w.long_match(5, 9).repeat(7).short_match(3, 4).near(2).zero_byte().width7(0x20).literal('A').width8();
  w.raw_run(Bytes(256, 0x3C)).index_bits(9).long_match(290, 20).literal(0xFF).end();
}

TEST(DecodeEnd, TokensAtEveryOffsetBeforeTheEnd) {
  // Literals of 9 bits shift the tail through every bit offset of a word (9 and 32 share no
  // factor), so its tokens start at every distance from the end of the block.
  for (int literals = 0; literals < 40; ++literals) {
    TokenWriter w;
    distinct_start(w);
    for (int i = 0; i < literals; ++i) w.literal(static_cast<std::uint8_t>(i));
    every_token(w);
    expect_model_output(w, std::to_string(literals) + " literals before the tail");
  }
}

TEST(DecodeEnd, EveryTruncationAgreesWithTheReference) {
  for (int literals = 0; literals < 32; literals += 3) {
    TokenWriter w;
    distinct_start(w);
    for (int i = 0; i < literals; ++i) w.literal(static_cast<std::uint8_t>(i));
    every_token(w);
    const Bytes block = w.block();
    for (std::size_t cut = kHeaderSize; cut < block.size(); ++cut) {
      Bytes out(w.size() + kSlack, kUntouched);
      Bytes ref(w.size() + kSlack, kUntouched);
      const std::uint32_t n = decode(block.data(), cut, out.data(), out.size());
      ASSERT_EQ(n, 0u) << "cut at " << cut;
      ASSERT_EQ(test::reference_decode(block.data(), cut, ref.data(), ref.size()), 0u);
      ASSERT_EQ(out, ref) << "cut at " << cut;
    }
  }
}

TEST(DecodeEnd, ShortStreamsOfRandomTokens) {
  // Streams of one to eight tokens lie wholly in the last bits of their blocks.
  std::mt19937 rng(4242);
  for (int round = 0; round < 400; ++round) {
    TokenWriter w;
    w.width8().literal(static_cast<std::uint8_t>(rng()));
    const int tokens = 1 + static_cast<int>(rng() % 8);
    for (int i = 0; i < tokens; ++i) {
      switch (rng() % 5) {
        case 0: w.literal(static_cast<std::uint8_t>(rng())); break;
        case 1: w.zero_byte(); break;
        case 2: w.near(1); break;
        case 3: w.repeat(2 + rng() % 30); break;
        default: w.long_match(1, 6 + rng() % 100); break;
      }
    }
    w.end();
    expect_model_output(w, "round " + std::to_string(round));
  }
}

}  // namespace
}  // namespace mytarvo::codec
