// The shortest-path parse of the best mode: for one chunk of the input, the sequence of
// tokens whose stream is shortest in bits, given the match candidates of every position,
// the literal range and index bits in force at every position, and the last distance at
// the chunk's start.
//
// Positions are the nodes of a graph whose edges are tokens priced with their exact bit
// sizes (best_cost.hpp): one byte (zero byte, near byte or literal), a raw run of 256
// bytes, a repeat match of any length up to the one found at the last distance, and every
// length of every candidate (short or long match). One forward pass relaxes the edges in
// position order. The last distance an arrival leaves prices the repeat matches leaving
// it, so each position keeps its cheapest arrivals for two different last distances
// (the parse is exact for the path it takes, and optimal up to keeping only two). Only
// the cheapest arrival needs to try the other matches: they all set the same last
// distance, whichever arrival they leave from. A match of
// `kCommitLength` bytes or more is taken as it stands: the positions it covers are not
// expanded, which keeps long runs linear.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/best_search.hpp"
#include "codec/token_stream.hpp"

namespace mytarvo::codec::best {

// One token of a parse. Distance 0: a single byte (length 1) or a raw run (length 256);
// otherwise a copy of `length` bytes from `distance`.
struct ParseStep {
  std::uint32_t length;
  std::uint32_t distance;
};

// The literal range and index bits the stream is to hold at each position of a chunk, in
// stretches of fixed length.
struct Schedule {
  static constexpr std::uint32_t kLiteralSpan = 128;
  static constexpr std::uint32_t kIndexSpan = 1024;
  std::vector<LiteralRange> ranges;       // one per literal stretch
  std::vector<std::uint8_t> index_bits;   // one per index stretch

  [[nodiscard]] const LiteralRange& range_at(std::uint32_t offset) const { return ranges[offset / kLiteralSpan]; }
  [[nodiscard]] std::uint32_t index_bits_at(std::uint32_t offset) const { return index_bits[offset / kIndexSpan]; }
  // The same choice at every position of a chunk of `length` positions.
  static Schedule uniform(std::uint32_t length, LiteralRange range, std::uint32_t index_bits);
};

// What the parser reads of a chunk [start, end) of the input.
struct ChunkView {
  const std::uint8_t* data;  // the whole input
  std::uint32_t start;
  std::uint32_t end;
  const std::uint32_t* first;         // candidates of offset i: list[first[i] .. first[i + 1])
  const MatchCandidate* list;
  const std::uint8_t* cheap;          // per offset: 1 when a zero or near byte can code it
};

class ChunkParser {
 public:
  static constexpr std::uint32_t kCommitLength = TreeMatchFinder::kTreeLength;

  // Fills `steps` with the cheapest parse of the chunk and returns its size in bits (the
  // tokens only, without literal-range or index-bits changes).
  std::uint64_t parse(const ChunkView& chunk, const Schedule& schedule, std::uint32_t last_distance,
                      std::vector<ParseStep>& steps);

 private:
  // Arrivals kept per offset: the cheapest for each of up to kArrivals last distances.
  static constexpr std::uint32_t kArrivals = 2;
  struct Arrival {
    std::uint32_t cost;
    std::uint32_t length;    // of the token that arrives
    std::uint32_t distance;  // of that token (0: single byte or raw run)
    std::uint32_t last;      // last distance after it
    std::uint32_t from;      // the arrival it leaves from (offset * kArrivals + slot)
  };
  void relax(std::uint32_t to, const Arrival& a);
  void relax_single(const ChunkView& chunk, const Schedule& schedule, std::uint32_t i, std::uint32_t node);
  std::uint32_t relax_repeat(const ChunkView& chunk, std::uint32_t i, std::uint32_t node);
  void relax_candidates(const ChunkView& chunk, const Schedule& schedule, std::uint32_t i, std::uint32_t node);
  void trace_back(std::uint32_t length, std::vector<ParseStep>& steps) const;
  [[nodiscard]] std::uint32_t cheapest(std::uint32_t offset) const;

  // Per offset 0 .. chunk length, kArrivals slots (empty: cost kNoCost).
  std::vector<Arrival> arrivals_;
};

// Number of bytes equal at a and b, up to `limit`.
std::uint32_t common_length(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t limit);

}  // namespace mytarvo::codec::best
