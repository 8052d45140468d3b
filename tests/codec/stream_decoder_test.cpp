// The streaming decoder against the one-shot decoder: corpus files, generated data and
// random token streams fed in random small pieces and read through tiny buffers must give
// the same bytes; damaged, truncated and random blocks the same verdict; the history
// window stays within its bound; refused memory stops the decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "codec/block_decoder.hpp"
#include "codec/generated_inputs.hpp"
#include "codec/packed_block.hpp"
#include "mytarvo/codec.hpp"
#include "support/test_support.hpp"
#include "token_writer.hpp"

namespace mytarvo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::TokenWriter;

// What a decoder made of a block: accepted or not, and the bytes it gave.
struct Verdict {
  bool accepted;
  Bytes bytes;
};

// The one-shot decoder into a zero-filled buffer of the block's unpacked size.
Verdict one_shot(const Bytes& block) {
  Bytes out(std::max<std::size_t>(1, codec::unpacked_size(block.data(), block.size())), 0);
  const std::size_t capacity = codec::unpacked_size(block.data(), block.size());
  bool accepted = false;
  const std::uint32_t n = codec::decode(block.data(), block.size(), out.data(), capacity, nullptr, &accepted);
  out.resize(n);
  return {accepted, out};
}

// How the streaming decoder is driven: the largest input piece and output buffer (each
// call picks a size from 1 up to it), and the history limit.
struct Feeding {
  std::size_t max_piece;
  std::size_t max_read;
  std::uint32_t history_limit = 0;
};

struct Streamed {
  Verdict verdict;
  StreamStatus status;
  std::size_t largest_history;  // the largest history_capacity() seen
};

Streamed stream(const Bytes& block, const Feeding& how, std::mt19937& rng) {
  StreamDecoderOptions options;
  options.history_limit = how.history_limit;
  BlockStreamDecoder decoder(options);
  Streamed result{{false, {}}, StreamStatus::Ok, 0};
  Bytes buffer(how.max_read);
  std::size_t fed = 0;
  auto pick = [&](std::size_t most) { return std::uniform_int_distribution<std::size_t>(1, most)(rng); };
  // Every call either hands out bytes, takes input or ends; the bound only catches a stall.
  for (std::size_t calls = 0; calls < 64 * (block.size() + 4096) + 8 * (1u << 24) / how.max_read; ++calls) {
    const std::size_t n = decoder.read(buffer.data(), pick(how.max_read));
    result.verdict.bytes.insert(result.verdict.bytes.end(), buffer.begin(), buffer.begin() + n);
    result.largest_history = std::max(result.largest_history, decoder.history_capacity());
    if (n > 0) continue;
    result.status = decoder.status();
    if (result.status != StreamStatus::NeedsInput) break;
    if (fed == block.size()) {
      decoder.end_input();
      continue;
    }
    const std::size_t piece = std::min(pick(how.max_piece), block.size() - fed);
    EXPECT_TRUE(decoder.feed(block.data() + fed, piece));
    fed += piece;
  }
  EXPECT_NE(result.status, StreamStatus::Ok) << "the decoder stalled";
  result.verdict.accepted = result.status == StreamStatus::Done;
  if (result.verdict.accepted) {
    EXPECT_EQ(decoder.unpacked_size(), codec::unpacked_size(block.data(), block.size()));
  }
  return result;
}

// Streams `block` and checks it against the one-shot decoder: same verdict, and when
// accepted the same bytes.
Streamed expect_same(const Bytes& block, const Feeding& how, std::mt19937& rng, const std::string& what) {
  const Verdict want = one_shot(block);
  Streamed got = stream(block, how, rng);
  EXPECT_EQ(got.verdict.accepted, want.accepted) << what;
  if (want.accepted && got.verdict.accepted) {
    EXPECT_TRUE(got.verdict.bytes == want.bytes) << what << ": " << got.verdict.bytes.size() << " bytes, want "
                                                 << want.bytes.size();
  }
  return got;
}

const Feeding kFeedings[] = {
    {1, 1}, {3, 7}, {17, 5}, {64, 1000}, {1000, 3}, {4096, 65536}, {1 << 20, 1 << 20},
};

Bytes pack9(const Bytes& input) { return test::pack_bytes(input, 9); }

TEST(StreamDecoder, CorpusFilesMatchTheOneShotDecoder) {
  const auto files = test::corpus_files();
  ASSERT_FALSE(files.empty()) << "no corpus";
  std::mt19937 rng(11);
  for (const auto& name : files) {
    const Bytes input = test::read_file(test::corpus_path(name));
    const Bytes block = pack9(input);
    if (block.empty()) continue;
    // Tiny pieces cost a call per byte: every file gets the coarse feedings, one the rest.
    for (const Feeding& how : kFeedings) {
      if (how.max_piece < 64 && name != "html") continue;
      const Streamed got = expect_same(block, how, rng, name);
      EXPECT_EQ(got.status, StreamStatus::Done) << name;
      EXPECT_TRUE(got.verdict.bytes == input) << name;
    }
  }
}

TEST(StreamDecoder, GeneratedDataMatchesTheOneShotDecoder) {
  test::TestRandom data_rng(3);
  std::mt19937 rng(12);
  const std::vector<std::pair<std::string, Bytes>> inputs = {
      {"runs", test::runs(data_rng, 200000)},
      {"words", test::words(data_rng, 150000)},
      {"planted", test::planted(data_rng, 100000, {1, 2, 3, 8, 300, 5000, 40000})},
      {"shifting", test::shifting_ranges(data_rng, 80000)},
      {"periodic", test::periodic(data_rng, 120000, 7)},
      {"far", test::far_repeats(data_rng, 200000, {49152, 65535})},
      {"small", test::runs(data_rng, 300)},
  };
  for (const auto& [name, input] : inputs) {
    const Bytes block = pack9(input);
    ASSERT_FALSE(block.empty()) << name;
    for (const Feeding& how : {Feeding{5, 3}, Feeding{300, 100}, Feeding{1 << 16, 1 << 14}}) {
      const Streamed got = expect_same(block, how, rng, name);
      EXPECT_TRUE(got.verdict.bytes == input) << name;
    }
  }
}

// Streams of every token kind, with copies much longer than the window's room, raw runs
// of several chunks and far distances, so that copies and runs cross window slides.
TEST(StreamDecoder, TokenStreamsWithLongCopiesAndRawRuns) {
  std::mt19937 rng(13);
  for (int round = 0; round < 40; ++round) {
    TokenWriter w(1u << 22);
    w.width8();
    for (int i = 0; i < 200; ++i) w.literal(static_cast<std::uint8_t>(rng()));
    for (int t = 0; t < 60; ++t) {
      const std::uint32_t produced = w.size();
      switch (rng() % 6) {
        case 0: w.repeat(2 + rng() % 200000); break;  // up to three times the run room
        case 1: w.long_match(1 + rng() % produced, 6 + rng() % 70000); break;
        case 2: w.raw_run(Bytes(256 * (1 + rng() % 5), static_cast<std::uint8_t>(rng()))); break;
        case 3: w.short_match(1 + rng() % std::min<std::uint32_t>(127, produced), 2 + rng() % 4); break;
        case 4: w.index_bits(1 + rng() % 31); break;
        default: {
          const auto base = static_cast<std::uint8_t>(rng());
          w.width7(base).literal(static_cast<std::uint8_t>(base + rng() % 128)).width8();
        }
      }
    }
    w.end();
    const Bytes block = round % 2 ? w.block() : w.block_with(w.size(), 0);
    const Feeding how = round % 3 == 0 ? Feeding{7, 13} : Feeding{2000, 70000};
    const Streamed got = expect_same(block, how, rng, "round " + std::to_string(round));
    EXPECT_EQ(got.status, StreamStatus::Done);
    EXPECT_TRUE(got.verdict.bytes == w.expected()) << round;
  }
}

// Damaged blocks: every truncation, bit flips, wrong checksums and sizes, random bits.
TEST(StreamDecoder, DamagedBlocksGetTheOneShotVerdict) {
  std::mt19937 rng(14);
  test::TestRandom data_rng(5);
  const Bytes block = pack9(test::words(data_rng, 3000));
  ASSERT_FALSE(block.empty());
  for (std::size_t size = 0; size < block.size(); ++size) {
    expect_same(Bytes(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size)), {9, 5}, rng,
                "truncated to " + std::to_string(size));
  }
  for (int flip = 0; flip < 400; ++flip) {
    Bytes damaged = block;
    const std::size_t bit = std::uniform_int_distribution<std::size_t>(0, block.size() * 8 - 1)(rng);
    damaged[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
    expect_same(damaged, {1 + rng() % 40, 1 + rng() % 40}, rng, "bit " + std::to_string(bit));
  }
  for (std::uint32_t size : {0u, 1u, 3u, 4u, 2999u, 3001u, 100000u}) {
    Bytes resized = block;
    codec::store_le32(resized.data() + codec::kUnpackedSizeOffset, size);
    expect_same(resized, {11, 7}, rng, "unpacked size " + std::to_string(size));
    codec::store_le32(resized.data() + codec::kChecksumOffset, 0);
    expect_same(resized, {11, 7}, rng, "unverified, unpacked size " + std::to_string(size));
  }
  for (int round = 0; round < 600; ++round) {
    TokenWriter w(4096);
    if (round % 3 != 0) w.width8();
    const int words = std::uniform_int_distribution<int>(0, 40)(rng);
    for (int i = 0; i < words; ++i) w.put(static_cast<std::uint32_t>(rng()), 32);
    const std::uint32_t size = std::uniform_int_distribution<std::uint32_t>(0, 2048)(rng);
    const Bytes random = w.block_with(size, round % 4 ? 0 : static_cast<std::uint32_t>(rng()));
    expect_same(random, {1 + rng() % 16, 1 + rng() % 64}, rng, "random " + std::to_string(round));
  }
}

// A stream that ends short of its unpacked size, or whose checksum field is nonzero for
// fewer than 4 bytes, is judged as the one-shot decoder judges it on a zero-filled buffer.
TEST(StreamDecoder, ShortStreamsAreVerifiedOverZeros) {
  std::mt19937 rng(15);
  for (std::uint32_t extra : {0u, 1u, 2u, 3u, 4u, 5u, 8u, 1000u}) {
    TokenWriter w;
    w.width8().literal('a').literal('b').literal('c').repeat(9).end();
    Bytes padded = w.expected();
    padded.resize(w.size() + extra, 0);
    const Bytes block = w.block_with(static_cast<std::uint32_t>(padded.size()),
                                     codec::block_checksum(padded.data(), padded.size()));
    const Streamed got = expect_same(block, {3, 2}, rng, "extra " + std::to_string(extra));
    EXPECT_EQ(got.status, StreamStatus::Done);
    EXPECT_TRUE(got.verdict.bytes == w.expected());
  }
  TokenWriter tiny;
  tiny.width8().literal('x').literal('y').end();
  expect_same(tiny.block_with(2, 0x1234), {1, 1}, rng, "two bytes with a checksum");
  expect_same(tiny.block_with(2, 0), {1, 1}, rng, "two bytes unverified");
}

// With a history limit the window stays within the limit plus its room; without one it
// never outgrows the unpacked size. Both decode archive blocks (copies under 65536 back).
TEST(StreamDecoder, HistoryWindowStaysBounded) {
  std::mt19937 rng(16);
  const Bytes input = test::read_file(test::corpus_path("urls.10K"));
  ASSERT_FALSE(input.empty()) << "no corpus";
  const Bytes block = pack9(input);
  const Streamed limited = expect_same(block, {4096, 8192, 65536}, rng, "limited");
  EXPECT_EQ(limited.status, StreamStatus::Done);
  EXPECT_LE(limited.largest_history, 65536u + 65536u);
  EXPECT_GT(limited.largest_history, 0u);
  const Streamed whole = expect_same(block, {4096, 8192, 0}, rng, "whole");
  EXPECT_LE(whole.largest_history, input.size());
  EXPECT_GT(whole.largest_history, 2 * 65536u);  // it did hold more than a limited window
}

// A copy that reaches beyond the history limit fails the block (the one-shot decoder,
// holding everything, accepts it); within the limit it decodes.
TEST(StreamDecoder, CopyBeyondTheHistoryLimitIsDamaged) {
  std::mt19937 rng(17);
  for (std::uint32_t distance : {4096u, 4097u}) {
    TokenWriter w(1u << 16);
    w.width8();
    for (int i = 0; i < 5000; ++i) w.literal(static_cast<std::uint8_t>(i * 7));
    w.long_match(distance, 10).end();
    const Streamed got = stream(w.block(), {100, 100, 4096}, rng);
    EXPECT_EQ(got.status, distance <= 4096 ? StreamStatus::Done : StreamStatus::Damaged) << distance;
    EXPECT_TRUE(one_shot(w.block()).accepted);
  }
}

// Refused memory stops the decoder with OutOfMemory; it never writes or crashes.
TEST(StreamDecoder, RefusedMemoryStopsTheDecoder) {
  test::TestRandom data_rng(6);
  const Bytes block = pack9(test::words(data_rng, 200000));
  struct Budget {
    int allowed;
    int taken = 0;
  };
  for (int allowed = 0; allowed < 4; ++allowed) {
    Budget budget{allowed};
    StreamDecoderOptions options;
    options.user = &budget;
    options.allocate = [](std::uint32_t size, void* user) -> void* {
      auto* b = static_cast<Budget*>(user);
      return b->taken++ < b->allowed ? std::malloc(size) : nullptr;
    };
    options.release = [](void* p, void*) {
      std::free(p);
      return 1;
    };
    BlockStreamDecoder decoder(options);
    decoder.feed(block.data(), block.size());
    decoder.end_input();
    Bytes out(1 << 20);
    std::size_t total = 0;
    while (const std::size_t n = decoder.read(out.data(), out.size())) total += n;
    EXPECT_EQ(decoder.status(), StreamStatus::OutOfMemory) << allowed;
    EXPECT_LT(total, 200000u);
  }
}

}  // namespace
}  // namespace mytarvo
