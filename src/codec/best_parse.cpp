// The shortest-path parse of one chunk (see best_parse.hpp).
#include "codec/best_parse.hpp"

#include <algorithm>
#include <bit>

#include "codec/best_cost.hpp"
#include "codec/packed_block.hpp"

namespace mytarvo::codec::best {

std::uint32_t common_length(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t limit) {
  std::uint32_t k = 0;
  while (k + 8 <= limit) {
    const std::uint64_t diff = load_le64(a + k) ^ load_le64(b + k);
    if (diff != 0) return k + static_cast<std::uint32_t>(std::countr_zero(diff)) / 8;
    k += 8;
  }
  while (k < limit && a[k] == b[k]) ++k;
  return k;
}

Schedule Schedule::uniform(std::uint32_t length, LiteralRange range, std::uint32_t index_bits) {
  Schedule s;
  s.ranges.assign(length / kLiteralSpan + 1, range);
  s.index_bits.assign(length / kIndexSpan + 1, static_cast<std::uint8_t>(index_bits));
  return s;
}

// A single byte: a zero or near byte where one serves, else a literal when the range in
// force covers it (otherwise no single-byte edge leaves this position).
void ChunkParser::relax_single(const ChunkView& chunk, const Schedule& schedule, std::uint32_t i) {
  std::uint32_t bits = kCheapByteBits;
  if (chunk.cheap[i] == 0) {
    const LiteralRange& range = schedule.range_at(i);
    if (!range.covers(chunk.data[chunk.start + i])) return;
    bits = literal_bits(range.width);
  }
  relax(i + 1, cost_[i] + bits, 1, 0, last_[i]);
}

// Repeat matches of every length at the last distance; returns the longest one.
std::uint32_t ChunkParser::relax_repeat(const ChunkView& chunk, std::uint32_t i) {
  const std::uint32_t pos = chunk.start + i;
  const std::uint32_t d = last_[i];
  if (d > pos) return 0;
  const std::uint32_t len = common_length(chunk.data + pos, chunk.data + pos - d, chunk.end - pos);
  const std::uint32_t stepped = std::min(len, kCommitLength - 1);
  for (std::uint32_t l = 2; l <= stepped; ++l) relax(i + l, cost_[i] + repeat_bits(l), l, d, d);
  if (len > stepped) relax(i + len, cost_[i] + repeat_bits(len), len, d, d);
  return len;
}

// Every length of every candidate, each at the nearest distance that reaches it: lengths
// above the previous candidate's belong to this one. A candidate at the last distance is
// the repeat match, already priced.
void ChunkParser::relax_candidates(const ChunkView& chunk, const Schedule& schedule, std::uint32_t i) {
  const std::uint32_t index_bits = schedule.index_bits_at(i);
  const std::uint32_t base = cost_[i];
  std::uint32_t shorter = 1;
  for (std::uint32_t c = chunk.first[i]; c < chunk.first[i + 1]; ++c) {
    const MatchCandidate m = chunk.list[c];
    if (m.distance != last_[i]) {
      const std::uint32_t bonus = length_bonus(m.distance);
      const std::uint32_t far = base + long_distance_bits(m.distance, index_bits);
      const std::uint32_t stepped = std::min(m.length, kCommitLength - 1);
      for (std::uint32_t l = shorter + 1; l <= stepped; ++l) {
        if (short_codable(m.distance, l)) {
          relax(i + l, base + kShortBits, l, m.distance, m.distance);
        } else if (l >= bonus + 2) {
          relax(i + l, far + gamma_bits(l - bonus), l, m.distance, m.distance);
        }
      }
      if (m.length > stepped) relax(i + m.length, far + gamma_bits(m.length - bonus), m.length, m.distance, m.distance);
    }
    shorter = m.length;
  }
}

std::uint64_t ChunkParser::parse(const ChunkView& chunk, const Schedule& schedule, std::uint32_t last_distance,
                                 std::vector<ParseStep>& steps) {
  const std::uint32_t length = chunk.end - chunk.start;
  cost_.assign(length + 1, kNoCost);
  length_.assign(length + 1, 0);
  distance_.assign(length + 1, 0);
  last_.assign(length + 1, 0);
  cost_[0] = 0;
  last_[0] = last_distance;
  std::uint32_t committed_to = 0;  // offsets below it lie inside a taken long match
  for (std::uint32_t i = 0; i < length; ++i) {
    if (cost_[i] == kNoCost || i < committed_to) continue;
    relax_single(chunk, schedule, i);
    if (length - i >= kRawRunBytes) relax(i + kRawRunBytes, cost_[i] + kRawRunBits, kRawRunBytes, 0, last_[i]);
    const std::uint32_t repeat = relax_repeat(chunk, i);
    relax_candidates(chunk, schedule, i);
    const std::uint32_t count = chunk.first[i + 1] - chunk.first[i];
    const std::uint32_t longest = std::max(repeat, count > 0 ? chunk.list[chunk.first[i + 1] - 1].length : 0);
    if (longest >= kCommitLength) committed_to = i + longest;
  }
  trace_back(length, steps);
  return cost_[length];
}

void ChunkParser::trace_back(std::uint32_t length, std::vector<ParseStep>& steps) const {
  steps.clear();
  for (std::uint32_t i = length; i > 0; i -= length_[i]) steps.push_back({length_[i], distance_[i]});
  std::reverse(steps.begin(), steps.end());
}

}  // namespace mytarvo::codec::best
