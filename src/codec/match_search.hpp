// Match search and choice for the block encoder: an index of the last W input positions in
// chains keyed by the two bytes at each position, a walk of a chain that finds candidates
// of rising minimum length, a fixed bit-cost model that prices each candidate, and the
// one-position lookahead that decides between a match here and a single byte.
//
// The index (MatchIndex) lives in three caller-provided, zero-filled areas:
//   head table  65536 x uint32   node number of the newest node of each key, 0 = none
//   node ring   (W + 2) ChainNode  node 0 is the "none" node; ring slot s is node s + 1
//   in-use      W + 1 bytes      nonzero while ring slot s stands for a live position
// Nodes refer to each other by 32-bit node numbers, so the ring has the same size on
// 32-bit and 64-bit builds. Invariants kept by insert():
//   - after positions 0..q have been inserted (in increasing order, each once), the live
//     nodes are exactly the positions max(0, q - W + 1)..q, each in the chain of its key;
//   - a chain runs from its head entry through `older` links, nearest position first, and
//     the oldest node's `older` is 0; `newer` links run the other way;
//   - the ring slot at the cursor is always free.
#pragma once

#include <bit>
#include <cstdint>

#include "codec/packed_block.hpp"

namespace mytarvo::codec {

struct ChainNode {
  std::uint32_t position;  // input position the node stands for
  std::uint32_t newer;     // node inserted after this one in the same chain, or 0
  std::uint32_t older;     // node inserted before this one in the same chain, or 0
  std::uint32_t head;      // key of its chain (its head-table entry)
};
static_assert(sizeof(ChainNode) == 16, "the node ring is sized at 16 bytes a slot");

inline constexpr std::uint32_t kNoNode = 0;
inline constexpr std::uint32_t kKeyCount = 65536;
inline constexpr std::uint32_t kHeadTableBytes = kKeyCount * sizeof(std::uint32_t);  // 262144
inline constexpr std::uint32_t kNodeRingSlack = 4096;

// Sizes of the node ring and the in-use flags for window W, in 64 bits: for windows near
// the top of the range the ring's size does not fit in 32 bits.
constexpr std::uint64_t node_ring_bytes(std::uint32_t window) {
  return (static_cast<std::uint64_t>(window) + 1u) * sizeof(ChainNode) + kNodeRingSlack;
}
constexpr std::uint64_t in_use_bytes(std::uint32_t window) { return static_cast<std::uint64_t>(window) + 1u; }

// A candidate found by MatchIndex::find_match.
struct FoundMatch {
  bool found = false;
  std::uint32_t distance = 0;
  std::uint32_t length = 0;
  std::uint32_t node = kNoNode;  // to resume the walk after this candidate
};

class MatchIndex {
 public:
  // `input` holds `length` bytes; `window` is the clamped window W (1 <= W <= length). The
  // areas must be zero-filled and at least kHeadTableBytes, node_ring_bytes(W) and
  // in_use_bytes(W) long.
  MatchIndex(const std::uint8_t* input, std::uint32_t length, std::uint32_t window, std::uint32_t* head_table,
             ChainNode* nodes, std::uint8_t* in_use);

  // Makes `position` the newest node of its key's chain, dropping the oldest live position
  // when the ring is full. Requires position + 1 < length and positions in increasing order.
  void insert(std::uint32_t position);

  // Walks the chain of `position`'s key from its newest node (resume == kNoNode) or from the
  // node older than `resume`, and returns the first candidate before `position` whose first
  // `min_length` bytes equal those at `position`, measured up to `limit` as the encoder's
  // format requires. Requires 2 <= min_length <= limit.
  [[nodiscard]] FoundMatch find_match(std::uint32_t position, std::uint32_t min_length, std::uint32_t limit,
                                      std::uint32_t resume) const;

 private:
  [[nodiscard]] std::uint32_t key(std::uint32_t position) const {
    return static_cast<std::uint32_t>(input_[position]) | static_cast<std::uint32_t>(input_[position + 1]) << 8;
  }
  void drop(std::uint32_t node);
  [[nodiscard]] std::uint32_t measure(const std::uint8_t* here, const std::uint8_t* there, std::uint32_t min_length,
                                      std::uint32_t limit) const;

  const std::uint8_t* input_;
  [[maybe_unused]] std::uint32_t length_;  // checked by assertions only
  std::uint32_t last_node_;  // W + 1: node numbers of the ring run from 1 to W + 1
  std::uint32_t* head_;
  ChainNode* nodes_;
  std::uint8_t* in_use_;
  std::uint32_t cursor_ = 1;  // node the next insert fills (ring slot 0 first)
};

// ---- Pricing ------------------------------------------------------------------------------
// The result of a search: distance and length of the chosen candidate and its score in
// bits; all zero when there is no match.
struct MatchChoice {
  std::uint32_t distance = 0;
  std::uint32_t length = 0;
  std::uint32_t gain = 0;
};

namespace pricing {
inline constexpr std::uint32_t kShortCost = 9;
inline constexpr std::uint32_t kLongBaseCost = 10;
inline constexpr std::uint32_t kUncodableLength = 0xFFFFF;  // makes a long match of coded length < 2 inadmissible

// Bits of v as a gamma number: two for every base-2 digit below the leading one.
constexpr std::uint32_t gamma_size(std::uint32_t v) { return 2u * (static_cast<std::uint32_t>(std::bit_width(v)) - 1u); }
}  // namespace pricing

// Bits the model charges for a candidate (not the size of the token written for it).
[[nodiscard]] constexpr std::uint32_t match_cost(std::uint32_t distance, std::uint32_t length,
                                                 std::uint32_t index_bits, std::uint32_t last_distance) {
  using namespace pricing;
  if (distance == last_distance) return gamma_size(length) - 1u;  // repeat match
  if (distance <= kShortMaxDistance && length <= kShortMaxLength) return kShortCost;
  const std::uint32_t bonus = length_bonus(distance);
  const std::uint32_t length_cost = length < bonus + 2 ? kUncodableLength : gamma_size(length - bonus);
  return kLongBaseCost + gamma_size((distance >> index_bits) + kLongMatchGammaBase) + length_cost;
}

// 8 * length + 1 minus the cost when that is positive (the candidate is admissible), else 0.
[[nodiscard]] constexpr std::uint32_t match_gain(std::uint32_t distance, std::uint32_t length,
                                                 std::uint32_t index_bits, std::uint32_t last_distance) {
  const std::uint32_t value = 8u * length + 1u;
  const std::uint32_t cost = match_cost(distance, length, index_bits, last_distance);
  return value > cost ? value - cost : 0u;
}

// The plain walk ends at once at a candidate this near and this long that becomes the best.
inline constexpr std::uint32_t kStopDistance = 1;
inline constexpr std::uint32_t kStopLength = 65;

// ---- Choice -------------------------------------------------------------------------------
struct StepAnswer {
  bool match = false;          // false: code the byte at the position by itself
  std::uint32_t distance = 0;  // for a match
  std::uint32_t length = 0;    // for a match
  std::uint32_t gain = 0;      // of the match taken, or of the lookahead left pending
};

class PrefixChains;

// Chooses, at each full step of the encoder, between a match and a single byte, keeping the
// lookahead result of a single-byte answer for the next position. Searches walk the plain
// two-byte chains of `index`, or, when `fast` is given, the prefix chains, which give the
// same answers sooner; only the index searched is kept up to date.
class MatchChooser {
 public:
  explicit MatchChooser(MatchIndex& index, PrefixChains* fast = nullptr) : index_(index), fast_(fast) {}

  void insert(std::uint32_t position);
  // Inserts the positions first..last in order (none when first > last; last < 2^32 - 1).
  void insert_run(std::uint32_t first, std::uint32_t last);

  // The best-scoring candidate at `position` (the newest inserted position), no longer than
  // limit - 1, when it gains more than `bar`; no match (all zero) when it gains `bar` or
  // less. Requires limit >= 3.
  [[nodiscard]] MatchChoice choose_match(std::uint32_t position, std::uint32_t limit, std::uint32_t index_bits,
                                         std::uint32_t last_distance, std::uint32_t bar = 0) const;

  // One full step at `position` (the newest inserted position, limit >= 4); inserts
  // position + 1 itself.
  [[nodiscard]] StepAnswer decide_step(std::uint32_t position, std::uint32_t limit, std::uint32_t index_bits,
                                       std::uint32_t last_distance);

  // The lookahead result left pending by the last single-byte answer, if any.
  [[nodiscard]] bool has_pending() const { return pending_set_; }
  [[nodiscard]] const MatchChoice& pending() const { return pending_; }

 private:
  MatchIndex& index_;
  PrefixChains* fast_;
  MatchChoice pending_{};
  bool pending_set_ = false;
};

}  // namespace mytarvo::codec
