// The prefix chains against the plain walk, search by search: at every position of inputs
// of many shapes, with windows from 4 to the whole input, with limits down to 3, each index
// width and last distances that make the repeat price count, both must choose the same
// candidate with the same length and gain; and with a bar, both must give that choice when
// it gains more than the bar and no match otherwise.
#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "codec/encoder_harness.hpp"
#include "codec/generated_inputs.hpp"
#include "codec/match_search.hpp"
#include "codec/prefix_chains.hpp"

namespace mytarvo {
namespace {

using codec::MatchChoice;
using test::Bytes;
using test::TestRandom;

// The plain index and the prefix chains over one input, filled side by side.
class BothIndexes {
 public:
  BothIndexes(const Bytes& input, std::uint32_t window)
      : input_(input),
        plain_head_(65536, 0),
        nodes_(static_cast<std::size_t>(codec::node_ring_bytes(window) / sizeof(codec::ChainNode))),
        in_use_(window + 1, 0),
        plain_(input_.data(), size(), window, plain_head_.data(), nodes_.data(), in_use_.data()),
        fast_head_(65536, 0),
        memory_((codec::PrefixChains::bytes_needed(window) + 7) / 8, 0x5A5A5A5A5A5A5A5Aull),
        chains_(input_.data(), size(), window, fast_head_.data(), memory_.data()),
        plain_chooser_(plain_),
        fast_chooser_(plain_, &chains_) {}

  void insert(std::uint32_t position) {
    plain_chooser_.insert(position);
    fast_chooser_.insert(position);
  }
  [[nodiscard]] MatchChoice plain(std::uint32_t p, std::uint32_t limit, std::uint32_t bits, std::uint32_t last,
                                  std::uint32_t bar = 0) const {
    return plain_chooser_.choose_match(p, limit, bits, last, bar);
  }
  [[nodiscard]] MatchChoice fast(std::uint32_t p, std::uint32_t limit, std::uint32_t bits, std::uint32_t last,
                                 std::uint32_t bar = 0) const {
    return fast_chooser_.choose_match(p, limit, bits, last, bar);
  }

 private:
  [[nodiscard]] std::uint32_t size() const { return static_cast<std::uint32_t>(input_.size()); }

  Bytes input_;
  std::vector<std::uint32_t> plain_head_;
  std::vector<codec::ChainNode> nodes_;
  Bytes in_use_;
  codec::MatchIndex plain_;
  std::vector<std::uint32_t> fast_head_;
  std::vector<std::uint64_t> memory_;  // not cleared: the chains must clear what they read
  codec::PrefixChains chains_;
  codec::MatchChooser plain_chooser_;
  codec::MatchChooser fast_chooser_;
};

std::string text(const MatchChoice& c) {
  return std::to_string(c.distance) + "/" + std::to_string(c.length) + " gain " + std::to_string(c.gain);
}

bool same(const MatchChoice& a, const MatchChoice& b) {
  return a.distance == b.distance && a.length == b.length && a.gain == b.gain;
}

// With a bar, both searches must give the full choice when it gains more than the bar and
// no match otherwise: bars just below, at and above the choice's gain, and any other.
void expect_same_above_bars(const BothIndexes& both, const MatchChoice& full, std::uint32_t p, std::uint32_t limit,
                            std::uint32_t bits, std::uint32_t last, TestRandom& rng, const std::string& what) {
  const std::uint32_t bars[] = {1, full.gain > 1 ? full.gain - 1 : 2, full.gain, full.gain + 1,
                                1 + rng.below(8 * limit + 8)};
  for (std::uint32_t bar : bars) {
    if (bar == 0) continue;
    const MatchChoice expected = full.gain > bar ? full : MatchChoice{};
    const MatchChoice a = both.plain(p, limit, bits, last, bar);
    const MatchChoice b = both.fast(p, limit, bits, last, bar);
    ASSERT_TRUE(same(a, expected) && same(b, expected))
        << what << ": position " << p << " limit " << limit << " index bits " << bits << " last " << last << " bar "
        << bar << ": expected " << text(expected) << ", plain " << text(a) << ", fast " << text(b);
  }
}

// Inserts every position and compares the two searches at every `stride`-th one where the
// encoder could search (limit 3 or more), with several limits, index widths, last
// distances and bars.
void expect_same_choices(const Bytes& input, std::uint32_t window, std::uint64_t seed, const std::string& what,
                         std::uint32_t stride = 1) {
  TestRandom rng(seed);
  BothIndexes both(input, window);
  const auto n = static_cast<std::uint32_t>(input.size());
  both.insert(0);
  for (std::uint32_t p = 1; p + 1 < n; ++p) {
    both.insert(p);
    const std::uint32_t room = std::min(window - 1, n - p);
    if (room < 3 || p % stride != 0) continue;
    const std::uint32_t limits[] = {room, 3 + rng.below(room - 2)};
    const MatchChoice first = both.plain(p, room, 8, 1);
    // Last distances: the start's, the first choice's own (its repeat price), one nearer and
    // one farther than it, and any other.
    const std::uint32_t farthest = std::min(p, window - 1);
    const std::uint32_t lasts[] = {1, first.distance == 0 ? 2 : first.distance,
                                   first.distance > 1 ? first.distance - 1 : 3, first.distance + 1,
                                   1 + rng.below(farthest)};
    for (std::uint32_t limit : limits) {
      for (std::uint32_t bits : {8u, 9u, 10u}) {
        for (std::uint32_t last : lasts) {
          const MatchChoice a = both.plain(p, limit, bits, last);
          const MatchChoice b = both.fast(p, limit, bits, last);
          ASSERT_TRUE(same(a, b)) << what << ": position " << p << " limit " << limit << " index bits " << bits
                                  << " last " << last << ": plain " << text(a) << ", fast " << text(b);
          expect_same_above_bars(both, a, p, limit, bits, last, rng, what);
          if (::testing::Test::HasFatalFailure()) return;
        }
      }
    }
  }
}

struct Shape {
  const char* name;
  Bytes (*make)(TestRandom& rng, std::size_t size);
};

Bytes two_letters(TestRandom& rng, std::size_t size) { return test::from_alphabet(rng, size, 2, 'a'); }
Bytes five_letters(TestRandom& rng, std::size_t size) { return test::from_alphabet(rng, size, 5, 'a'); }
Bytes period_seven(TestRandom& rng, std::size_t size) { return test::periodic(rng, size, 7); }
Bytes planted(TestRandom& rng, std::size_t size) {
  return test::planted(rng, size, {1, 2, 3, 8, 16, 127, 128, 639, 700, 1500, 3000});
}

// Names the case in test output.
void PrintTo(const Shape& shape, std::ostream* os) { *os << shape.name; }

class PrefixChainsShape : public ::testing::TestWithParam<Shape> {};

TEST_P(PrefixChainsShape, SameChoiceAsThePlainWalkEverywhere) {
  TestRandom rng(55);
  const Bytes input = GetParam().make(rng, 3000);
  for (std::uint32_t window : {4u, 5u, 17u, 64u, 1024u, 3000u}) {
    expect_same_choices(input, window, window, std::string(GetParam().name) + " window " + std::to_string(window));
  }
}

INSTANTIATE_TEST_SUITE_P(Shapes, PrefixChainsShape,
                         ::testing::Values(Shape{"two_letters", &two_letters}, Shape{"five_letters", &five_letters},
                                           Shape{"words", &test::words}, Shape{"runs", &test::runs},
                                           Shape{"period_seven", &period_seven}, Shape{"planted", &planted}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PrefixChains, FarRepeatsAcrossTheBonusBands) {
  // Equal lengths at distances across 639, 14335 and the index-bits steps, where a farther
  // candidate of the same length can be priced lower than a nearer one.
  TestRandom rng(56);
  const Bytes input = test::far_repeats(rng, 24000, {600, 639, 700, 5000, 14000, 14335, 14400, 20000});
  expect_same_choices(input, 24000, 57, "far repeats", 5);
}

TEST(PrefixChains, ARunAtDistanceOneEndsTheSearchWhateverTheBar) {
  // At the second copy of `stretch` the byte before is 'a', so distance 1 repeats 70 bytes
  // and ends the plain walk at once; the first copy, farther back, repeats 100 bytes and
  // would gain more, but the plain walk never gets there, whatever the bar.
  TestRandom rng(58);
  Bytes stretch(70, 'a');
  for (int i = 0; i < 30; ++i) stretch.push_back(static_cast<std::uint8_t>('0' + rng.below(10)));
  Bytes input = test::from_alphabet(rng, 100, 20, 'A');
  input.insert(input.end(), stretch.begin(), stretch.end());
  const Bytes gap = test::from_alphabet(rng, 100, 20, 'A');
  input.insert(input.end(), gap.begin(), gap.end());
  input.push_back('a');
  const auto p = static_cast<std::uint32_t>(input.size());
  input.insert(input.end(), stretch.begin(), stretch.end());
  const Bytes end = test::from_alphabet(rng, 50, 20, 'A');
  input.insert(input.end(), end.begin(), end.end());

  const auto n = static_cast<std::uint32_t>(input.size());
  BothIndexes both(input, n);
  for (std::uint32_t q = 0; q <= p; ++q) both.insert(q);
  const std::uint32_t limit = n - p;
  const MatchChoice full = both.plain(p, limit, 8, 5);
  ASSERT_EQ(full.distance, 1u);
  ASSERT_EQ(full.length, 70u);
  for (std::uint32_t bar : {1u, full.gain - 1, full.gain, full.gain + 1, full.gain + 100, 8u * limit}) {
    const MatchChoice expected = full.gain > bar ? full : MatchChoice{};
    EXPECT_TRUE(same(both.plain(p, limit, 8, 5, bar), expected)) << "bar " << bar;
    EXPECT_TRUE(same(both.fast(p, limit, 8, 5, bar), expected)) << "bar " << bar;
  }
}

TEST(PrefixChains, MemoryPerWindow) {
  EXPECT_EQ(codec::PrefixChains::bytes_needed(0), 0u);
  EXPECT_EQ(codec::PrefixChains::bytes_needed(65537), 0u);
  EXPECT_EQ(codec::PrefixChains::bytes_needed(0xFFFFFFFFu), 0u);
  // Six hashed levels of 2^15 heads of 4 bytes, seven levels of 65536 links of 2 bytes.
  EXPECT_EQ(codec::PrefixChains::bytes_needed(65536), 6u * 32768u * 4u + 7u * 65536u * 2u);
  // Smaller windows: a ring of the next power of two, at least 2^10 heads per level.
  EXPECT_EQ(codec::PrefixChains::bytes_needed(1000), 6u * 1024u * 4u + 7u * 1024u * 2u);
  EXPECT_EQ(codec::PrefixChains::bytes_needed(5000), 6u * 8192u * 4u + 7u * 8192u * 2u);
}

}  // namespace
}  // namespace mytarvo
