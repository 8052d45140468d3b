// The encoder's dealings with its callbacks and its caller: the window it picks, the three
// working blocks it requests and returns, progress reports and aborts, and the destination
// bytes it may touch.
#include <gtest/gtest.h>

#include <string>

#include "codec/block_encoder.hpp"
#include "codec/encoder_harness.hpp"
#include "codec/prefix_chains.hpp"
#include "codec/reference_encoder.hpp"
#include "codec/token_dump.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

using test::Bytes;
using test::EncoderHarness;

Bytes sample_text(std::size_t size) {
  const std::string line = "a window of recent positions, a chain per key, a lookahead of one byte; ";
  Bytes out;
  for (std::size_t i = 0; out.size() < size; ++i) {
    out.insert(out.end(), line.begin(), line.end());
    out.push_back(static_cast<std::uint8_t>('0' + i % 10));
  }
  out.resize(size);
  return out;
}

// Text of random words: many tokens of every kind.
Bytes varied_text(std::size_t size) {
  static const char* const kWords[] = {"key ", "chain ", "window ", "of ", "the ", "lookahead ", "bits\n", "a "};
  test::TestRandom rng(17);
  Bytes out;
  while (out.size() < size) {
    const std::string w = kWords[rng.below(8)];
    out.insert(out.end(), w.begin(), w.end());
    if (rng.below(5) == 0) out.push_back(static_cast<std::uint8_t>('A' + rng.below(26)));
  }
  out.resize(size);
  return out;
}

// The three working blocks, then the fast search's block.
std::string requests_for(std::uint32_t window) {
  return "a262144 a" + std::to_string((window + 1) * 16 + 4096) + " a" + std::to_string(window + 1) + " a" +
         std::to_string(codec::PrefixChains::bytes_needed(window));
}
// The fast search's block first, then table, flags, nodes.
constexpr const char* kReleases = " r3 r0 r2 r1";
constexpr std::size_t kBlocks = 4;  // requests before the first progress report

// ---- Window -------------------------------------------------------------------------------

struct LevelCase {
  std::int32_t level;
  std::uint32_t window;
};

// Test names show the case, not the struct's bytes (padding included).
void PrintTo(const LevelCase& c, std::ostream* os) { *os << "level " << c.level << ", window " << c.window; }

class PackLevel : public ::testing::TestWithParam<LevelCase> {};

TEST_P(PackLevel, SelectsItsWindow) {
  EXPECT_EQ(codec::window_for_level(GetParam().level), GetParam().window);
  EncoderHarness h;
  static_cast<void>(h.run(sample_text(70000), GetParam().window));
  EXPECT_EQ(h.trace(), requests_for(GetParam().window) + kReleases);
}

INSTANTIATE_TEST_SUITE_P(Levels, PackLevel,
                         ::testing::Values(LevelCase{0, 1024}, LevelCase{1, 2048}, LevelCase{2, 4096},
                                           LevelCase{3, 8192}, LevelCase{4, 16384}, LevelCase{5, 32768},
                                           LevelCase{6, 40960}, LevelCase{7, 57344}, LevelCase{8, 65536},
                                           LevelCase{9, 65536}, LevelCase{10, 65536}, LevelCase{-1, 65536},
                                           LevelCase{INT32_MIN, 65536}, LevelCase{INT32_MAX, 65536}));

TEST(EncoderWindow, Clamping) {
  EXPECT_EQ(codec::clamp_window(0, 5000), 1024u);
  EXPECT_EQ(codec::clamp_window(1023, 5000), 1024u);
  EXPECT_EQ(codec::clamp_window(65536, 100), 100u);
  EXPECT_EQ(codec::clamp_window(0, 100), 100u);
  EXPECT_EQ(codec::clamp_window(0xFFFFFFFFu, 0xFFFFFFFFu), 0x0FFFFFFEu);
  EXPECT_EQ(codec::clamp_window(0x0FFFFFFFu, 0x10000000u), 0x0FFFFFFEu);

  EncoderHarness zero;
  static_cast<void>(zero.run(sample_text(5000), 0));
  EXPECT_EQ(zero.trace(), requests_for(1024) + kReleases);
  // An input of 100 bytes gets W = 100 at every level.
  for (std::int32_t level : {0, 7, 9}) {
    EncoderHarness h;
    static_cast<void>(h.run(sample_text(100), codec::window_for_level(level)));
    EXPECT_EQ(h.trace(), requests_for(100) + kReleases) << level;
  }
}

TEST(EncoderWindow, PackMatchesEncodeAtEveryLevel) {
  const Bytes input = sample_text(3000);
  for (std::int32_t level : {0, 7, 8, 9, 10, -1}) {
    EncoderHarness h;
    EXPECT_EQ(test::pack_bytes(input, level), h.run(input, codec::window_for_level(level))) << level;
  }
}

// Callbacks for inputs too large to hold: they record requests like the harness, and grant
// only the first request (the head table).
void* grant_first(std::uint32_t size, void* user) {
  auto& self = *static_cast<EncoderHarness*>(user);
  self.events.push_back({'a', size});
  return self.events.size() == 1 ? std::malloc(size) : nullptr;
}
int release_any(void* block, void* user) {
  static_cast<EncoderHarness*>(user)->events.push_back({'r', 0});
  std::free(block);
  return 1;
}

TEST(EncoderWindow, NodeRingTooLargeForTheSizeArgument) {
  // Only the first 1024 bytes are read before the node ring is requested, so a short buffer
  // can stand for an input of 2^28 bytes here.
  const Bytes head = sample_text(1024);
  Bytes dest(64, 0xEE);
  for (std::uint32_t window : {0xFFFFFFFFu, 268435199u}) {
    EncoderHarness h;
    EXPECT_EQ(codec::encode(head.data(), 0x10000000u, dest.data(), window, &grant_first, &release_any, nullptr, 0, &h),
              0u);
    EXPECT_EQ(h.trace(), "a262144 r0") << window;
  }
  // One window lower, the ring's size (4294967280) still fits and is requested.
  EncoderHarness h;
  EXPECT_EQ(codec::encode(head.data(), 0x10000000u, dest.data(), 268435198u, &grant_first, &release_any, nullptr, 0, &h),
            0u);
  EXPECT_EQ(h.trace(), "a262144 a4294967280 r0");
  for (std::uint8_t b : dest) ASSERT_EQ(b, 0xEE);
}

// ---- Working memory -----------------------------------------------------------------------

TEST(EncoderMemory, FourBlocksRequestedAndReturnedInOrder) {
  EncoderHarness h;
  const Bytes block = h.run(sample_text(100000), 65536);
  ASSERT_FALSE(block.empty());
  // The three blocks of the format's memory rules, then the fast search's: heads of six
  // hashed levels (6 x 32768 x 4 bytes) and links of seven (7 x 65536 x 2 bytes).
  EXPECT_EQ(h.trace(), "a262144 a1052688 a65537 a1703936 r3 r0 r2 r1");
  EXPECT_EQ(262144u + 1052688u + 65537u, 1380369u);
  EXPECT_EQ(codec::PrefixChains::bytes_needed(65536), 6u * 32768u * 4u + 7u * 65536u * 2u);
}

TEST(EncoderMemory, RefusedFastSearchBlockChangesNothing) {
  for (const Bytes& input : {sample_text(100000), varied_text(30000)}) {
    const auto window = static_cast<std::uint32_t>(std::min<std::size_t>(input.size(), 65536));
    EncoderHarness fast;
    const Bytes expected = fast.run(input, 65536);
    ASSERT_FALSE(expected.empty());
    EncoderHarness plain;
    plain.refuse_request = 3;
    EXPECT_EQ(plain.run(input, 65536), expected);
    EXPECT_EQ(plain.trace(), requests_for(window) + " r0 r2 r1");  // only the three go back
  }
}

TEST(EncoderMemory, WindowsAboveTheFastSearchsRangeAskForThreeBlocks) {
  // A window above 65536 is searched the plain way; no fourth block is requested.
  EXPECT_EQ(codec::PrefixChains::bytes_needed(65537), 0u);
  EncoderHarness h;
  const Bytes block = h.run(sample_text(70000), 0xFFFFFFFFu);
  ASSERT_FALSE(block.empty());
  EXPECT_EQ(h.trace(), "a262144 a1124112 a70001 r0 r2 r1");
}

class RefusedRequest : public ::testing::TestWithParam<int> {};

TEST_P(RefusedRequest, ReleasesWhatWasObtained) {
  EncoderHarness h;
  h.refuse_request = GetParam();
  EXPECT_TRUE(h.run(sample_text(5000), 65536).empty());
  EXPECT_EQ(h.result, 0u);
  const char* expected[] = {"a262144", "a262144 a84112 r0", "a262144 a84112 a5001 r0 r1"};
  EXPECT_EQ(h.trace(), expected[GetParam()]);
  for (std::size_t i = 5000; i < h.dest.size(); ++i) ASSERT_EQ(h.dest[i], 0xEE);
}

INSTANTIATE_TEST_SUITE_P(Requests, RefusedRequest, ::testing::Values(0, 1, 2));

// Blocks full of 0xA5 give the same block as zero-filled ones, for the fast search and
// for the plain one (the fourth block refused, or a window it does not serve).
TEST(EncoderMemory, BlocksAreClearedByTheEncoder) {
  struct Case {
    std::uint32_t window;
    int refuse_request;  // -1: none
  };
  const Case cases[] = {{65536, -1}, {65536, 3}, {1024, -1}, {1024, 3}, {0xFFFFFFFFu, -1}};
  for (const Bytes& input : {sample_text(20000), varied_text(70000)}) {
    for (const Case& c : cases) {
      EncoderHarness clean;
      EncoderHarness dirty;
      dirty.dirty_blocks = true;
      clean.refuse_request = dirty.refuse_request = c.refuse_request;
      const Bytes expected = clean.run(input, c.window);
      ASSERT_FALSE(expected.empty());
      EXPECT_EQ(dirty.run(input, c.window), expected) << input.size() << " " << c.window << " " << c.refuse_request;
    }
  }
}

TEST(EncoderMemory, NothingForNullArgumentsOrEmptyInput) {
  Bytes input = sample_text(100);
  Bytes dest(100);
  EXPECT_EQ(codec::pack(nullptr, dest.data(), 100, 9), 0u);
  EXPECT_EQ(codec::pack(input.data(), nullptr, 100, 9), 0u);
  EXPECT_EQ(codec::pack(input.data(), dest.data(), 0, 9), 0u);
  EncoderHarness h;
  EXPECT_TRUE(h.run(Bytes{}, 65536).empty());
  EXPECT_EQ(h.trace(), "");
}

// ---- Progress -----------------------------------------------------------------------------

// Start position and bytes stored after each main-loop token of a block (all but the
// literal-width and index-bits changes, the first byte and the end marker).
std::vector<std::pair<std::uint32_t, std::uint32_t>> main_loop_tokens(const Bytes& block) {
  const auto dump = test::dump_block(block);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
  bool first = true;
  for (const auto& t : dump.tokens) {
    if (t.kind == test::Token::Width || t.kind == test::Token::IndexBits || t.kind == test::Token::End) continue;
    if (first) {
      first = false;
      continue;
    }
    out.emplace_back(t.position, 10 + 4 * (t.bit_end / 32));
  }
  return out;
}

TEST(EncoderProgress, ReportsEveryNinetySixthTokenAndAtTheEnd) {
  const Bytes input = varied_text(60000);
  EncoderHarness h;
  h.with_progress = true;
  const Bytes block = h.run(input, 65536);
  ASSERT_FALSE(block.empty());
  EncoderHarness quiet;
  EXPECT_EQ(quiet.run(input, 65536), block);  // reports change nothing in the block

  const auto tokens = main_loop_tokens(block);
  ASSERT_GT(tokens.size(), 1000u);
  std::string expected = requests_for(60000);
  for (std::size_t i = 95; i < tokens.size(); i += 96) expected += " p" + std::to_string(tokens[i].first);
  expected += " p60000";
  expected += kReleases;
  EXPECT_EQ(h.trace(), expected);

  std::size_t report = 0;
  for (std::size_t i = 95; i < tokens.size(); i += 96, ++report) {
    ASSERT_EQ(h.events[kBlocks + report].extra, tokens[i].second) << i;
  }
  // The last report comes before the end marker is written.
  EXPECT_EQ(h.events[kBlocks + report].extra, tokens.back().second);
}

TEST(EncoderProgress, AbortAtTheFirstReport) {
  const Bytes input = varied_text(60000);
  EncoderHarness h;
  h.with_progress = true;
  h.abort_at_report = 0;
  EXPECT_TRUE(h.run(input, 65536).empty());
  EncoderHarness quiet;
  const auto tokens = main_loop_tokens(quiet.run(input, 65536));
  ASSERT_GT(tokens.size(), 96u);
  EXPECT_EQ(h.trace(), requests_for(60000) + " p" + std::to_string(tokens[95].first) + kReleases);
}

TEST(EncoderProgress, AbortAtTheFinalReportIsIgnored) {
  const Bytes input = sample_text(200);  // fewer than 96 tokens: only the final report
  EncoderHarness h;
  h.with_progress = true;
  h.abort_at_report = 0;
  const Bytes block = h.run(input, 65536);
  ASSERT_FALSE(block.empty());
  ASSERT_EQ(h.events.size(), 2 * kBlocks + 1);
  EXPECT_EQ(h.events[kBlocks].kind, 'p');
  EXPECT_EQ(h.events[kBlocks].value, 200u);
}

TEST(EncoderProgress, CapacityFailureComesBeforeTheReport) {
  test::TestRandom rng(8);
  Bytes noise(3000);
  for (auto& b : noise) b = static_cast<std::uint8_t>(rng.next());
  EncoderHarness h;
  h.with_progress = true;
  EXPECT_TRUE(h.run(noise, 65536).empty());
  // Reports up to the token whose word would pass the input's length, none for the end.
  ASSERT_GE(h.events.size(), 2 * kBlocks);
  for (std::size_t i = kBlocks; i + kBlocks < h.events.size(); ++i) {
    EXPECT_EQ(h.events[i].kind, 'p');
    EXPECT_LT(h.events[i].value, 3000u);
    EXPECT_LE(h.events[i].extra, 3000u);
  }
  for (std::size_t i = 3000; i < h.dest.size(); ++i) ASSERT_EQ(h.dest[i], 0xEE);
}

}  // namespace
}  // namespace mytarvo
