// Packing and decoding back: the corpus at every pack level (its level-9 blocks pinned by
// size and CRC-32, so that any change in the encoder's output shows up here), generated
// data of many shapes, lengths around the window, and bytes outside the analysed literal
// range.
#include <gtest/gtest.h>

#include <string>

#include "codec/block_decoder.hpp"
#include "codec/block_encoder.hpp"
#include "codec/encoder_harness.hpp"
#include "codec/token_dump.hpp"
#include "support/test_support.hpp"

namespace mytarvo {
namespace {

using test::Bytes;
using test::TestRandom;

constexpr bool kThorough = MYTARVO_THOROUGH_TESTS != 0;

// Decodes `block` into a buffer of exactly the input's size.
Bytes decoded(const Bytes& block, std::size_t size) {
  Bytes out(size, 0);
  const std::uint32_t n = codec::decode(block.data(), block.size(), out.data(), out.size());
  out.resize(n);
  return out;
}

// Packs at `level`, checks the form of the result and that it decodes back; returns the block.
Bytes round_trip(const Bytes& input, std::int32_t level, const std::string& what) {
  const Bytes block = test::pack_bytes(input, level);
  if (block.empty()) return block;
  EXPECT_LE(block.size(), input.size()) << what;
  EXPECT_EQ((block.size() - 10) % 4, 0u) << what;
  EXPECT_TRUE(decoded(block, input.size()) == input) << what << " does not decode back";
  return block;
}

// ---- Corpus -------------------------------------------------------------------------------

struct PinnedBlock {
  const char* name;
  std::uint32_t size;  // 0: the file does not pack below its length
  std::uint32_t crc;
};

// Level-9 blocks of the corpus files. Later work on the encoder must keep each identical.
constexpr PinnedBlock kLevelNine[] = {
    {"alice29.txt", 59674, 0x74024DE8},
    {"asyoulik.txt", 54142, 0xFF1EAF5D},
    {"fireworks.jpeg", 0, 0x00000000},
    {"geo.protodata", 13790, 0x3B9E85F1},
    {"html", 13942, 0xD987E50E},
    {"html_x_4", 53422, 0xFB20B97C},
    {"kppkn.gtb", 43282, 0xD2A13AAC},
    {"lcet10.txt", 156778, 0xF926CEAC},
    {"paper-100k.pdf", 87414, 0x0635B649},
    {"plrabn12.txt", 218578, 0x77262BA1},
    {"urls.10K", 218290, 0xC06D6DD3},
};

TEST(CorpusRoundTrip, LevelNineBlocksArePinned) {
  ASSERT_EQ(test::corpus_files().size(), std::size(kLevelNine));
  for (const PinnedBlock& pin : kLevelNine) {
    const Bytes input = test::read_file(test::corpus_path(pin.name));
    const Bytes block = round_trip(input, 9, pin.name);
    EXPECT_EQ(block.size(), pin.size) << pin.name;
    EXPECT_EQ(block.empty() ? 0u : test::crc32(block), pin.crc) << pin.name;
  }
}

TEST(CorpusRoundTrip, EveryLevel) {
  // Without the thorough set, the quicker files stand for the rest.
  const std::vector<std::string> quick = {"fireworks.jpeg", "geo.protodata", "html", "paper-100k.pdf"};
  const std::vector<std::string> names = kThorough ? test::corpus_files() : quick;
  for (const std::string& name : names) {
    const Bytes input = test::read_file(test::corpus_path(name));
    for (std::int32_t level = 0; level <= 8; ++level) {
      static_cast<void>(round_trip(input, level, name + " at level " + std::to_string(level)));
    }
  }
}

// ---- Generated data -----------------------------------------------------------------------

Bytes skewed_random(TestRandom& rng, std::size_t size) {
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng.below(16) == 0 ? rng.next() : 'a' + rng.below(16));
  return out;
}

TEST(GeneratedRoundTrip, RandomDataOfManySizes) {
  TestRandom rng(31);
  for (std::size_t size : {14u, 15u, 17u, 31u, 64u, 100u, 1000u, 1023u, 1024u, 1025u, 4096u, 50000u}) {
    for (std::int32_t level : {0, 9}) {
      const Bytes input = skewed_random(rng, size);
      static_cast<void>(round_trip(input, level, "skewed " + std::to_string(size)));
      Bytes noise(size);
      for (auto& b : noise) b = static_cast<std::uint8_t>(rng.next());
      EXPECT_TRUE(test::pack_bytes(noise, level).empty()) << size;  // noise does not pack
    }
  }
}

TEST(GeneratedRoundTrip, LongRuns) {
  TestRandom rng(32);
  Bytes runs;
  while (runs.size() < 300000) runs.insert(runs.end(), 1 + rng.below(5000), static_cast<std::uint8_t>(rng.next()));
  for (std::int32_t level : {0, 5, 9}) {
    EXPECT_FALSE(round_trip(runs, level, "runs").empty());
    EXPECT_FALSE(round_trip(Bytes(200000, 0x41), level, "one run").empty());
  }
}

TEST(GeneratedRoundTrip, LengthsAroundTheWindow) {
  TestRandom rng(33);
  for (std::size_t size : {65535u, 65536u, 65537u, 131072u, 200001u}) {
    const Bytes input = skewed_random(rng, size);
    EXPECT_FALSE(round_trip(input, 9, "skewed " + std::to_string(size)).empty());
    // Repeats from beyond the window of 65536 cannot be used; from within it they can.
    Bytes twice = skewed_random(rng, size / 2);
    const Bytes copy = twice;
    twice.insert(twice.end(), copy.begin(), copy.end());
    EXPECT_FALSE(round_trip(twice, 9, "twice " + std::to_string(size)).empty());
  }
}

TEST(GeneratedRoundTrip, PackingIsDeterministic) {
  TestRandom rng(34);
  const Bytes input = skewed_random(rng, 70000);
  EXPECT_EQ(test::pack_bytes(input, 9), test::pack_bytes(input, 9));
}

// ---- Bytes outside the analysed literal range ---------------------------------------------

Bytes text(TestRandom& rng, std::size_t size) {
  static const char* const kWords[] = {"stream ", "word ", "range ", "of ", "literal ", "base\n", "the "};
  Bytes out;
  while (out.size() < size) {
    const std::string w = kWords[rng.below(7)];
    out.insert(out.end(), w.begin(), w.end());
  }
  out.resize(size);
  return out;
}

TEST(OutOfRangeLiterals, TailAfterTheLastAnalysisSwitchesToWidthEight) {
  // A repeat reaching from 2000 to 3500 jumps past every further analysis; the three high
  // bytes after it are tail steps outside the range chosen for the text.
  TestRandom rng(41);
  Bytes input = text(rng, 2000);
  const Bytes head(input.begin(), input.begin() + 1500);
  input.insert(input.end(), head.begin(), head.end());
  input.insert(input.end(), {0xF0, 0xF1, 0xF2});
  const Bytes block = round_trip(input, 9, "tail");
  ASSERT_FALSE(block.empty());
  const auto dump = test::dump_block(block);
  ASSERT_TRUE(dump.ok);
  std::vector<std::string> last;
  for (std::size_t i = dump.tokens.size() - 5; i < dump.tokens.size(); ++i) {
    last.push_back(dump.tokens[i].text() + "@" + std::to_string(dump.tokens[i].position));
  }
  EXPECT_EQ(last, (std::vector<std::string>{"width 8 0@3500", "lit 240@3500", "lit 241@3501", "lit 242@3502",
                                            "end@3503"}));
  EXPECT_EQ(dump.tokens.front().text(), "width 7 10");  // from "\n" (0x0A) to "w" (0x77)
}

TEST(OutOfRangeLiterals, EqualStretchesAndShortWindows) {
  TestRandom rng(42);
  for (int round = 0; round < 6; ++round) {
    Bytes input;
    while (input.size() < 20000) {
      const Bytes t = text(rng, 300 + rng.below(3000));
      input.insert(input.end(), t.begin(), t.end());
      input.insert(input.end(), 1024 + rng.below(40), static_cast<std::uint8_t>(0x90 + rng.below(0x70)));
      for (int i = 0; i < 5; ++i) input.push_back(static_cast<std::uint8_t>(0x80 + rng.below(0x80)));
    }
    for (std::int32_t level : {0, 1, 9}) {
      EXPECT_FALSE(round_trip(input, level, "round " + std::to_string(round)).empty());
    }
  }
}

TEST(OutOfRangeLiterals, LastByteOfEachPeriodWithTheSmallestWindow) {
  // With W = 1024 an analysis covers at most 1023 bytes; here the byte after each such
  // stretch is a new high value.
  TestRandom rng(43);
  Bytes input;
  for (int period = 0; period < 20; ++period) {
    const Bytes t = text(rng, 1023);
    input.insert(input.end(), t.begin(), t.end());
    input.push_back(static_cast<std::uint8_t>(0x80 + period));
  }
  const Bytes block = round_trip(input, 0, "periods");
  ASSERT_FALSE(block.empty());
  const auto dump = test::dump_block(block);
  std::size_t widenings = 0;
  for (const auto& t : dump.tokens) {
    if (t.kind == test::Token::Width && t.a == 8) ++widenings;
  }
  EXPECT_GT(widenings, 0u);
}

}  // namespace
}  // namespace mytarvo
