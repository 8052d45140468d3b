// The encoder's fast match search: chains of the recent positions keyed on their first 2,
// 3, 4, 6 and 8 bytes, walked so that only candidates that can still count are looked at.
// It answers every search exactly as the plain walk of MatchIndex over the two-byte chain
// does (match_search.hpp); it only skips what cannot change the answer.
//
// Why the plain walk can be shortened. A search at p walks the live positions with p's
// two-byte key, nearest first, and "finds" each candidate whose first m bytes equal those
// at p, m being the length of the last candidate found (2 at first). So the candidates
// found are exactly those whose common prefix with p is at least as long as that of every
// nearer candidate, and the answer depends on nothing else. Two facts cut the walk short:
//
//  1. Levels. A candidate sharing m bytes with p shares its first k bytes for every k <= m,
//     so it lies on p's chain of level k, the chain of the positions whose first k bytes
//     hash like p's. Walking the level of the largest k <= m visits the same qualifying
//     candidates in the same order, and passes over far fewer that do not qualify.
//  2. Equal lengths. A candidate found with length exactly m leaves m as it was; it matters
//     only when its gain beats the best so far. Its gain depends on its distance alone, and
//     past the candidate just found no distance can give more than max_gain_beyond(); when
//     that is no more than the best gain, only longer candidates can change the answer and
//     the walk looks for m + 1 bytes instead. The one exception is the candidate at the
//     last distance, priced as a repeat match: it is checked directly, in its place.
//
// Memory: one block from the encoder's allocation callback (bytes_needed()), with the head
// tables of the hashed levels and a ring of backward links per level; the head table of
// level 2 is the encoder's two-byte head table (one entry per key). Links are 16-bit
// distances to the next older position of the same chain, 0 for none, so windows above
// 65536 are not served (the encoder then walks the plain chains).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "codec/match_search.hpp"

namespace mytarvo::codec {

class PrefixChains {
 public:
  // Prefix lengths of the levels, shortest first. Level 0 is keyed exactly (two bytes);
  // the others are hashed.
  static constexpr std::array<std::uint32_t, 5> kLevelBytes = {2, 3, 4, 6, 8};
  static constexpr std::size_t kLevels = kLevelBytes.size();
  static constexpr std::uint32_t kMaxWindow = 65536;

  // Size of the block the chains need for window W (0 when W is above kMaxWindow).
  [[nodiscard]] static std::uint64_t bytes_needed(std::uint32_t window);

  // `two_byte_heads` is the encoder's zero-filled head table (65536 entries); `memory` a
  // block of bytes_needed(window) bytes in any state (the heads in it are cleared here, and
  // no link is read before it is written). Requires 1 <= window <= min(length, kMaxWindow).
  PrefixChains(const std::uint8_t* input, std::uint32_t length, std::uint32_t window, std::uint32_t* two_byte_heads,
               void* memory);

  // Makes `position` the newest node of each of its chains. Requires position + 1 < length
  // and positions in increasing order, each once.
  void insert(std::uint32_t position);

  // The same choice as MatchChooser's plain walk at `position`, the newest inserted position.
  [[nodiscard]] MatchChoice choose_match(std::uint32_t position, std::uint32_t limit, std::uint32_t index_bits,
                                         std::uint32_t last_distance) const;

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  [[nodiscard]] std::uint32_t hash(std::size_t level, std::uint32_t position) const;
  [[nodiscard]] bool on_level(std::size_t level, std::uint32_t position) const {
    return length_ >= kLevelSpan[level] && position <= length_ - kLevelSpan[level];
  }
  // The next older position on `level`'s chain of `position`, or kNone.
  [[nodiscard]] std::uint32_t older(std::size_t level, std::uint32_t position) const {
    const std::uint16_t step = links_[level][position & ring_mask_];
    return step == 0 ? kNone : position - step;
  }
  [[nodiscard]] std::size_t level_for(std::uint32_t min_length, std::uint32_t position) const;
  [[nodiscard]] std::uint32_t first_older(std::size_t level, std::uint32_t position, std::uint32_t after) const;

  // Bytes from a position that the hash of each level reads.
  static constexpr std::array<std::uint32_t, kLevels> kLevelSpan = {2, 4, 4, 8, 8};

  const std::uint8_t* input_;
  std::uint32_t length_;
  std::uint32_t window_;
  std::uint32_t ring_mask_;  // ring size - 1; the ring holds at least W positions
  std::uint32_t hash_bits_;
  std::array<std::uint32_t*, kLevels> heads_{};  // newest position + 1 per key, 0 = none
  std::array<std::uint16_t*, kLevels> links_{};
};

}  // namespace mytarvo::codec
