// The decoder's fast paths against the token writer's model and the plain reference
// decoder: copies of every short distance and length (grouped copies must give the bytes
// of a byte-by-byte copy and write nothing past them), gamma numbers of every width (from
// the table, gathered in one go, and pair by pair), and tokens placed at every bit offset
// near the end of the block, where fields are read one by one; and the fast token loop
// with copies that end its streams, long random streams and damaged ones.
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

// Decodes `w`'s block, followed by `unread_words` zero words that are never read, into a
// buffer with room to spare and checks it against the model and the reference decoder:
// same result, same bytes, and the spare room untouched.
void expect_model_output(TokenWriter& w, const std::string& what, std::size_t unread_words = 0) {
  Bytes block = w.block();
  block.insert(block.end(), unread_words * kWordSize, 0);
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

// ---- The fast token loop ----------------------------------------------------------------
// It runs while two whole words of input lie ahead of a token and the output has room for
// 16 more bytes; zero words appended after the end marker's word (never read) keep the
// last tokens of these streams in it, with the output buffer's spare room untouched.

// Decodes with four unread zero words after the block (see above).
void expect_fast_output(TokenWriter& w, const std::string& what) { expect_model_output(w, what, 4); }

TEST(DecodeFastLoop, CopiesOfEveryShortDistanceAndLengthEndTheStreamExactly) {
  // Each kind of copy that the loop handles itself or hands on: near bytes (1 byte), short
  // matches (2 to 5), long matches (from 6; from 2 beyond distance 127) and repeats, from
  // distances below, at and above each group size.
  for (std::uint32_t distance = 1; distance <= 40; ++distance) {
    for (std::uint32_t length = 1; length <= 40; ++length) {
      for (int kind = 0; kind < 2; ++kind) {
        TokenWriter w;
        distinct_start(w);
        for (int i = 0; i < 40; ++i) w.literal(static_cast<std::uint8_t>(0x80 + 3 * i));
        if (length == 1) {
          if (distance > kNearMaxDistance || kind == 1) continue;
          w.near(distance);
        } else if (kind == 1) {
          w.short_match(distance, 2).literal('x').repeat(length);
        } else if (length <= kShortMaxLength) {
          w.short_match(distance, length);
        } else {
          w.long_match(distance, length);
        }
        w.end();
        expect_fast_output(w, "distance " + std::to_string(distance) + " length " + std::to_string(length) +
                                  " kind " + std::to_string(kind));
      }
    }
  }
  // Far distances: long matches of 2 to 40 bytes from beyond 127 and beyond g's 5 pairs.
  for (std::uint32_t distance : {128u, 639u, 14335u, 40000u}) {
    for (std::uint32_t length = 2; length <= 40; ++length) {
      TokenWriter w(std::size_t{1} << 20);
      w.width8();
      for (std::uint32_t i = 0; i < distance + 8; ++i) w.literal(static_cast<std::uint8_t>(i * 131 + (i >> 8)));
      if (length < length_bonus(distance) + 2) continue;
      w.long_match(distance, length).end();
      expect_fast_output(w, "far distance " + std::to_string(distance) + " length " + std::to_string(length));
    }
  }
}

TEST(DecodeFastLoop, LiteralRunsOfEveryLengthInBothWidths) {
  // Runs of 1 to 8 literals (taken three at a time at most), each between two copies or
  // ending the stream, in 8-bit and in based 7-bit width: each byte lands at its own place
  // and nothing beyond the run is written.
  for (int width = 0; width < 2; ++width) {
    for (int run = 1; run <= 8; ++run) {
      for (const bool at_end : {false, true}) {
        TokenWriter w;
        distinct_start(w);
        if (width == 1) w.width7(0x41);
        w.short_match(3, 2);
        for (int i = 0; i < run; ++i) w.literal(static_cast<std::uint8_t>(0x41 + 5 * i + run));
        if (!at_end) w.near(7).literal(0x42).short_match(5, 4);
        w.end();
        expect_fast_output(w, "width " + std::to_string(width) + " run " + std::to_string(run) +
                                  (at_end ? " at the end" : " between copies"));
      }
    }
  }
}

TEST(DecodeFastLoop, LengthsThatWrapPast32BitsAgreeWithTheReference) {
  // A gamma number of 33 pairs or more keeps its low 32 bits: 2^32 + k stands for a length
  // of k, 0 included (a copy of nothing). Repeats (no bonus) and long matches from 127 back
  // (bonus 4), in the middle of a stream that goes on.
  for (std::uint32_t k : {0u, 1u, 2u, 3u, 5u, 12u, 0xFFFFFFF0u}) {
    for (bool repeat : {true, false}) {
      TokenWriter w;
      distinct_start(w);
      for (int i = 0; i < 120; ++i) w.literal(static_cast<std::uint8_t>(i));
      w.short_match(9, 2);
      w.put(0b01, 2);  // prefix: long or repeat match
      if (repeat) {
        w.gamma(kRepeatMatchGamma);
      } else {
        w.gamma(kLongMatchGammaBase).put(127, kInitialIndexBits);  // distance 127
      }
      // The length 2^32 + k: its 32 bits below the leading 1, each with a continuation bit.
      for (int bit = 31; bit >= 0; --bit) w.put((k >> bit & 1u) << 1 | (bit > 0 ? 1u : 0u), 2);
      for (int i = 0; i < 8; ++i) w.literal(static_cast<std::uint8_t>(0x30 + i));
      w.end();
      Bytes block = w.block_with(static_cast<std::uint32_t>(w.size()), 0);
      block.insert(block.end(), 4 * kWordSize, 0);
      Bytes out(w.size() + kSlack, kUntouched);
      Bytes ref(w.size() + kSlack, kUntouched);
      const std::uint32_t n = decode(block.data(), block.size(), out.data(), out.size());
      ASSERT_EQ(test::reference_decode(block.data(), block.size(), ref.data(), ref.size()), n) << k;
      ASSERT_EQ(out, ref) << k;
    }
  }
}

// A long stream of random tokens of every kind: literal runs in both widths, every copy,
// index-bits and literal-width changes, raw runs and zero bytes.
TokenWriter random_stream(std::mt19937& rng, int tokens) {
  TokenWriter w(std::size_t{1} << 20);
  w.width8();
  std::uint32_t base = 0;    // the literal base and the bytes a literal can stand for
  std::uint32_t range = 256;
  const auto literal = [&] { w.literal(static_cast<std::uint8_t>(base + rng() % range)); };
  for (int i = 0; i < 16; ++i) literal();
  for (int i = 0; i < tokens; ++i) {
    const auto produced = static_cast<std::uint32_t>(w.size());
    switch (rng() % 12) {
      case 0: case 1: case 2:
        for (std::uint32_t k = rng() % 5; k-- > 0;) literal();
        break;
      case 3: w.near(1 + rng() % kNearMaxDistance); break;
      case 4: w.short_match(1 + rng() % std::min(produced, kShortMaxDistance), 2 + rng() % 4); break;
      case 5: w.repeat(2 + rng() % 40); break;
      case 6: case 7: {
        const std::uint32_t distance = 1 + rng() % produced;
        w.long_match(distance, length_bonus(distance) + 2 + rng() % 30);
        break;
      }
      case 8: w.zero_byte(); break;
      case 9: w.index_bits(1 + rng() % 16); break;
      case 10:
        base = rng() % 2 == 0 ? rng() % 256 : 0;
        range = base != 0 ? 128 : 256;
        if (base != 0) {
          w.width7(static_cast<std::uint8_t>(base));
        } else {
          w.width8();
        }
        break;
      default:
        if (rng() % 8 == 0) w.raw_run(Bytes(kRawRunBytes, static_cast<std::uint8_t>(rng())));
        break;
    }
  }
  w.end();
  return w;
}

TEST(DecodeFastLoop, LongStreamsOfRandomTokensDecodeAsTheModel) {
  std::mt19937 rng(777);
  for (int round = 0; round < 60; ++round) {
    TokenWriter w = random_stream(rng, 400);
    expect_fast_output(w, "round " + std::to_string(round));
  }
}

TEST(DecodeFastLoop, DamagedStreamsAgreeWithTheReference) {
  // Bit flips anywhere in long streams: the same verdict and the same bytes written before
  // the failure (or the end) as the plain decoder, the spare room untouched.
  std::mt19937 rng(31337);
  for (int round = 0; round < 40; ++round) {
    TokenWriter w = random_stream(rng, 300);
    const Bytes good = w.block();
    for (int flip = 0; flip < 25; ++flip) {
      Bytes block = good;
      const std::size_t bit = kHeaderSize * 8 + rng() % ((block.size() - kHeaderSize) * 8);
      block[bit / 8] = static_cast<std::uint8_t>(block[bit / 8] ^ (1u << (bit % 8)));
      block.insert(block.end(), 4 * kWordSize, 0);
      Bytes out(w.size() + kSlack, kUntouched);
      Bytes ref(w.size() + kSlack, kUntouched);
      const std::uint32_t n = decode(block.data(), block.size(), out.data(), out.size());
      ASSERT_EQ(test::reference_decode(block.data(), block.size(), ref.data(), ref.size()), n)
          << "round " << round << " bit " << bit;
      ASSERT_EQ(out, ref) << "round " << round << " bit " << bit;
    }
  }
}

}  // namespace
}  // namespace mytarvo::codec
