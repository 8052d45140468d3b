// The match index, the chain walk, the cost model and the lookahead choice, tested directly.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "codec/encoder_harness.hpp"
#include "codec/match_search.hpp"
#include "codec/prefix_chains.hpp"
#include "codec/reference_encoder.hpp"

namespace mytarvo {
namespace {

using codec::ChainNode;
using codec::MatchChoice;
using codec::MatchChooser;
using codec::MatchIndex;
using test::Bytes;

Bytes text_bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A match index over `input` with its three areas held by the test, searched the plain way
// or, with `fast`, through the prefix chains (which then share the head table).
struct Index {
  // The window is lowered to the input length, as the encoder does.
  Index(const Bytes& in, std::uint32_t requested_window, bool fast = false)
      : Index(in, std::min<std::uint32_t>(requested_window, static_cast<std::uint32_t>(in.size())), fast, 0) {}
  Index(const Bytes& in, std::uint32_t window, bool fast, int /*clamped*/)
      : input(in),
        head(65536, 0),
        nodes(static_cast<std::size_t>(codec::node_ring_bytes(window) / sizeof(ChainNode))),
        in_use(window + 1, 0),
        index(input.data(), static_cast<std::uint32_t>(input.size()), window, head.data(), nodes.data(),
              in_use.data()),
        chains_memory(fast ? (codec::PrefixChains::bytes_needed(window) + 7) / 8 : 0, 0xA5A5A5A5A5A5A5A5ull),
        chains(make_chains(fast, window)),
        chooser(index, chains ? &*chains : nullptr) {}
  void insert_up_to(std::uint32_t last) {
    for (std::uint32_t p = next; p <= last; ++p) chooser.insert(p);
    next = last + 1;
  }

  Bytes input;
  std::vector<std::uint32_t> head;
  std::vector<ChainNode> nodes;
  Bytes in_use;
  MatchIndex index;
  std::vector<std::uint64_t> chains_memory;  // deliberately not zero: the chains clear what they read
  std::optional<codec::PrefixChains> chains;
  MatchChooser chooser;
  std::uint32_t next = 0;

 private:
  std::optional<codec::PrefixChains> make_chains(bool fast, std::uint32_t window) {
    if (!fast) return std::nullopt;
    return codec::PrefixChains(input.data(), static_cast<std::uint32_t>(input.size()), window, head.data(),
                               chains_memory.data());
  }
};

// Choice tests run with both searches: the plain walk and the prefix chains must agree.
std::string search_name(const ::testing::TestParamInfo<bool>& info) { return info.param ? "Fast" : "Plain"; }

// Every candidate the chain of `p` yields with minimum length 2 and no measuring, nearest first.
std::vector<std::uint32_t> chain_positions(const MatchIndex& index, std::uint32_t p) {
  std::vector<std::uint32_t> out;
  std::uint32_t resume = codec::kNoNode;
  for (;;) {
    const codec::FoundMatch f = index.find_match(p, 2, 3, resume);
    if (!f.found) break;
    out.push_back(p - f.distance);
    resume = f.node;
  }
  return out;
}

// ---- Index --------------------------------------------------------------------------------

// The distance, length and gain expected of a choice, an answer or a recorded decision.
struct Choice {
  std::uint32_t distance, length, gain;
};
template <typename Got>
void expect_choice(const Got& got, const Choice& want) {
  EXPECT_EQ(got.distance, want.distance);
  EXPECT_EQ(got.length, want.length);
  EXPECT_EQ(got.gain, want.gain);
}

TEST(MatchIndex, ChainsHoldExactlyTheLiveWindow) {
  test::TestRandom rng(11);
  for (std::uint32_t window : {1u, 2u, 3u, 5u, 16u, 100u}) {
    Bytes input(3000);
    for (auto& b : input) b = static_cast<std::uint8_t>('a' + rng.below(3));
    Index ix(input, window);
    for (std::uint32_t p = 0; p + 1 < input.size(); ++p) {
      ix.insert_up_to(p);
      std::vector<std::uint32_t> expected;
      for (std::uint32_t q = p; q-- > 0 && q + window > p;) {
        if (input[q] == input[p] && input[q + 1] == input[p + 1]) expected.push_back(q);
      }
      ASSERT_EQ(chain_positions(ix.index, p), expected) << "window " << window << " position " << p;
    }
  }
}

TEST(MatchIndex, DroppingTheOnlyNodeRestartsTheChain) {
  // Key "AB" at 0 and 3. With W = 3, inserting 3 drops 0, the newest (and only) node of the
  // chain 3 joins, so 3 starts a chain of its own; with W = 4 it still finds 0.
  const Bytes input = text_bytes("ABxABz");
  Index small(input, 3);
  small.insert_up_to(3);
  EXPECT_FALSE(small.index.find_match(3, 2, 2, codec::kNoNode).found);
  Index wide(input, 4);
  wide.insert_up_to(3);
  const codec::FoundMatch f = wide.index.find_match(3, 2, 2, codec::kNoNode);
  EXPECT_TRUE(f.found);
  EXPECT_EQ(f.distance, 3u);
}

class WindowForgets : public ::testing::TestWithParam<std::tuple<std::uint32_t, bool>> {};

TEST_P(WindowForgets, PositionZeroOnlyWithinTheWindow) {
  const std::uint32_t p = std::get<0>(GetParam());
  Bytes input(2100, 0x20);
  input[0] = 'Q';
  input[1] = 'R';
  input[p] = 'Q';
  input[p + 1] = 'R';
  Index ix(input, 1024, std::get<1>(GetParam()));
  ix.insert_up_to(p);
  const MatchChoice c = ix.chooser.choose_match(p, 10, 8, 1);
  if (p <= 1023) {
    EXPECT_EQ(c.distance, p);
    EXPECT_EQ(c.length, p == 2 ? 2u : 6u);  // spaces follow both, measured up to limit - 4
  } else {
    EXPECT_EQ(c.length, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Positions, WindowForgets,
                         ::testing::Combine(::testing::Values(2u, 17u, 1000u, 1023u, 1024u, 1025u, 2000u),
                                            ::testing::Bool()));

class Chooser : public ::testing::TestWithParam<bool> {};

// ---- Measuring ----------------------------------------------------------------------------

struct LimitCase {
  std::uint32_t limit;
  std::uint32_t length;
};

// Test names show the case, not the struct's bytes (padding included).
void PrintTo(const LimitCase& c, std::ostream* os) { *os << "limit " << c.limit << ", length " << c.length; }

class EqualBytesChoice : public ::testing::TestWithParam<std::tuple<LimitCase, bool>> {};

TEST_P(EqualBytesChoice, MeasuresInStepsOfFourBelowTheLimit) {
  const LimitCase& limits = std::get<0>(GetParam());
  Index ix(Bytes(200, 0x41), 200, std::get<1>(GetParam()));
  ix.insert_up_to(10);
  const MatchChoice c = ix.chooser.choose_match(10, limits.limit, 8, 1);
  EXPECT_EQ(c.distance, 1u);
  EXPECT_EQ(c.length, limits.length);
  if (limits.length == 98) {
    EXPECT_EQ(c.gain, 774u);  // repeat match: 785 - (size(98) - 1)
  }
}

INSTANTIATE_TEST_SUITE_P(Limits, EqualBytesChoice,
                         ::testing::Combine(::testing::Values(LimitCase{100, 98}, LimitCase{101, 98},
                                                              LimitCase{102, 98}, LimitCase{103, 102},
                                                              LimitCase{4, 2}, LimitCase{5, 2}, LimitCase{6, 2},
                                                              LimitCase{7, 6}, LimitCase{3, 2}),
                                            ::testing::Bool()));

TEST_P(Chooser, LongRunAtDistanceOneEndsTheSearch) {
  // Last distance 2: distance 1 is a long match, distance 2 would be a cheaper repeat.
  Index ix(Bytes(200, 0x41), 200, GetParam());
  ix.insert_up_to(10);
  const MatchChoice stop = ix.chooser.choose_match(10, 100, 8, 2);
  expect_choice(stop, {1u, 98u, 785u - 24u});
  // Shorter than 65: the walk goes on and the repeat wins.
  const MatchChoice on = ix.chooser.choose_match(10, 60, 8, 2);
  expect_choice(on, {2u, 58u, 465u - 9u});
}

// ---- Cost model ---------------------------------------------------------------------------

struct CostCase {
  std::uint32_t distance, length, last_distance, cost, gain;
};

// Test names show the case, not the struct's bytes (padding included).
void PrintTo(const CostCase& c, std::ostream* os) { *os << "distance " << c.distance << ", length " << c.length << ", last " << c.last_distance; }

class CostModel : public ::testing::TestWithParam<CostCase> {};

TEST_P(CostModel, PricesCandidates) {
  const CostCase& c = GetParam();
  EXPECT_EQ(codec::match_cost(c.distance, c.length, 8, c.last_distance), c.cost);
  EXPECT_EQ(codec::match_gain(c.distance, c.length, 8, c.last_distance), c.gain);
}

INSTANTIATE_TEST_SUITE_P(Examples, CostModel,
                         ::testing::Values(CostCase{300, 10, 1, 20, 61}, CostCase{5, 4, 1, 9, 24},
                                           CostCase{100, 6, 1, 14, 35}, CostCase{256, 2, 1, 16, 1},
                                           CostCase{2048, 3, 1, 18, 7}, CostCase{9, 4, 9, 3, 30},
                                           CostCase{1000, 2, 1, 10 + 4 + 0xFFFFF, 0},
                                           CostCase{14335, 3, 1, 10 + 10 + 0xFFFFF, 0},
                                           CostCase{65535, 3, 1, 10 + 16 + 0xFFFFF, 0},
                                           CostCase{14335, 4, 1, 10 + 10 + 2, 11}, CostCase{127, 5, 1, 9, 32},
                                           CostCase{127, 6, 1, 14, 35}, CostCase{128, 2, 1, 14, 3}));

TEST(CostModel, AgreesWithThePlainPricing) {
  for (std::uint32_t ib : {8u, 9u, 10u}) {
    for (std::uint32_t d : {1u, 2u, 5u, 127u, 128u, 255u, 256u, 638u, 639u, 14334u, 14335u, 65535u, 65536u,
                            65537u, 200000u}) {
      for (std::uint32_t len = 2; len < 300; ++len) {
        for (std::uint32_t last : {1u, 5u, 128u}) {
          ASSERT_EQ(codec::match_gain(d, len, ib, last), test::reference::gain_of(d, len, ib, last))
              << d << " " << len << " " << ib << " " << last;
        }
      }
    }
  }
}

// ---- Walk ---------------------------------------------------------------------------------

// Filler that shares no two-byte key with the letters and digits planted in it. Every
// planted string ends in a digit of its own, so no match runs on into the filler.
Bytes filler(std::size_t size) {
  test::TestRandom rng(99);
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(0x80 + rng.below(128));
  return out;
}

void plant(Bytes& buffer, std::size_t at, const std::string& s) { std::copy(s.begin(), s.end(), buffer.begin() + at); }

TEST_P(Chooser, InadmissibleCandidateStillRaisesTheMinimumLength) {
  // At 40000: "XYZ". 20000 back: "XYZ" (long match of 3 at 20000: inadmissible). 30000 back:
  // "XY" only, but at the last distance (a repeat match of 2 would be worth 16 bits).
  Bytes input = filler(40100);
  plant(input, 40000, "XYZ1");
  plant(input, 20000, "XYZ2");
  plant(input, 10000, "XY3");
  Index ix(input, 65536, GetParam());
  ix.insert_up_to(40000);
  EXPECT_EQ(ix.chooser.choose_match(40000, 50, 8, 30000).length, 0u);
  // With only "XY" 20000 back (inadmissible as well, but of length 2), the repeat match of
  // length 2 behind it is found.
  input[20002] = 'q';
  Index other(input, 65536, GetParam());
  other.insert_up_to(40000);
  const MatchChoice c = other.chooser.choose_match(40000, 50, 8, 30000);
  expect_choice(c, {30000u, 2u, 16u});
}

TEST_P(Chooser, EqualGainsKeepTheNearerCandidate) {
  Bytes input = filler(1000);
  plant(input, 900, "KLMNOPQRS1");
  plant(input, 600, "KLMNOPQRS2");  // 300 back, 9 bytes
  plant(input, 500, "KLMNOPQRS3");  // 400 back, 9 bytes, same price
  Index ix(input, 1000, GetParam());
  ix.insert_up_to(900);
  const MatchChoice c = ix.chooser.choose_match(900, 50, 8, 1);
  expect_choice(c, {300u, 9u, codec::match_gain(400, 9, 8, 1)});
}

// ---- Lookahead ----------------------------------------------------------------------------

// Lookahead cases: bytes planted in filler, then DecideStep at `at`. When it codes the byte
// alone, `first` is the pending lookahead and `second` the answer at `at + 1`, which takes it.
struct LookaheadCase {
  const char* what;
  std::uint32_t size, at;
  std::vector<std::pair<std::uint32_t, const char*>> plants;
  bool defers;
  Choice first, second;
};

const LookaheadCase kLookaheadCases[] = {
    // At 300: "AB" 10 back (short match, gain 8). At 301: "BCD" 200 back (long match, gain
    // 11, lowered to 8): not better, the match here is taken.
    {"better by exactly three does not defer", 400, 300, {{300, "ABCD1"}, {290, "AB2"}, {101, "BCD3"}}, false,
     {10, 2, 8}, {}},
    // At 300: "ABCDEFG" 20 back (long match of 7, gain 43). At 301: "BCDEFGHI" 200 back
    // (long match of 8, gain 47, lowered to 44): the byte here is coded alone, and the next
    // position takes the lookahead with its gain raised back by 3.
    {"better by four defers", 400, 300, {{300, "ABCDEFGHI1"}, {280, "ABCDEFG2"}, {101, "BCDEFGHI3"}}, true,
     {200, 8, 44}, {200, 8, 47}},
    // Nothing at 600; at 601 "BC" 300 back: long match of 2, gain 1, kept as 1 and used at
    // the next position with gain 4.
    {"a small lookahead gain is not lowered but is raised", 700, 600, {{600, "ABC1"}, {301, "BC2"}}, true,
     {300, 2, 1}, {300, 2, 4}},
};

void expect_answer(const codec::StepAnswer& a, const Choice& c) {
  EXPECT_TRUE(a.match);
  expect_choice(a, c);
}

TEST_P(Chooser, LookaheadDefersOnlyWhenBetterByMoreThanThree) {
  for (const LookaheadCase& c : kLookaheadCases) {
    SCOPED_TRACE(c.what);
    Bytes input = filler(c.size);
    for (const auto& [at, text] : c.plants) plant(input, at, text);
    Index ix(input, c.size, GetParam());
    ix.insert_up_to(c.at);
    const codec::StepAnswer a = ix.chooser.decide_step(c.at, 50, 8, 1);
    if (!c.defers) {
      expect_answer(a, c.first);
      EXPECT_FALSE(ix.chooser.has_pending());
      continue;
    }
    EXPECT_FALSE(a.match);
    ASSERT_TRUE(ix.chooser.has_pending());
    const MatchChoice pending = ix.chooser.pending();
    EXPECT_EQ(pending.distance, c.first.distance);
    EXPECT_EQ(pending.length, c.first.length);
    EXPECT_EQ(pending.gain, c.first.gain);
    expect_answer(ix.chooser.decide_step(c.at + 1, 49, 8, 1), c.second);
  }
}

// Runs the chooser over `input` in the encoder's calling order (index bits 8, so inputs up
// to 49152 bytes) and records each full step's decision.
std::vector<test::reference::Decision> drive(const Bytes& input, std::uint32_t window, bool fast) {
  Index ix(input, window, fast);
  std::vector<test::reference::Decision> out;
  const auto n = static_cast<std::uint32_t>(input.size());
  std::uint32_t limit = window - 1, last = 1;
  ix.chooser.insert(0);
  ix.chooser.insert(1);
  for (std::uint32_t p = 1; p < n;) {
    limit = std::min(limit, n - p);
    if (limit <= 3) break;
    const codec::StepAnswer a = ix.chooser.decide_step(p, limit, 8, last);
    out.push_back({p, a.match, a.match ? a.distance : ix.chooser.pending().distance,
                   a.match ? a.length : ix.chooser.pending().length, a.gain});
    const std::uint32_t covered = a.match ? a.length : 1;
    if (a.match) last = a.distance;
    for (std::uint32_t q = p + 2; q <= p + covered && q + 1 < n; ++q) ix.chooser.insert(q);
    p += covered;
  }
  return out;
}

TEST_P(Chooser, WalksTheTextExample) {
  const Bytes input = text_bytes("xabyyyyyyybcdefghijzzzzzzabcdefghijklmnopqrstu");
  const auto steps = drive(input, 46, GetParam());
  auto at = [&](std::uint32_t p) {
    return *std::find_if(steps.begin(), steps.end(), [p](const auto& d) { return d.position == p; });
  };
  EXPECT_FALSE(at(3).match);
  EXPECT_TRUE(at(4).match);
  expect_choice(at(4), {1u, 6u, 46u});
  EXPECT_TRUE(at(20).match);
  EXPECT_EQ(at(20).length, 5u);
  EXPECT_EQ(at(20).gain, 38u);
  EXPECT_FALSE(at(25).match);  // its own choice: distance 24, length 2, gain 8
  EXPECT_EQ(at(25).gain, 54u);
  EXPECT_TRUE(at(26).match);
  expect_choice(at(26), {16u, 9u, 57u});

  Index ix(input, 46, GetParam());
  ix.insert_up_to(25);
  const MatchChoice own = ix.chooser.choose_match(25, 21, 8, 1);
  expect_choice(own, {24u, 2u, 8u});

  std::vector<test::reference::Decision> plain;
  static_cast<void>(test::reference::encode(input, 46, 0, &plain));
  EXPECT_EQ(steps, plain);
}

TEST_P(Chooser, DecisionsAgreeWithThePlainEncoder) {
  test::TestRandom rng(21);
  for (int round = 0; round < 40; ++round) {
    Bytes input(500 + rng.below(8000));
    const std::uint32_t alphabet = 2 + rng.below(round % 2 == 0 ? 6 : 60);
    for (auto& b : input) b = static_cast<std::uint8_t>('a' + rng.below(alphabet));
    const std::uint32_t window = std::min<std::uint32_t>(1024u << (round % 4), static_cast<std::uint32_t>(input.size()));
    std::vector<test::reference::Decision> plain;
    static_cast<void>(test::reference::encode(input, window, 0, &plain));
    ASSERT_EQ(drive(input, window, GetParam()), plain) << "round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(Searches, Chooser, ::testing::Bool(), search_name);

}  // namespace
}  // namespace mytarvo
