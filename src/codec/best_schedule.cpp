// Planning the literal-range and index-bits schedule of one chunk (see best_schedule.hpp).
#include "codec/best_schedule.hpp"

#include <algorithm>
#include <array>
#include <limits>

#include "codec/best_cost.hpp"

namespace mytarvo::codec::best {

namespace {

constexpr std::int64_t kInfeasible = std::numeric_limits<std::int64_t>::max() / 4;

// A shortest path over stretches 0 .. n-1 with `states` choices per stretch: value(s, k) is
// what state k costs in stretch s, change(k) what switching into k costs, and `start` the
// state before the first stretch (states when none). Returns the state of each stretch.
template <typename Value, typename Change>
std::vector<std::uint32_t> cheapest_states(std::size_t n, std::uint32_t states, std::uint32_t start, Value value,
                                           Change change) {
  std::vector<std::int64_t> cur(states);
  std::vector<std::int64_t> next(states);
  std::vector<std::uint32_t> came_from(n * states);  // the state of the stretch before
  for (std::uint32_t k = 0; k < states; ++k) cur[k] = (k == start ? 0 : change(k)) + value(0, k);
  for (std::size_t s = 1; s < n; ++s) {
    const auto best = static_cast<std::uint32_t>(std::min_element(cur.begin(), cur.end()) - cur.begin());
    for (std::uint32_t k = 0; k < states; ++k) {
      const std::int64_t switched = cur[best] + change(k);
      const bool stay = cur[k] <= switched;
      came_from[s * states + k] = stay ? k : best;
      next[k] = std::min(kInfeasible, (stay ? cur[k] : switched) + value(s, k));
    }
    std::swap(cur, next);
  }
  std::vector<std::uint32_t> chosen(n);
  auto k = static_cast<std::uint32_t>(std::min_element(cur.begin(), cur.end()) - cur.begin());
  for (std::size_t s = n; s-- > 0;) {
    chosen[s] = k;
    k = came_from[s * states + k];
  }
  return chosen;
}

// Literal stretches: which byte values the parse codes as literals, and how many literals.
struct LiteralUse {
  std::array<std::uint16_t, 512> below{};  // below[j]: values v < j (taken mod 256) present
  std::uint32_t literals = 0;
};

std::vector<LiteralUse> literal_use(const ChunkView& chunk, const std::vector<ParseStep>& steps) {
  const std::uint32_t length = chunk.end - chunk.start;
  std::vector<std::array<bool, 256>> present(length / Schedule::kLiteralSpan + 1);
  std::vector<LiteralUse> use(present.size());
  std::uint32_t offset = 0;
  for (const ParseStep& step : steps) {
    if (step.distance == 0 && step.length == 1 && chunk.cheap[offset] == 0) {
      present[offset / Schedule::kLiteralSpan][chunk.data[chunk.start + offset]] = true;
      ++use[offset / Schedule::kLiteralSpan].literals;
    }
    offset += step.length;
  }
  for (std::size_t s = 0; s < use.size(); ++s) {
    for (std::uint32_t j = 0; j < 511; ++j) use[s].below[j + 1] = use[s].below[j] + (present[s][j & 0xFF] ? 1 : 0);
  }
  return use;
}

// States 0..255: width 7 from that base; 256: width 8.
constexpr std::uint32_t kWideState = 256;
LiteralRange range_of(std::uint32_t state) {
  return state == kWideState ? kFullRange : LiteralRange{7, state};
}
std::uint32_t state_of(const StreamState& s) {
  if (!s.announced) return kWideState + 1;  // no state yet: every choice is announced
  return s.range.width == 8 ? kWideState : s.range.base;
}

std::vector<LiteralRange> plan_ranges(const ChunkView& chunk, const std::vector<ParseStep>& steps,
                                      const StreamState& at_start) {
  const std::vector<LiteralUse> use = literal_use(chunk, steps);
  auto value = [&](std::size_t s, std::uint32_t k) -> std::int64_t {
    if (k == kWideState) return 0;
    // Width 7 from base k saves a bit per literal, if no literal value lies in k+128 .. k+255.
    const LiteralUse& u = use[s];
    if (u.below[k + 256] - u.below[k + 128] != 0) return kInfeasible;
    return -static_cast<std::int64_t>(u.literals);
  };
  auto change = [](std::uint32_t k) -> std::int64_t { return k == kWideState ? kWideChangeBits : kNarrowChangeBits; };
  const std::vector<std::uint32_t> states =
      cheapest_states(use.size(), kWideState + 1, state_of(at_start), value, change);
  std::vector<LiteralRange> ranges(states.size());
  std::transform(states.begin(), states.end(), ranges.begin(), range_of);
  return ranges;
}

// Index stretches: the distances the parse codes as long matches.
std::vector<std::vector<std::uint32_t>> long_distances(const ChunkView& chunk, const std::vector<ParseStep>& steps,
                                                       std::uint32_t last) {
  std::vector<std::vector<std::uint32_t>> found((chunk.end - chunk.start) / Schedule::kIndexSpan + 1);
  std::uint32_t offset = 0;
  for (const ParseStep& step : steps) {
    if (step.distance != 0 && step.distance != last) {
      if (!short_codable(step.distance, step.length)) found[offset / Schedule::kIndexSpan].push_back(step.distance);
      last = step.distance;
    }
    offset += step.length;
  }
  return found;
}

std::vector<std::uint8_t> plan_index_bits(const ChunkView& chunk, const std::vector<ParseStep>& steps,
                                          const StreamState& at_start) {
  const auto found = long_distances(chunk, steps, at_start.last_distance);
  // cost[s][k]: the distance parts of stretch s's long matches with index bits k + 1.
  std::vector<std::array<std::int64_t, kMaxBestIndexBits>> cost(found.size());
  for (std::size_t s = 0; s < found.size(); ++s) {
    for (std::uint32_t k = 0; k < kMaxBestIndexBits; ++k) {
      std::int64_t sum = 0;
      for (std::uint32_t d : found[s]) sum += long_distance_bits(d, k + 1);
      cost[s][k] = sum;
    }
  }
  auto value = [&](std::size_t s, std::uint32_t k) { return cost[s][k]; };
  auto change = [](std::uint32_t k) -> std::int64_t { return index_change_bits(k + 1); };
  const auto states = cheapest_states(found.size(), kMaxBestIndexBits, at_start.index_bits - 1, value, change);
  std::vector<std::uint8_t> bits(states.size());
  std::transform(states.begin(), states.end(), bits.begin(),
                 [](std::uint32_t k) { return static_cast<std::uint8_t>(k + 1); });
  return bits;
}

}  // namespace

Schedule plan_schedule(const ChunkView& chunk, const std::vector<ParseStep>& steps, const StreamState& at_start) {
  Schedule schedule;
  schedule.ranges = plan_ranges(chunk, steps, at_start);
  schedule.index_bits = plan_index_bits(chunk, steps, at_start);
  return schedule;
}

std::uint64_t follow_schedule(const std::vector<ParseStep>& steps, const Schedule& schedule, StreamState& state) {
  std::uint64_t bits = 0;
  std::uint32_t offset = 0;
  for (const ParseStep& step : steps) {
    const Changes changes = changes_before(state, schedule, offset);
    if (changes.range) {
      state.announced = true;
      state.range = schedule.range_at(offset);
      bits += state.range.width == 8 ? kWideChangeBits : kNarrowChangeBits;
    }
    if (changes.index_bits) {
      state.index_bits = schedule.index_bits_at(offset);
      bits += index_change_bits(state.index_bits);
    }
    if (step.distance != 0) state.last_distance = step.distance;
    offset += step.length;
  }
  return bits;
}

}  // namespace mytarvo::codec::best
