// Match finder of the best mode: for each input position in turn, the earlier positions
// whose bytes repeat those at it, as a list of (length, distance) pairs of strictly
// increasing length, each at the nearest distance found for it.
//
// Algorithm: a binary tree of the positions of the window per hash of three bytes. Every
// tree is kept ordered by the bytes that follow each position (lexicographically), with
// the newest position at its root. Inserting position p walks down from the root,
// comparing p's bytes with each node's, and rebuilds the tree with p as its new root: the
// nodes smaller than p hang to its left, the larger ones to its right. The walk meets the
// positions sharing the longest prefixes with p, nearest first among equals, so it
// reports every new best length on the way. Two facts bound the work: the walk stops after
// `kMaxDepth` nodes, and a match of `kTreeLength` bytes or more ends it at once (the node
// found is then replaced by p in the tree, its children taken over). Matches of two bytes
// come from a table of the newest position of every two-byte value.
//
// Memory: two 32-bit child links per window slot plus two fixed tables. A window smaller
// than the input is a ring: a link to a position that has left the window ends the walk.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace mytarvo::codec::best {

struct MatchCandidate {
  std::uint32_t length;
  std::uint32_t distance;
};

class TreeMatchFinder {
 public:
  static constexpr std::uint32_t kMaxDepth = 128;
  static constexpr std::uint32_t kTreeLength = 256;  // a match this long ends a walk
  static constexpr unsigned kHashBits = 17;

  // Bytes the finder needs for a window of `window` positions.
  static std::uint64_t bytes_needed(std::uint32_t window);

  // Prepares a search over `size` bytes of `data` with a window of `window` positions (at
  // most `size`; must be a power of two when smaller than it). False when memory cannot be
  // had.
  bool start(const std::uint8_t* data, std::uint32_t size, std::uint32_t window) noexcept;

  // Positions are given in increasing order, each once, to find() or skip().
  // Appends the matches at `pos` to `out`, lengths cut to `limit` (the bytes the caller can
  // use from pos), and returns the longest length before the cut (0 when none).
  std::uint32_t find(std::uint32_t pos, std::uint32_t limit, std::vector<MatchCandidate>& out);
  // Enters `pos` into the index without reporting matches.
  void skip(std::uint32_t pos);

  [[nodiscard]] std::uint32_t window() const { return window_; }

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;
  template <bool kReport>
  std::uint32_t insert(std::uint32_t pos, std::uint32_t limit, std::vector<MatchCandidate>* out);
  [[nodiscard]] bool in_window(std::uint32_t pos, std::uint32_t candidate) const {
    return candidate != kNone && pos - candidate < window_;
  }
  [[nodiscard]] std::uint32_t hash3(std::uint32_t pos) const;
  std::uint32_t& left(std::uint32_t pos) { return links_[2 * static_cast<std::size_t>(pos & mask_)]; }
  std::uint32_t& right(std::uint32_t pos) { return links_[2 * static_cast<std::size_t>(pos & mask_) + 1]; }

  const std::uint8_t* data_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t window_ = 0;
  std::uint32_t mask_ = 0;  // slot of a position: pos & mask_ (all ones when nothing wraps)
  std::unique_ptr<std::uint32_t[]> links_;
  std::unique_ptr<std::uint32_t[]> roots_;  // tree root per three-byte hash
  std::unique_ptr<std::uint32_t[]> pairs_;  // newest position per two-byte value
};

}  // namespace mytarvo::codec::best
