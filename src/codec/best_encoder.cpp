// The best packing mode's pass over the input (see best_encoder.hpp).
#include "codec/best_encoder.hpp"

#include <algorithm>
#include <bit>
#include <new>
#include <vector>

#include "codec/best_parse.hpp"
#include "codec/best_schedule.hpp"
#include "codec/best_search.hpp"
#include "codec/best_writer.hpp"
#include "codec/packed_block.hpp"

namespace mytarvo::codec {

namespace {

using best::ChunkParser;
using best::ChunkView;
using best::MatchCandidate;
using best::ParseStep;
using best::Schedule;
using best::StreamState;
using best::TreeMatchFinder;

// Parses after the first: each re-plans the schedule from the parse before it.
constexpr int kReplans = 2;

// The candidates and single-byte facts of one chunk.
class ChunkCandidates {
 public:
  void gather(TreeMatchFinder& finder, const std::uint8_t* data, std::uint32_t start, std::uint32_t end);
  [[nodiscard]] ChunkView view(const std::uint8_t* data, std::uint32_t start, std::uint32_t end) const {
    return {data, start, end, first_.data(), list_.data(), cheap_.data()};
  }

 private:
  std::vector<std::uint32_t> first_;
  std::vector<MatchCandidate> list_;
  std::vector<std::uint8_t> cheap_;
  std::uint32_t skip_ = 0;  // positions still inside a long match found earlier
};

void ChunkCandidates::gather(TreeMatchFinder& finder, const std::uint8_t* data, std::uint32_t start,
                             std::uint32_t end) {
  first_.assign(1, 0);
  list_.clear();
  cheap_.assign(end - start, 0);
  for (std::uint32_t pos = start; pos < end; ++pos) {
    const std::uint8_t b = data[pos];
    bool cheap = b == 0;
    for (std::uint32_t d = 1; !cheap && d <= kNearMaxDistance && d <= pos; ++d) cheap = data[pos - d] == b;
    cheap_[pos - start] = cheap ? 1 : 0;
    if (skip_ > 0) {
      --skip_;
      finder.skip(pos);
    } else {
      const std::uint32_t longest = finder.find(pos, end - pos, list_);
      // The parser takes a match this long as it stands; the positions it covers need no search.
      if (longest >= ChunkParser::kCommitLength) skip_ = longest - 1;
    }
    first_.push_back(static_cast<std::uint32_t>(list_.size()));
  }
  skip_ = 0;  // the parse of the next chunk starts afresh at its first position
}

// Parses one chunk, re-planning the schedule from each parse, and keeps the cheapest.
struct ChunkPlan {
  std::vector<ParseStep> steps;
  Schedule schedule;
};

ChunkPlan plan_chunk(ChunkParser& parser, const ChunkView& chunk, const StreamState& at_start) {
  // The first parse allows every byte as a literal, so it always reaches the chunk's end.
  ChunkPlan best{{}, Schedule::uniform(chunk.end - chunk.start, kFullRange, at_start.index_bits)};
  std::uint64_t best_bits = parser.parse(chunk, best.schedule, at_start.last_distance, best.steps);
  StreamState state = at_start;
  best_bits += best::follow_schedule(best.steps, best.schedule, state);
  ChunkPlan trial;
  for (int round = 0; round < kReplans; ++round) {
    const std::vector<ParseStep>& previous = round == 0 ? best.steps : trial.steps;
    trial.schedule = best::plan_schedule(chunk, previous, at_start);
    std::uint64_t bits = parser.parse(chunk, trial.schedule, at_start.last_distance, trial.steps);
    if (bits == best::kNoCost) break;
    state = at_start;
    bits += best::follow_schedule(trial.steps, trial.schedule, state);
    if (bits < best_bits) {
      best_bits = bits;
      best = trial;
    }
  }
  return best;
}

// The whole input when the window reaches over it, else a ring of a power of two; halved
// while its memory cannot be had.
bool start_finder(TreeMatchFinder& finder, const std::uint8_t* source, std::uint32_t length, std::uint32_t window) {
  window = std::clamp(window, kMinBestWindow, kMaxBestWindow);
  for (;;) {
    const std::uint32_t used = window >= length ? length : std::bit_floor(window);
    if (finder.start(source, length, used)) return true;
    if (used <= kMinBestWindow) return false;
    window = std::max(used / 2, kMinBestWindow);
  }
}

std::uint32_t pack_best_unguarded(const std::uint8_t* source, std::uint8_t* dest, std::uint32_t length,
                                  std::uint32_t window) {
  if (length < kMinBlockSize) return 0;
  TreeMatchFinder finder;
  if (!start_finder(finder, source, length, window)) return 0;
  store_header(dest, length, block_checksum(source, length));
  best::BestTokenWriter writer(dest, length);
  ChunkCandidates candidates;
  ChunkParser parser;
  for (std::uint32_t start = 0; start < length && !writer.overflowed();) {
    const std::uint32_t end = length - start > kBestChunk ? start + kBestChunk : length;
    candidates.gather(finder, source, start, end);
    const ChunkView chunk = candidates.view(source, start, end);
    const ChunkPlan plan = plan_chunk(parser, chunk, writer.state());
    writer.chunk(source, start, plan.steps, plan.schedule);
    start = end;
  }
  writer.end();
  return writer.overflowed() ? 0 : writer.bytes_stored();
}

}  // namespace

std::uint32_t pack_best(const std::uint8_t* source, std::uint8_t* dest, std::uint32_t length,
                        std::uint32_t window) noexcept {
  if (source == nullptr || dest == nullptr || length == 0) return 0;
  try {
    return pack_best_unguarded(source, dest, length, window);
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

}  // namespace mytarvo::codec
