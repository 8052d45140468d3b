// The encoder against its frozen baseline (baseline_encoder.hpp), byte for byte: whatever
// is done to make the encoder faster, every block must stay exactly as it was. Inputs of
// many shapes and sizes at every pack level, with and without the optional acceleration
// memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>

#include "codec/baseline_encoder.hpp"
#include "codec/block_encoder.hpp"
#include "codec/encoder_harness.hpp"
#include "codec/generated_inputs.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

using test::Bytes;
using test::TestRandom;

constexpr bool kThorough = MYTARVO_THOROUGH_TESTS != 0;
constexpr std::int32_t kEveryLevel[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

void* plain_allocate(std::uint32_t size, void* /*user*/) { return std::calloc(1, size == 0 ? 1 : size); }
int plain_release(void* block, void* /*user*/) {
  std::free(block);
  return 1;
}

Bytes baseline_block(const Bytes& input, std::uint32_t window) {
  Bytes dest(input.size(), 0);
  const std::uint32_t size = test::baseline::encode(input.data(), static_cast<std::uint32_t>(input.size()),
                                                    dest.data(), window, &plain_allocate, &plain_release, nullptr, 0);
  return test::take(dest, size);
}

std::string first_difference(const Bytes& a, const Bytes& b) {
  const auto diff = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return "sizes " + std::to_string(a.size()) + "/" + std::to_string(b.size()) + ", first difference at byte " +
         std::to_string(diff.first - a.begin());
}

// Both ways the encoder can run (with its acceleration memory, and with that memory
// refused) give the baseline's block.
void expect_baseline_block(const Bytes& input, std::uint32_t window, const std::string& what) {
  const Bytes expected = baseline_block(input, window);
  test::EncoderHarness fast;
  const Bytes ours = fast.run(input, window);
  ASSERT_EQ(ours, expected) << what << ": " << first_difference(ours, expected);
  test::EncoderHarness plain;
  plain.refuse_request = 3;  // the first request after the three blocks
  const Bytes fallback = plain.run(input, window);
  ASSERT_EQ(fallback, expected) << what << " without acceleration memory: " << first_difference(fallback, expected);
}

void expect_at_levels(const Bytes& input, std::initializer_list<std::int32_t> levels, const std::string& what) {
  for (std::int32_t level : levels) {
    expect_baseline_block(input, codec::window_for_level(level), what + " at level " + std::to_string(level));
  }
}

// ---- Shapes at every level ----------------------------------------------------------------

struct Shape {
  const char* name;
  Bytes (*make)(TestRandom& rng, std::size_t size);
};

// Names the case in test output.
void PrintTo(const Shape& shape, std::ostream* os) { *os << shape.name; }

Bytes noise(TestRandom& rng, std::size_t size) { return test::from_alphabet(rng, size, 256, 0); }
Bytes two_letters(TestRandom& rng, std::size_t size) { return test::from_alphabet(rng, size, 2, 'a'); }
Bytes four_letters(TestRandom& rng, std::size_t size) { return test::from_alphabet(rng, size, 4, 0xFE); }
Bytes sixteen_letters(TestRandom& rng, std::size_t size) { return test::from_alphabet(rng, size, 16, 'A'); }
Bytes period_three(TestRandom& rng, std::size_t size) { return test::periodic(rng, size, 3); }
Bytes near_and_far(TestRandom& rng, std::size_t size) {
  return test::planted(rng, size, {1, 2, 4, 9, 127, 128, 639, 4000, 14335, 30000});
}

class EveryShape : public ::testing::TestWithParam<Shape> {};

TEST_P(EveryShape, SameBlocksAtEveryLevel) {
  TestRandom rng(101);
  const std::size_t size = kThorough ? 60000 : 30000;  // 60000: past the index-bits step at 49152
  const Bytes input = GetParam().make(rng, size);
  for (std::int32_t level : kEveryLevel) {
    expect_baseline_block(input, codec::window_for_level(level), std::string(GetParam().name) + " at level " +
                                                                     std::to_string(level));
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, EveryShape,
                         ::testing::Values(Shape{"noise", &noise}, Shape{"two_letters", &two_letters},
                                           Shape{"four_letters", &four_letters},
                                           Shape{"sixteen_letters", &sixteen_letters}, Shape{"runs", &test::runs},
                                           Shape{"words", &test::words},
                                           Shape{"shifting_ranges", &test::shifting_ranges},
                                           Shape{"period_three", &period_three},
                                           Shape{"near_and_far", &near_and_far}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Sizes --------------------------------------------------------------------------------

TEST(BaselineCompare, SmallInputsOfEverySize) {
  TestRandom rng(102);
  for (std::uint32_t size = 10; size <= 400; size += (size < 100 ? 1 : 7)) {
    const Shape shapes[] = {{"words", &test::words}, {"runs", &test::runs}, {"two", &two_letters}};
    for (const Shape& shape : shapes) {
      const Bytes input = shape.make(rng, size);
      expect_baseline_block(input, 65536, std::string(shape.name) + " of " + std::to_string(size));
      expect_baseline_block(input, 0, std::string(shape.name) + " of " + std::to_string(size) + ", window 0");
    }
  }
}

TEST(BaselineCompare, SizesAroundTheWindow) {
  TestRandom rng(103);
  std::vector<std::size_t> sizes = {65535, 65536, 65537, 131072};
  if (kThorough) sizes.insert(sizes.end(), {131071, 131073});
  for (std::size_t size : sizes) {
    expect_at_levels(test::words(rng, size), {9, 7}, "words of " + std::to_string(size));
    expect_at_levels(test::runs(rng, size), {9}, "runs of " + std::to_string(size));
    expect_at_levels(sixteen_letters(rng, size), {9}, "sixteen letters of " + std::to_string(size));
  }
}

// ---- Far repeats and long periods ---------------------------------------------------------

TEST(BaselineCompare, RepeatsFromBeyondTheIndexBitsStepsAndTheWindow) {
  TestRandom rng(104);
  const std::vector<std::uint32_t> distances = {49151, 49152, 49153, 65535, 65536, 65537, 70000, 100000};
  const Bytes input = test::far_repeats(rng, kThorough ? 200000 : 140000, distances);
  expect_at_levels(input, {9, 7, 6}, "far repeats");
  // A window as large as the input: index bits 10 and distances of 65536 and more.
  expect_baseline_block(input, 0xFFFFFFFFu, "far repeats, window of the whole input");
  expect_baseline_block(input, 100000, "far repeats, window 100000");
}

TEST(BaselineCompare, PeriodicDataWithEquallyLongCandidates) {
  TestRandom rng(105);
  for (std::uint32_t period : {1u, 2u, 3u, 4u, 5u, 8u, 13u, 64u, 300u}) {
    const Bytes input = test::periodic(rng, kThorough ? 40000 : 12000, period);
    expect_at_levels(input, {9, 0}, "period " + std::to_string(period));
  }
}

TEST(BaselineCompare, CorpusAtOtherLevels) {
  // Level 9 is pinned by the round-trip tests; the smaller windows are compared here.
  const std::vector<std::string> quick = {"html", "geo.protodata"};
  for (const std::string& name : kThorough ? test::corpus_files() : quick) {
    const Bytes input = test::read_file(test::corpus_path(name));
    expect_at_levels(input, {0, 6}, name);
  }
}

}  // namespace
}  // namespace mytarvo
