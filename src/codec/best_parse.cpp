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

// Keeps `a` at `to` when it is the cheapest arrival there for its last distance and one
// of the kArrivals cheapest overall.
void ChunkParser::relax(std::uint32_t to, const Arrival& a) {
  Arrival* slots = &arrivals_[static_cast<std::size_t>(to) * kArrivals];
  Arrival* worst = slots;
  for (std::uint32_t s = 0; s < kArrivals; ++s) {
    if (slots[s].cost != kNoCost && slots[s].last == a.last) {
      if (a.cost < slots[s].cost) slots[s] = a;
      return;
    }
    if (slots[s].cost > worst->cost) worst = &slots[s];
  }
  if (a.cost < worst->cost) *worst = a;
}

std::uint32_t ChunkParser::cheapest(std::uint32_t offset) const {
  const std::uint32_t first = offset * kArrivals;
  std::uint32_t best = first;
  for (std::uint32_t s = 1; s < kArrivals; ++s) {
    if (arrivals_[first + s].cost < arrivals_[best].cost) best = first + s;
  }
  return best;
}

// A single byte: a zero or near byte where one serves, else a literal when the range in
// force covers it (otherwise no single-byte edge leaves this position).
void ChunkParser::relax_single(const ChunkView& chunk, const Schedule& schedule, std::uint32_t i,
                               std::uint32_t node) {
  std::uint32_t bits = kCheapByteBits;
  if (chunk.cheap[i] == 0) {
    const LiteralRange& range = schedule.range_at(i);
    if (!range.covers(chunk.data[chunk.start + i])) return;
    bits = literal_bits(range.width);
  }
  const Arrival& from = arrivals_[node];
  relax(i + 1, {from.cost + bits, 1, 0, from.last, node});
}

// Repeat matches of every length at the last distance; returns the longest one.
std::uint32_t ChunkParser::relax_repeat(const ChunkView& chunk, std::uint32_t i, std::uint32_t node) {
  const Arrival from = arrivals_[node];
  const std::uint32_t pos = chunk.start + i;
  const std::uint32_t d = from.last;
  if (d > pos) return 0;
  const std::uint32_t len = common_length(chunk.data + pos, chunk.data + pos - d, chunk.end - pos);
  const std::uint32_t stepped = std::min(len, kCommitLength - 1);
  for (std::uint32_t l = 2; l <= stepped; ++l) relax(i + l, {from.cost + repeat_bits(l), l, d, d, node});
  if (len > stepped) relax(i + len, {from.cost + repeat_bits(len), len, d, d, node});
  return len;
}

// Every length of every candidate, each at the nearest distance that reaches it: lengths
// above the previous candidate's belong to this one. A candidate at the last distance is
// the repeat match, already priced.
void ChunkParser::relax_candidates(const ChunkView& chunk, const Schedule& schedule, std::uint32_t i,
                                   std::uint32_t node) {
  const std::uint32_t index_bits = schedule.index_bits_at(i);
  const std::uint32_t base = arrivals_[node].cost;
  const std::uint32_t last = arrivals_[node].last;
  std::uint32_t shorter = 1;
  for (std::uint32_t c = chunk.first[i]; c < chunk.first[i + 1]; ++c) {
    const MatchCandidate m = chunk.list[c];
    if (m.distance != last) {
      const std::uint32_t d = m.distance;
      const std::uint32_t bonus = length_bonus(d);
      const std::uint32_t far = base + long_distance_bits(d, index_bits);
      const std::uint32_t stepped = std::min(m.length, kCommitLength - 1);
      for (std::uint32_t l = shorter + 1; l <= stepped; ++l) {
        if (short_codable(d, l)) {
          relax(i + l, {base + kShortBits, l, d, d, node});
        } else if (l >= bonus + 2) {
          relax(i + l, {far + gamma_bits(l - bonus), l, d, d, node});
        }
      }
      if (m.length > stepped) relax(i + m.length, {far + gamma_bits(m.length - bonus), m.length, d, d, node});
    }
    shorter = m.length;
  }
}

std::uint64_t ChunkParser::parse(const ChunkView& chunk, const Schedule& schedule, std::uint32_t last_distance,
                                 std::vector<ParseStep>& steps) {
  const std::uint32_t length = chunk.end - chunk.start;
  arrivals_.assign((static_cast<std::size_t>(length) + 1) * kArrivals, Arrival{kNoCost, 0, 0, 0, 0});
  arrivals_[0] = {0, 0, 0, last_distance, 0};
  std::uint32_t committed_to = 0;  // offsets below it lie inside a taken long match
  for (std::uint32_t i = 0; i < length; ++i) {
    const std::uint32_t best = cheapest(i);
    if (arrivals_[best].cost == kNoCost || i < committed_to) continue;
    std::uint32_t longest = 0;
    for (std::uint32_t node = i * kArrivals; node < (i + 1) * kArrivals; ++node) {
      if (arrivals_[node].cost == kNoCost) continue;
      relax_single(chunk, schedule, i, node);
      if (length - i >= kRawRunBytes) {
        const Arrival& from = arrivals_[node];
        relax(i + kRawRunBytes, {from.cost + kRawRunBits, kRawRunBytes, 0, from.last, node});
      }
      longest = std::max(longest, relax_repeat(chunk, i, node));
    }
    relax_candidates(chunk, schedule, i, best);
    const std::uint32_t count = chunk.first[i + 1] - chunk.first[i];
    if (count > 0) longest = std::max(longest, chunk.list[chunk.first[i + 1] - 1].length);
    if (longest >= kCommitLength) committed_to = i + longest;
  }
  trace_back(length, steps);
  return arrivals_[cheapest(length)].cost;
}

void ChunkParser::trace_back(std::uint32_t length, std::vector<ParseStep>& steps) const {
  steps.clear();
  if (arrivals_[cheapest(length)].cost == kNoCost) return;
  for (std::uint32_t node = cheapest(length); node >= kArrivals;) {
    const Arrival& a = arrivals_[node];
    steps.push_back({a.length, a.distance});
    node = a.from;
  }
  std::reverse(steps.begin(), steps.end());
}

}  // namespace mytarvo::codec::best
