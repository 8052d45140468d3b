// The encoder's fast match search: chains of the recent positions keyed on their first 2,
// 3, 4, 5, 6, 8 and 16 bytes, walked so that only candidates that can still count are
// looked at. It answers every search exactly as the plain walk of MatchIndex over the
// two-byte chain does (match_search.hpp); it only skips what cannot change the answer.
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
//     only when its gain beats the best so far. Its gain depends on its distance alone;
//     when no distance past the candidate just found can gain more than the best so far
//     (farther_may_gain_more() tells), only longer candidates can change the answer, and
//     the walk looks for m + 1 bytes instead. The one exception is the candidate at the
//     last distance, priced as a repeat match: it is checked directly, in its place.
//
// Which levels: each one costs every insert a head update (a likely cache miss) and a link,
// and saves visits to candidates sharing fewer bytes than needed. On the benchmark corpus
// these seven did best; 7 and 12 bytes, or 32, cost more at insert than they saved.
//
// Memory: one block from the encoder's allocation callback (bytes_needed()), with the head
// tables of the hashed levels and a ring of backward links per level; the head table of
// level 0 (two bytes, keyed exactly) is the encoder's two-byte head table. Links are 16-bit
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
  // Prefix lengths of the levels, shortest first. Level 0 is keyed exactly; the others are
  // hashed. Above 8 bytes a level's key mixes its first and last 8 bytes (for prefixes
  // above 16 bytes the chains would then hold every position sharing the whole prefix,
  // and a few more).
  static constexpr std::array<std::uint32_t, 7> kLevelBytes = {2, 3, 4, 5, 6, 8, 16};
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
  // Inserts first..last in order (none when first > last; last < 2^32 - 1).
  void insert_run(std::uint32_t first, std::uint32_t last);

  // The same choice as MatchChooser's plain walk at `position`, the newest inserted position,
  // when that choice gains more than `bar`; no match (all zero) when it gains `bar` or less.
  // With bar 0 this is the plain walk's choice itself.
  [[nodiscard]] MatchChoice choose_match(std::uint32_t position, std::uint32_t limit, std::uint32_t index_bits,
                                         std::uint32_t last_distance, std::uint32_t bar = 0) const;

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  // The level with the longest prefix not above a minimum length, for lengths up to the
  // longest prefix (longer ones use the top level).
  static constexpr auto kLevelForLength = [] {
    std::array<std::uint8_t, kLevelBytes.back() + 1> table{};
    for (std::size_t length = 0; length < table.size(); ++length) {
      for (std::size_t level = 0; level < kLevels; ++level) {
        if (kLevelBytes[level] <= length) table[length] = static_cast<std::uint8_t>(level);
      }
    }
    return table;
  }();

  // Bytes from a position that the key of a level reads: its prefix, but at least a whole
  // 32- or 64-bit word.
  static constexpr std::uint32_t span(std::size_t level) {
    const std::uint32_t bytes = kLevelBytes[level];
    return level == 0 ? 2 : bytes <= 4 ? 4 : bytes <= 8 ? 8 : bytes;
  }


  // Whether `position` is on the chains of `level` (its key lies within the input).
  [[nodiscard]] bool on_level(std::size_t level, std::uint32_t position) const {
    return length_ >= span(level) && position <= length_ - span(level);
  }
  // The next older position on `level`'s chain of `position`, or kNone (a step of 0, or
  // one of position + 1: see insert()).
  [[nodiscard]] std::uint32_t older(std::size_t level, std::uint32_t position) const {
    const std::uint16_t step = links_[level][position & ring_mask_];
    return step == 0 ? kNone : position - step;
  }
  [[nodiscard]] std::size_t top_level(std::uint32_t position) const;
  [[nodiscard]] MatchChoice walk(std::uint32_t position, std::uint32_t limit, std::uint32_t index_bits,
                                 std::uint32_t last_distance, std::uint32_t bar, std::uint32_t start_length,
                                 bool& near_limit) const;
  [[nodiscard]] std::uint32_t first_older(std::size_t level, std::uint32_t position, std::uint32_t after,
                                          std::uint32_t shared) const;

  const std::uint8_t* input_;
  std::uint32_t length_;
  std::uint32_t window_;
  std::uint32_t ring_mask_;  // ring size - 1; the ring holds at least W positions
  std::uint32_t hash_bits_;
  std::array<std::uint32_t*, kLevels> heads_{};  // newest position + 1 per key, 0 = none
  std::array<std::uint16_t*, kLevels> links_{};
};

}  // namespace mytarvo::codec
