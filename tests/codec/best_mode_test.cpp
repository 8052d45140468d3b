// The best packing mode: its blocks decode back with the library's decoder and with the
// plain reference decoder, on the corpus and on generated data (far repeats beyond 64 KiB,
// wide index bits, raw runs, narrow literal ranges); they are smaller than level 9's; and
// it fails the way pack_block does.
#include <gtest/gtest.h>

#include <string>

#include "codec/best_encoder.hpp"
#include "codec/block_decoder.hpp"
#include "codec/encoder_harness.hpp"
#include "codec/generated_inputs.hpp"
#include "codec/reference_decoder.hpp"
#include "codec/token_dump.hpp"
#include "mytarvo/codec.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

using test::Bytes;
using test::TestRandom;

constexpr bool kThorough = MYTARVO_THOROUGH_TESTS != 0;

Bytes pack_best_bytes(const Bytes& input, std::uint32_t window = codec::kMaxBestWindow) {
  Bytes dest(input.size());
  const std::uint32_t n = codec::pack_best(input.data(), dest.data(), static_cast<std::uint32_t>(input.size()), window);
  dest.resize(n);
  return dest;
}

// Packs in best mode and checks the block's form and that both decoders give the input
// back; returns the block (empty when it does not pack).
Bytes best_round_trip(const Bytes& input, const std::string& what, std::uint32_t window = codec::kMaxBestWindow) {
  const Bytes block = pack_best_bytes(input, window);
  if (block.empty()) return block;
  EXPECT_LE(block.size(), input.size()) << what;
  EXPECT_EQ((block.size() - 10) % 4, 0u) << what;
  Bytes out(input.size(), 0);
  EXPECT_EQ(codec::decode(block.data(), block.size(), out.data(), out.size()), input.size()) << what;
  EXPECT_TRUE(out == input) << what << ": the decoder does not give the input back";
  Bytes plain(input.size(), 0);
  EXPECT_EQ(test::reference_decode(block.data(), block.size(), plain.data(), plain.size()), input.size()) << what;
  EXPECT_TRUE(plain == input) << what << ": the reference decoder does not give the input back";
  return block;
}

// Size a packer stores: the block, or the input itself when it does not pack.
std::size_t stored_size(const Bytes& block, const Bytes& input) { return block.empty() ? input.size() : block.size(); }

std::size_t count_tokens(const Bytes& block, test::Token::Kind kind) {
  const test::Dump dump = test::dump_block(block);
  EXPECT_TRUE(dump.ok);
  std::size_t n = 0;
  for (const test::Token& t : dump.tokens) n += t.kind == kind ? 1 : 0;
  return n;
}

// ---- Corpus -------------------------------------------------------------------------------

TEST(BestCorpus, DecodesBackAndBeatsLevelNine) {
  const std::vector<std::string> quick = {"fireworks.jpeg", "geo.protodata", "html", "html_x_4"};
  const std::vector<std::string> names = kThorough ? test::corpus_files() : quick;
  ASSERT_FALSE(names.empty());
  std::size_t best_total = 0;
  std::size_t level_nine_total = 0;
  for (const std::string& name : names) {
    const Bytes input = test::read_file(test::corpus_path(name));
    ASSERT_FALSE(input.empty()) << name;
    best_total += stored_size(best_round_trip(input, name), input);
    level_nine_total += stored_size(test::pack_bytes(input, 9), input);
  }
  EXPECT_LT(best_total, level_nine_total);
  // The whole corpus packs to at most 900,000 bytes (level 9: 1,042,405).
  if (kThorough) {
    EXPECT_LE(best_total, 900000u);
  }
}

TEST(BestCorpus, PackingIsDeterministic) {
  const Bytes input = test::read_file(test::corpus_path("html"));
  ASSERT_FALSE(input.empty());
  EXPECT_EQ(pack_best_bytes(input), pack_best_bytes(input));
}

// ---- Generated data -----------------------------------------------------------------------

struct Shape {
  const char* name;
  Bytes (*make)(TestRandom&);
};

const Shape kShapes[] = {
    {"far repeats", [](TestRandom& r) { return test::far_repeats(r, 400000, {70000, 150000, 262144, 390000}); }},
    {"near repeats", [](TestRandom& r) { return test::far_repeats(r, 150000, {49152, 65535, 65536}); }},
    {"words", [](TestRandom& r) { return test::words(r, 90000); }},
    {"runs", [](TestRandom& r) { return test::runs(r, 200000); }},
    {"planted", [](TestRandom& r) { return test::planted(r, 100000, {1, 2, 127, 128, 639, 14335, 65536, 80000}); }},
    {"shifting ranges", [](TestRandom& r) { return test::shifting_ranges(r, 120000); }},
    {"periodic", [](TestRandom& r) { return test::periodic(r, 140000, 70001); }},
    {"small alphabet", [](TestRandom& r) { return test::from_alphabet(r, 70000, 5, 0xFD); }},
    {"one run", [](TestRandom&) { return Bytes(300000, 0); }},
};

TEST(BestGenerated, ShapesDecodeBack) {
  TestRandom rng(71);
  for (const Shape& shape : kShapes) {
    const Bytes input = shape.make(rng);
    EXPECT_FALSE(best_round_trip(input, shape.name).empty()) << shape.name;
  }
}

// Random letters (which pack to about half), a stretch of text of random words, then the
// letters again in pieces, from far beyond 64 KiB.
Bytes text_then_its_pieces(TestRandom& rng, std::size_t text_size, std::size_t gap) {
  Bytes input = test::from_alphabet(rng, text_size, 16, 'a');
  const Bytes filler = test::words(rng, gap);
  input.insert(input.end(), filler.begin(), filler.end());
  for (std::size_t from = 0; from + 500 < text_size; from += 500 + rng.below(50)) {
    input.insert(input.end(), input.begin() + static_cast<std::ptrdiff_t>(from),
                 input.begin() + static_cast<std::ptrdiff_t>(from + 500));
  }
  return input;
}

TEST(BestGenerated, RepeatsBeyondSixtyFourKibAreUsed) {
  TestRandom rng(72);
  const Bytes input = text_then_its_pieces(rng, 60000, 150000);
  const Bytes whole = best_round_trip(input, "whole window");
  const Bytes narrow = best_round_trip(input, "window of 65536", codec::kMinBestWindow);
  ASSERT_FALSE(whole.empty());
  ASSERT_FALSE(narrow.empty());
  // A window request that is no power of two becomes a ring of 131072 positions.
  EXPECT_FALSE(best_round_trip(input, "window of 200000", 200000).empty());
  const Bytes level_nine = test::pack_bytes(input, 9);
  // The pieces come back from about 210,000 bytes: only the whole window reaches them.
  EXPECT_LT(whole.size() + 20000, narrow.size());
  EXPECT_LT(whole.size() + 20000, stored_size(level_nine, input));
  EXPECT_GT(count_tokens(whole, test::Token::Long), 100u);
}

TEST(BestGenerated, FarDistancesWidenTheIndexBitsBeyondFifteen) {
  // Copies of 40 bytes from all over the first 2 MiB of noise: distances of about 2^21,
  // which the 5-bit index-bits field carries.
  TestRandom rng(73);
  const std::size_t noise = std::size_t{1} << 21;
  Bytes input(noise);
  for (auto& b : input) b = static_cast<std::uint8_t>(rng.next());
  for (int i = 0; i < 4000; ++i) {
    const std::size_t from = rng.below(static_cast<std::uint32_t>(noise / 2));
    input.insert(input.end(), input.begin() + static_cast<std::ptrdiff_t>(from),
                 input.begin() + static_cast<std::ptrdiff_t>(from + 40));
  }
  const Bytes block = best_round_trip(input, "far copies");
  ASSERT_FALSE(block.empty());
  const test::Dump dump = test::dump_block(block);
  ASSERT_TRUE(dump.ok);
  std::uint32_t widest = 0;
  for (const test::Token& t : dump.tokens) {
    if (t.kind == test::Token::IndexBits) widest = std::max(widest, t.a);
  }
  EXPECT_GE(widest, 16u);
}

TEST(BestGenerated, NoiseInsideTextGoesIntoRawRuns) {
  TestRandom rng(74);
  Bytes input = test::words(rng, 30000);
  for (int i = 0; i < 8192; ++i) input.push_back(static_cast<std::uint8_t>(rng.next()));
  const Bytes more = test::words(rng, 30000);
  input.insert(input.end(), more.begin(), more.end());
  const Bytes block = best_round_trip(input, "noise in text");
  ASSERT_FALSE(block.empty());
  EXPECT_GE(count_tokens(block, test::Token::RawRun), 25u);
}

TEST(BestGenerated, TextTakesTheNarrowLiteralWidth) {
  TestRandom rng(75);
  const Bytes input = test::words(rng, 20000);
  const Bytes block = best_round_trip(input, "words");
  ASSERT_FALSE(block.empty());
  const test::Dump dump = test::dump_block(block);
  ASSERT_TRUE(dump.ok);
  EXPECT_EQ(dump.tokens.front().kind, test::Token::Width);
  EXPECT_EQ(dump.tokens.front().a, 7u);
}

TEST(BestGenerated, BytesOutsideTheNarrowRangeStayCodable) {
  // Text with, here and there, a high byte met before: the parse may code it by a near
  // byte or a copy under width 7, or switch width.
  TestRandom rng(76);
  Bytes input;
  while (input.size() < 100000) {
    const Bytes t = test::words(rng, 200 + rng.below(4000));
    input.insert(input.end(), t.begin(), t.end());
    const auto high = static_cast<std::uint8_t>(0x80 + rng.below(0x80));
    input.insert(input.end(), {high, 'x', high, high});
  }
  EXPECT_FALSE(best_round_trip(input, "high bytes").empty());
}

// ---- Results and failures ---------------------------------------------------------------

TEST(BestResults, FailsLikePackBlock) {
  TestRandom rng(77);
  Bytes noise(70000);
  for (auto& b : noise) b = static_cast<std::uint8_t>(rng.next());
  EXPECT_TRUE(pack_best_bytes(noise).empty());  // noise does not pack below its length
  for (std::size_t size : {1u, 5u, 13u}) EXPECT_TRUE(pack_best_bytes(Bytes(size, 0)).empty()) << size;
  Bytes dest(100);
  const Bytes zeros(100, 0);
  EXPECT_EQ(pack_best(std::span<const std::uint8_t>(), dest), 0u);
  EXPECT_EQ(pack_best(zeros, std::span<std::uint8_t>(dest.data(), 99)), 0u);  // dest shorter than source
  EXPECT_EQ(codec::pack_best(nullptr, dest.data(), 100), 0u);
  EXPECT_EQ(codec::pack_best(zeros.data(), nullptr, 100), 0u);
}

TEST(BestResults, PublicEntryGivesTheSameBlock) {
  const Bytes input = test::read_file(test::corpus_path("geo.protodata"));
  ASSERT_FALSE(input.empty());
  Bytes dest(input.size());
  const std::uint32_t n = pack_best(input, dest);
  dest.resize(n);
  EXPECT_EQ(dest, pack_best_bytes(input));
  Bytes out(input.size());
  EXPECT_EQ(decode_block(dest, out), input.size());
  EXPECT_EQ(out, input);
}

TEST(BestResults, SmallestInputsAndLongRuns) {
  // 20 zero bytes: width change, zero byte, repeat match of 19, end marker in two words.
  EXPECT_EQ(best_round_trip(Bytes(20, 0), "20 zero bytes").size(), 18u);
  EXPECT_TRUE(pack_best_bytes(Bytes(14, 0)).empty());  // 38 bits do not fit one word
  for (const Bytes& run : {Bytes(70000, 0), Bytes(300000, 0x41)}) {
    const Bytes block = best_round_trip(run, "run");
    ASSERT_FALSE(block.empty());
    EXPECT_LE(block.size(), test::pack_bytes(run, 9).size());
  }
}

}  // namespace
}  // namespace mytarvo
