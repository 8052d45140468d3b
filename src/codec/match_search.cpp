// The match index, the chain walk, the cost model and the lookahead choice of the encoder.
#include "codec/match_search.hpp"

#include <bit>
#include <cassert>
#include <cstring>

#include "codec/packed_block.hpp"
#include "codec/prefix_chains.hpp"

namespace mytarvo::codec {

namespace {

inline std::uint32_t load16(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

constexpr std::uint32_t kLookaheadPenalty = 3;

}  // namespace

// ---- MatchIndex ---------------------------------------------------------------------------

MatchIndex::MatchIndex(const std::uint8_t* input, std::uint32_t length, std::uint32_t window,
                       std::uint32_t* head_table, ChainNode* nodes, std::uint8_t* in_use)
    : input_(input), length_(length), last_node_(window + 1), head_(head_table), nodes_(nodes), in_use_(in_use) {}

// Unlinks the oldest live position, held by `node`. It is the last node of its chain, so
// only its newer neighbour (or the head entry, when it is alone) refers to it.
void MatchIndex::drop(std::uint32_t node) {
  in_use_[node - 1] = 0;
  const ChainNode& old = nodes_[node];
  if (head_[old.head] == node) head_[old.head] = kNoNode;
  if (old.newer != kNoNode) nodes_[old.newer].older = kNoNode;
}

void MatchChooser::insert(std::uint32_t position) {
  if (fast_ != nullptr) {
    fast_->insert(position);
  } else {
    index_.insert(position);
  }
}

void MatchChooser::insert_run(std::uint32_t first, std::uint32_t last) {
  if (fast_ != nullptr) {
    fast_->insert_run(first, last);
  } else {
    for (std::uint32_t p = first; p <= last; ++p) index_.insert(p);
  }
}

void MatchIndex::insert(std::uint32_t position) {
  assert(position + 1 < length_);
  const std::uint32_t k = key(position);
  // The slot after the cursor holds the oldest live position once the ring is full; it is
  // dropped before the new node is linked, so a chain emptied here restarts with the new node.
  const std::uint32_t next = cursor_ == last_node_ ? 1 : cursor_ + 1;
  if (in_use_[next - 1] != 0) drop(next);
  const std::uint32_t node = cursor_;
  in_use_[node - 1] = 1;
  cursor_ = next;

  const std::uint32_t newest = head_[k];
  if (newest != kNoNode) nodes_[newest].newer = node;
  nodes_[node] = ChainNode{position, kNoNode, newest, k};
  head_[k] = node;
}

// Extends a match of `min_length` bytes four bytes at a time while it stays below
// limit - 4, then by single bytes only after a four-byte group that differs. A match that
// runs on to the limit is therefore reported at the first length min_length + 4j that is at
// least limit - 4; the bytes from there to the limit are not examined. Reads stay below
// offset limit - 1.
std::uint32_t MatchIndex::measure(const std::uint8_t* here, const std::uint8_t* there, std::uint32_t min_length,
                                  std::uint32_t limit) const {
  std::uint32_t k = min_length;
  if (limit < 4) return k;
  const std::uint32_t stop = limit - 4;
  while (k < stop) {
    const std::uint32_t diff = load_le32(here + k) ^ load_le32(there + k);
    if (diff == 0) {
      k += 4;
      continue;
    }
    // Equal bytes before the first difference (little-endian: the lowest byte comes first).
    // k + 3 < limit, so the limit never cuts this short.
    return k + static_cast<std::uint32_t>(std::countr_zero(diff)) / 8u;
  }
  return k;
}

FoundMatch MatchIndex::find_match(std::uint32_t position, std::uint32_t min_length, std::uint32_t limit,
                                  std::uint32_t resume) const {
  assert(min_length >= 2 && min_length <= limit);
  const std::uint8_t* here = input_ + position;
  const std::uint32_t tail = load16(here + min_length - 2);
  std::uint32_t node = resume == kNoNode ? head_[key(position)] : nodes_[resume].older;
  // Nearest first. A candidate must repeat the first min_length bytes; the two bytes at the
  // end of that span are tested first, which rejects most candidates with one comparison.
  for (; node != kNoNode; node = nodes_[node].older) {
    const std::uint32_t candidate = nodes_[node].position;
    if (candidate >= position) continue;
    const std::uint8_t* there = input_ + candidate;
    if (load16(there + min_length - 2) != tail) continue;
    if (std::memcmp(here, there, min_length - 2) != 0) continue;
    return FoundMatch{true, position - candidate, measure(here, there, min_length, limit), node};
  }
  return FoundMatch{};
}

// ---- MatchChooser -------------------------------------------------------------------------

// Walks the chain with a minimum length that rises to each candidate's length, so only
// candidates at least as long as the last one found are considered; of equal gains the
// nearer candidate (found first) stays. A run at distance 1 of 65 bytes or more that
// becomes the best ends the walk.
MatchChoice MatchChooser::choose_match(std::uint32_t position, std::uint32_t limit, std::uint32_t index_bits,
                                       std::uint32_t last_distance, std::uint32_t bar) const {
  if (fast_ != nullptr) return fast_->choose_match(position, limit, index_bits, last_distance, bar);
  MatchChoice best{};
  std::uint32_t min_length = 2;
  std::uint32_t resume = kNoNode;
  std::uint32_t previous_length = 0;  // no previous candidate: no found length is 0
  std::uint32_t previous_distance = 0;
  for (;;) {
    const FoundMatch found = index_.find_match(position, min_length, limit, resume);
    if (!found.found) break;
    if (found.length == previous_length && found.distance == previous_distance) break;
    previous_length = found.length;
    previous_distance = found.distance;
    const std::uint32_t gain = match_gain(found.distance, found.length, index_bits, last_distance);
    if (gain > best.gain) {  // a gain above 0 means the candidate is admissible
      best = MatchChoice{found.distance, found.length, gain};
      if (found.distance <= kStopDistance && found.length >= kStopLength) break;
    }
    min_length = found.length;
    resume = found.node;
  }
  if (best.gain <= bar) return MatchChoice{};
  if (best.length > limit) best.length = limit;
  return best;
}

// Compares the match here with the one a byte later. The lookahead pays 3 bits for the
// byte coded in between (and gets them back when it is taken at the next position), and
// wins only when strictly better.
StepAnswer MatchChooser::decide_step(std::uint32_t position, std::uint32_t limit, std::uint32_t index_bits,
                                     std::uint32_t last_distance) {
  MatchChoice current;
  if (pending_set_) {
    current = pending_;
    current.gain += kLookaheadPenalty;
    pending_set_ = false;
  } else {
    current = choose_match(position, limit, index_bits, last_distance);
  }
  insert(position + 1);
  // The lookahead counts only when its gain, lowered by 3, beats the current one; for a
  // current match gaining 2 or more that takes a gain above current + 3, so the search
  // needs to find nothing that gains less (a lookahead at or below that bar comes back as
  // no match, which loses just as it would have).
  const std::uint32_t bar = current.length != 0 && current.gain >= 2 ? current.gain + kLookaheadPenalty : 0;
  MatchChoice next = choose_match(position + 1, limit - 1, index_bits, last_distance, bar);
  if (next.gain >= kLookaheadPenalty) next.gain -= kLookaheadPenalty;

  if ((next.length != 0 && next.gain > current.gain) || current.length == 0) {
    pending_ = next;
    pending_set_ = true;
    return StepAnswer{false, 0, 0, next.gain};
  }
  return StepAnswer{true, current.distance, current.length, current.gain};
}

}  // namespace mytarvo::codec
