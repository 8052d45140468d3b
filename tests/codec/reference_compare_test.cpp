// The production encoder against the plain second encoder of reference_encoder.cpp, block
// for block, on generated inputs of many shapes and on the corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "codec/block_encoder.hpp"
#include "codec/encoder_harness.hpp"
#include "codec/generated_inputs.hpp"
#include "codec/reference_encoder.hpp"
#include "codec/token_dump.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

using test::Bytes;
using test::TestRandom;
using test::from_alphabet;
using test::planted;
using test::runs;
using test::shifting_ranges;
using test::words;

// Index of the first differing byte, for readable failures.
std::string first_difference(const Bytes& a, const Bytes& b) {
  const std::size_t n = std::min(a.size(), b.size());
  std::size_t i = 0;
  while (i < n && a[i] == b[i]) ++i;
  return "sizes " + std::to_string(a.size()) + "/" + std::to_string(b.size()) + ", first difference at " +
         std::to_string(i);
}

void expect_same_block(const Bytes& input, std::uint32_t window, const std::string& what) {
  test::EncoderHarness h;
  const Bytes ours = h.run(input, window);
  const Bytes theirs = test::reference::encode(input, window, 0);
  ASSERT_EQ(ours, theirs) << what << ": " << first_difference(ours, theirs);
  if (!ours.empty()) {
    const auto dump = test::dump_block(ours);
    ASSERT_TRUE(dump.ok) << what;
    ASSERT_EQ(dump.bytes, input) << what;
  }
}

// ---- Cases --------------------------------------------------------------------------------

TEST(ReferenceCompare, SmallInputsOfEveryShape) {
  TestRandom rng(1);
  for (int round = 0; round < 150; ++round) {
    const std::size_t size = 10 + rng.below(round < 100 ? 200 : 4000);
    const std::uint32_t window = round % 3 == 0 ? 0 : test::reference::window_for_level(static_cast<std::int32_t>(round % 11));
    Bytes input;
    switch (round % 5) {
      case 0: input = from_alphabet(rng, size, 2 + rng.below(5), static_cast<std::uint8_t>(rng.next())); break;
      case 1: input = runs(rng, size); break;
      case 2: input = words(rng, size); break;
      case 3: input = shifting_ranges(rng, size); break;
      default: input = from_alphabet(rng, size, 256, 0); break;
    }
    expect_same_block(input, window, "round " + std::to_string(round));
  }
}

TEST(ReferenceCompare, EveryShortLength) {
  // The tail steps, the reach of the last full step and the capacity test meet here.
  TestRandom rng(7);
  for (std::uint32_t size = 10; size <= 90; ++size) {
    for (int shape = 0; shape < 6; ++shape) {
      Bytes input;
      switch (shape) {
        case 0: input = Bytes(size, 0x41); break;
        case 1: input = Bytes(size, 0x00); break;
        case 2: input = from_alphabet(rng, size, 2, 'a'); break;
        case 3: input = from_alphabet(rng, size, 3, 0xFD); break;
        case 4: input = runs(rng, size); break;
        default: input = words(rng, size); break;
      }
      expect_same_block(input, 0, "size " + std::to_string(size) + " shape " + std::to_string(shape));
    }
  }
}

TEST(ReferenceCompare, LiteralsOutsideTheAnalysedRange) {
  TestRandom rng(2);
  for (int round = 0; round < 12; ++round) {
    Bytes input = shifting_ranges(rng, 6000 + rng.below(6000));
    expect_same_block(input, 1024, "window 1024, round " + std::to_string(round));
    expect_same_block(input, 65536, "window 65536, round " + std::to_string(round));
  }
  // Text, then 1024 equal bytes far above its range, then more text; and high tail bytes
  // after the last analysis.
  Bytes text = words(rng, 3000);
  Bytes input = text;
  input.insert(input.end(), 1024, 0xE7);
  input.insert(input.end(), text.begin(), text.begin() + 1500);
  input.insert(input.end(), {0xF1, 0xF2, 0xF3});
  expect_same_block(input, 1024, "text, equal stretch, text, high tail");
  expect_same_block(input, 65536, "text, equal stretch, text, high tail, 65536");
  const auto dump = test::dump_block(test::pack_bytes(input, 9));
  ASSERT_TRUE(dump.ok);
  EXPECT_EQ(dump.bytes, input);
}

TEST(ReferenceCompare, PlantedDistancesAcrossEveryBand) {
  TestRandom rng(3);
  const std::vector<std::uint32_t> distances = {1,    2,    5,     7,     14,    15,    127,   128,   129,
                                                255,  256,  638,   639,   640,   1023,  1024,  14334, 14335,
                                                14336, 49151, 49152, 49153, 65535, 65536, 65537, 70000, 100000};
  const Bytes input = planted(rng, 140000, distances);
  for (std::uint32_t window : {65536u, 57344u, 1024u, 0xFFFFFFFFu, 131072u, 100000u}) {
    expect_same_block(input, window, "window " + std::to_string(window));
  }
}

TEST(ReferenceCompare, LengthsAroundTheWindow) {
  TestRandom rng(4);
  for (std::size_t size : {65535u, 65536u, 65537u, 131072u}) {
    const Bytes input = words(rng, size);
    expect_same_block(input, 65536, "words " + std::to_string(size));
    const Bytes r = runs(rng, size);
    expect_same_block(r, 65536, "runs " + std::to_string(size));
  }
}

TEST(ReferenceCompare, EveryPackLevel) {
  TestRandom rng(6);
  Bytes input = words(rng, 30000);
  const Bytes more = planted(rng, 60000, {3, 300, 3000, 30000, 50000, 57000});
  input.insert(input.end(), more.begin(), more.end());
  for (std::int32_t level : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, -1}) {
    const std::uint32_t window = test::reference::window_for_level(level);
    ASSERT_EQ(codec::window_for_level(level), window);
    const Bytes packed = test::pack_bytes(input, level);
    ASSERT_EQ(packed, test::reference::encode(input, window, 0)) << "level " << level;
  }
}

TEST(ReferenceCompare, CorpusAtLevelNine) {
  ASSERT_FALSE(test::corpus_files().empty());
  // The plain encoder is slow; without the thorough set two files stand for the corpus
  // (whose level-9 blocks are pinned by the round-trip tests anyway).
  const std::vector<std::string> quick = {"geo.protodata", "html"};
  for (const std::string& name : MYTARVO_THOROUGH_TESTS != 0 ? test::corpus_files() : quick) {
    const Bytes input = test::read_file(test::corpus_path(name));
    expect_same_block(input, 65536, name);
  }
}

}  // namespace
}  // namespace mytarvo
