// The fast match search over chains of several prefix lengths (see prefix_chains.hpp).
#include "codec/prefix_chains.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>
#include <utility>

#include "codec/packed_block.hpp"

namespace mytarvo::codec {

namespace {

constexpr std::uint32_t kGolden32 = 0x9E3779B1u;
constexpr std::uint64_t kGolden64 = 0x9E3779B97F4A7C15ull;
constexpr std::uint32_t kMinHashBits = 10;
constexpr std::uint32_t kMaxHashBits = 15;

// Positions in the link ring: the smallest power of two not below W, so that a position's
// slot is not reused while the position is live.
std::uint32_t ring_size(std::uint32_t window) { return std::bit_ceil(window); }

// Bits of the hashed levels' keys: about one head per ring slot, within 10 to 15 bits.
std::uint32_t hash_bits(std::uint32_t ring) {
  return std::clamp(static_cast<std::uint32_t>(std::bit_width(ring)) - 1u, kMinHashBits, kMaxHashBits);
}

// Number of equal bytes at `a` and `b`, counting no further than `bound`. Eight bytes at a
// time; little-endian loads put the first differing byte in the lowest set bits.
inline std::uint32_t common_prefix(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t bound) {
  std::uint32_t k = 0;
  while (k + 8 <= bound) {
    const std::uint64_t diff = load_le64(a + k) ^ load_le64(b + k);
    if (diff != 0) return k + static_cast<std::uint32_t>(std::countr_zero(diff)) / 8u;
    k += 8;
  }
  while (k < bound && a[k] == b[k]) ++k;
  return k;
}

// The length the plain walk reports for a candidate sharing at least `min_length` bytes: it
// measures four bytes at a time from min_length while below limit - 4, so a candidate
// running on to the limit is reported at the first min_length + 4j >= limit - 4. A
// candidate reports min(its common prefix, reach).
inline std::uint32_t measure_reach(std::uint32_t min_length, std::uint32_t limit) {
  if (limit < 4 || min_length >= limit - 4) return min_length;
  return min_length + (limit - 4 - min_length + 3) / 4 * 4;
}

// Whether a candidate of `length` bytes farther than `distance` (and at most `farthest`
// back) can gain more than `gain`, priced as anything but a repeat match, where `gain` is
// at least what the candidate found at `distance` with `length` bytes gains (as a repeat
// match or not; a repeat match never costs more than any other price of the same length).
// Within a band of the length bonus the cost never falls as the distance grows, and from
// one band to the next it can fall only where the bonus rises: at 639 (bonus 0 to 1) and
// at 14335 (1 to 2). (From 127 to 128 the bonus falls from 4 to 0, and 65536, bonus 3, lies
// beyond every window served.) So a farther candidate can gain more than the one at
// `distance` only from one of those two band starts on, and then at the start most.
bool farther_may_gain_more(std::uint32_t distance, std::uint32_t length, std::uint32_t farthest,
                           std::uint32_t index_bits, std::uint32_t gain) {
  constexpr std::uint32_t kNotADistance = 0;  // so that no candidate is priced as a repeat
  constexpr std::uint32_t kBonusOneStart = 0x27F;
  constexpr std::uint32_t kBonusTwoStart = 0x37FF;
  static_assert(PrefixChains::kMaxWindow <= 0x10000, "no distance of a served window reaches bonus 3");
  if (distance >= kBonusTwoStart || farthest < kBonusOneStart) return false;
  if (distance < kBonusOneStart && match_gain(kBonusOneStart, length, index_bits, kNotADistance) > gain) return true;
  return farthest >= kBonusTwoStart && match_gain(kBonusTwoStart, length, index_bits, kNotADistance) > gain;
}

// The shortest length at which some candidate could gain more than `bar` (> 0). A repeat
// match of L bytes costs gamma_size(L) - 1 bits, any other candidate at least 9 (a short
// match 9, a long match 10 and two gamma numbers of 2 bits or more); the value 8L + 1
// grows faster than either cost, so the lengths that can gain more form a ray.
std::uint32_t shortest_to_gain_more(std::uint32_t bar, bool repeat_live) {
  const auto lowest_cost = [repeat_live](std::uint32_t length) {
    return repeat_live ? std::min(pricing::gamma_size(length) - 1u, pricing::kShortCost) : pricing::kShortCost;
  };
  std::uint32_t length = std::max(2u, bar / 8u);  // every cost is at least 1
  while (8u * length + 1u <= bar + lowest_cost(length)) ++length;
  return length;
}

// One chain of one level, walked from a live node towards older ones for the first node
// whose first `need` bytes equal those at `here`; the nodes older than `oldest` have left
// the window. Everything the walk reads is in locals, so nothing is reloaded per node.
struct ChainScan {
  const std::uint8_t* input;
  const std::uint8_t* here;
  const std::uint16_t* links;
  std::uint32_t ring_mask;
  std::uint32_t oldest;
  std::uint32_t need;
  std::uint32_t reach;

  // The node found, with the bytes it shares with `here` (up to reach) in `common`; or
  // 0xFFFFFFFF. With TailFirst (need >= 8), `tail` holds the 8 bytes ending at offset need
  // from `here`, and a node whose 8 bytes there differ is passed over without more loads.
  template <bool TailFirst>
  [[gnu::always_inline]] std::uint32_t run(std::uint32_t node, std::uint64_t tail, std::uint32_t& common) const {
    for (;;) {
      const std::uint8_t* there = input + node;
      if (!TailFirst || load_le64(there + need - 8) == tail) {
        common = common_prefix(here, there, reach);
        if (common >= need) return node;
      }
      // The link is the step back to the next older node, 0 for none: the walk goes on only
      // for a step from 1 to node - oldest.
      const std::uint32_t step = links[node & ring_mask];
      if (step - 1u >= node - oldest) return 0xFFFFFFFFu;
      node -= step;
    }
  }
};

}  // namespace

std::uint64_t PrefixChains::bytes_needed(std::uint32_t window) {
  if (window == 0 || window > kMaxWindow) return 0;
  const std::uint64_t ring = ring_size(window);
  const std::uint64_t heads = (kLevels - 1) * (std::uint64_t{1} << hash_bits(ring_size(window)));
  return heads * sizeof(std::uint32_t) + kLevels * ring * sizeof(std::uint16_t);
}

PrefixChains::PrefixChains(const std::uint8_t* input, std::uint32_t length, std::uint32_t window,
                           std::uint32_t* two_byte_heads, void* memory)
    : input_(input),
      length_(length),
      window_(window),
      ring_mask_(ring_size(window) - 1),
      hash_bits_(hash_bits(ring_size(window))) {
  assert(window >= 1 && window <= length && window <= kMaxWindow);
  heads_[0] = two_byte_heads;
  auto* heads = static_cast<std::uint32_t*>(memory);
  const std::size_t head_count = std::size_t{1} << hash_bits_;
  std::memset(heads, 0, (kLevels - 1) * head_count * sizeof(std::uint32_t));
  for (std::size_t level = 1; level < kLevels; ++level) heads_[level] = heads + (level - 1) * head_count;
  auto* links = reinterpret_cast<std::uint16_t*>(heads + (kLevels - 1) * head_count);
  for (std::size_t level = 0; level < kLevels; ++level) links_[level] = links + level * (ring_mask_ + std::size_t{1});
}

// Level 0 is the two-byte key itself; the others multiply the prefix, shifted to the top of
// a 32- or 64-bit word, by a golden-ratio constant and keep the top `bits`. Levels above 8
// bytes mix the prefix's first and last 8 bytes. `word` holds the first 8 bytes (or 0 when
// fewer are left, and then only levels of 4 bytes or less are asked for).
template <std::size_t Level>
[[gnu::always_inline]] inline std::uint32_t level_key(const std::uint8_t* at, std::uint64_t word, std::uint32_t bits) {
  constexpr std::uint32_t bytes = PrefixChains::kLevelBytes[Level];
  if constexpr (Level == 0) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8;
  } else if constexpr (bytes <= 4) {
    return ((load_le32(at) << (32 - 8 * bytes)) * kGolden32) >> (32 - bits);
  } else if constexpr (bytes <= 8) {
    return static_cast<std::uint32_t>(((word << (64 - 8 * bytes)) * kGolden64) >> (64 - bits));
  } else {
    const std::uint64_t last = load_le64(at + bytes - 8);
    return static_cast<std::uint32_t>(((word ^ (last << 29 | last >> 35)) * kGolden64) >> (64 - bits));
  }
}

// Puts `position` in front of its chain of `Level`. The head holds the newest position + 1,
// or 0 for none; the link the step back to it, or 0 for none. A step beyond 16 bits leads
// out of every window served: none. An empty head gives the step position + 1, which leads
// to position - (position + 1) = kNone when it fits in 16 bits: none as well. `word` holds
// the first 8 bytes at `at` when the level's key reads them.
template <std::size_t Level>
[[gnu::always_inline]] inline void link_level(const std::uint8_t* at, std::uint64_t word, std::uint32_t position,
                                              std::uint32_t slot, std::uint32_t bits, std::uint32_t* heads,
                                              std::uint16_t* links) {
  std::uint32_t* head = heads + level_key<Level>(at, word, bits);
  const std::uint32_t newest = position + 1;
  const std::uint32_t step = newest - *head;
  links[slot] = static_cast<std::uint16_t>(step <= 0xFFFFu ? step : 0);
  *head = newest;
}

void PrefixChains::insert(std::uint32_t position) {
  assert(position + 1 < length_);
  // Members in locals: the stores into the tables could otherwise alias them.
  const std::uint8_t* at = input_ + position;
  const std::uint32_t slot = position & ring_mask_;
  const std::uint32_t bits = hash_bits_;
  if (on_level(kLevels - 1, position)) {
    // Away from the end of the input: every level, unrolled.
    const std::uint64_t word = load_le64(at);
    [&]<std::size_t... L>(std::index_sequence<L...>) {
      (link_level<L>(at, word, position, slot, bits, heads_[L], links_[L]), ...);
    }(std::make_index_sequence<kLevels>{});
    return;
  }
  // Near the end: the levels whose keys still lie within the input (spans only grow).
  [&]<std::size_t... L>(std::index_sequence<L...>) {
    static_cast<void>(((on_level(L, position) &&
                        (link_level<L>(at, span(L) >= 8 ? load_le64(at) : 0, position, slot, bits, heads_[L], links_[L]),
                         true)) &&
                       ...));
  }(std::make_index_sequence<kLevels>{});
}

// Positions inside a match come here in runs: the tables' addresses and sizes are taken
// into locals once (the stores into the tables could otherwise alias the members that hold
// them), and positions away from the end of the input link every level, unrolled.
void PrefixChains::insert_run(std::uint32_t first, std::uint32_t last) {
  const std::uint8_t* input = input_;
  const std::uint32_t ring_mask = ring_mask_;
  const std::uint32_t bits = hash_bits_;
  const std::array<std::uint32_t*, kLevels> heads = heads_;
  const std::array<std::uint16_t*, kLevels> links = links_;
  // The last position on every level, plus one (0 when there is none).
  const std::uint32_t every_level_end = length_ >= span(kLevels - 1) ? length_ - span(kLevels - 1) + 1 : 0;
  std::uint32_t position = first;
  for (; position <= last && position < every_level_end; ++position) {
    const std::uint8_t* at = input + position;
    const std::uint64_t word = load_le64(at);
    const std::uint32_t slot = position & ring_mask;
    [&]<std::size_t... L>(std::index_sequence<L...>) {
      (link_level<L>(at, word, position, slot, bits, heads[L], links[L]), ...);
    }(std::make_index_sequence<kLevels>{});
  }
  for (; position <= last; ++position) insert(position);
}

// The highest level `position` is on: the top one but within the last bytes of the input.
std::size_t PrefixChains::top_level(std::uint32_t position) const {
  std::size_t level = kLevels - 1;
  while (level > 0 && !on_level(level, position)) --level;
  return level;
}

// The newest position older than `after` on `level`'s chain of `position` (after ==
// position: the first one). `after` is a candidate found before, sharing `shared` bytes with
// `position`; when that is fewer than the level's prefix it may not be on this chain. The
// chain is then entered from its start, passing the nodes from `after` on; the nodes newer
// than `after` on it can only be hash collisions, since a nearer position sharing the whole
// prefix would have been found before `after`.
std::uint32_t PrefixChains::first_older(std::size_t level, std::uint32_t position, std::uint32_t after,
                                        std::uint32_t shared) const {
  if (after == position) return older(level, position);
  if (shared >= kLevelBytes[level]) return older(level, after);
  std::uint32_t node = older(level, position);
  while (node != kNone && node >= after) node = older(level, node);
  return node;
}

// The search, candidate by candidate as in the plain walk, with the two shortcuts of the
// header comment, starting with `start_length` as the minimum length. Invariants at the top
// of the loop:
//  - min_length is the plain walk's minimum length after the candidates found so far, and
//    `best` its best candidate if that gains more than `bar`; `last_found` is the position
//    of the last candidate found (p when none yet): the plain walk would continue with the
//    positions older than it;
//  - only_longer: no candidate older than last_found, other than the one at the last
//    distance, can gain more than both `best` and `bar` with exactly min_length bytes, so
//    only candidates of more than min_length bytes are looked for; the one at the last
//    distance is checked by itself when the walk passes it.
// The plain walk's stop at a candidate of the same length and distance as the one before
// never applies: candidates come strictly nearest first, so distances strictly grow.
// A start above 2 stands for the plain walk's minimum length only up to limit - 4, where
// the reported lengths start to depend on it (measure_reach()); a candidate sharing that
// many bytes sets `near_limit` and ends the walk without an answer.
MatchChoice PrefixChains::walk(std::uint32_t position, std::uint32_t limit, std::uint32_t index_bits,
                               std::uint32_t last_distance, std::uint32_t bar, std::uint32_t start_length,
                               bool& near_limit) const {
  const std::uint8_t* here = input_ + position;
  const std::uint32_t farthest = std::min(position, window_ - 1);
  const std::uint32_t oldest = position - farthest;
  const bool repeat_live = last_distance >= 1 && last_distance <= farthest;
  const std::size_t top = top_level(position);
  MatchChoice best{0, 0, bar};
  std::uint32_t min_length = start_length;
  std::uint32_t last_found = position;
  bool only_longer = false;
  near_limit = false;
  for (;;) {
    // Every candidate reports min(common prefix, reach); when reach is min_length itself,
    // none can be longer.
    const std::uint32_t reach = measure_reach(min_length, limit);
    std::uint32_t found = kNone;
    std::uint32_t common = 0;
    if (!only_longer || reach > min_length) {
      const std::uint32_t need = only_longer ? min_length + 1 : min_length;
      // The level with the longest prefix not above `need`.
      const std::size_t level = std::min<std::size_t>(
          kLevelForLength[std::min<std::uint32_t>(need, kLevelForLength.size() - 1)], top);
      // Candidates on the chain share the level's prefix (but for hash collisions), so the
      // last 8 bytes of the needed length reject most of those that do not qualify at once.
      const bool tail_first = need >= 8;
      const std::uint32_t start = first_older(level, position, last_found, min_length);
      if (start != kNone && start >= oldest) {
        const ChainScan scan{input_, here, links_[level], ring_mask_, oldest, need, reach};
        found = tail_first ? scan.run<true>(start, load_le64(here + need - 8), common) : scan.run<false>(start, 0, common);
      }
    }
    if (only_longer && repeat_live) {
      // The candidate at the last distance, if the plain walk reaches it before `found`
      // and finds it with exactly min_length bytes (a longer one would be `found` itself).
      const std::uint32_t repeat = position - last_distance;
      if (repeat < last_found && (found == kNone || repeat > found) &&
          common_prefix(here, input_ + repeat, reach) == min_length) {
        const std::uint32_t gain = match_gain(last_distance, min_length, index_bits, last_distance);
        if (gain > best.gain) best = MatchChoice{last_distance, min_length, gain};
      }
    }
    if (found == kNone) break;
    if (start_length > 2 && common + 4 >= limit) {
      near_limit = true;
      return MatchChoice{};
    }

    const std::uint32_t distance = position - found;
    const std::uint32_t gain = match_gain(distance, common, index_bits, last_distance);
    if (gain > best.gain) best = MatchChoice{distance, common, gain};
    // The plain walk stops here: this is its first candidate (none is nearer), and one this
    // long is admissible, so it became its best.
    if (distance <= kStopDistance && common >= kStopLength) break;
    min_length = common;
    last_found = found;
    only_longer = !farther_may_gain_more(distance, common, farthest, index_bits, best.gain);
  }
  if (best.length == 0) return MatchChoice{};
  if (best.length > limit) best.length = limit;
  return best;
}

// With a bar above 0 only candidates that can gain more than it matter: the plain walk's
// choice gains more than the bar exactly when it is among them, and then it is the same
// among them alone. The walk therefore starts at the shortest length that can gain more
// (the plain walk finds the same candidates of that length or more, in the same order,
// since a nearer, shorter one never hides them), and ignores every candidate at or below
// the bar. Two cases keep the full walk: the run at distance 1 that would end the plain
// walk before any longer candidate is checked first; and lengths near the limit, where the
// length reported for a candidate depends on the minimum length in force.
MatchChoice PrefixChains::choose_match(std::uint32_t position, std::uint32_t limit, std::uint32_t index_bits,
                                       std::uint32_t last_distance, std::uint32_t bar) const {
  bool near_limit = false;
  if (bar == 0) return walk(position, limit, index_bits, last_distance, 0, 2, near_limit);
  const std::uint32_t farthest = std::min(position, window_ - 1);
  const auto above_bar = [bar](const MatchChoice& choice) { return choice.gain > bar ? choice : MatchChoice{}; };
  const bool repeat_live = last_distance >= 1 && last_distance <= farthest;
  const std::uint32_t shortest = shortest_to_gain_more(bar, repeat_live);
  if (shortest > kStopLength && farthest >= 1) {
    // The plain walk's first candidate, measured as it measures it. (With a shorter start
    // the walk below finds such a run first itself and stops there.)
    const std::uint8_t* here = input_ + position;
    const std::uint32_t run = common_prefix(here, here - 1, measure_reach(2, limit));
    if (run >= kStopLength) return above_bar(MatchChoice{1, run, match_gain(1, run, index_bits, last_distance)});
  }
  if (shortest + 4 <= limit) {
    const MatchChoice choice = walk(position, limit, index_bits, last_distance, bar, shortest, near_limit);
    if (!near_limit) return choice;
  }
  return above_bar(walk(position, limit, index_bits, last_distance, 0, 2, near_limit));
}

}  // namespace mytarvo::codec
