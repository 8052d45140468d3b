// The binary-tree match finder of the best mode (see best_search.hpp for the algorithm).
#include "codec/best_search.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <new>

#include "codec/best_parse.hpp"
#include "codec/packed_block.hpp"

namespace mytarvo::codec::best {

namespace {
constexpr std::uint32_t kPairValues = 65536;

// Bytes equal at a and b from offset `from`, up to `limit`; a word at a time while one fits.
std::uint32_t extend(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t from, std::uint32_t limit) {
  return from + common_length(a + from, b + from, limit - from);
}

// Cuts the lengths of the matches from `first` on to `limit`; of those the cut makes equally
// long only the nearest stays, and none shorter than 2. Returns `longest`.
std::uint32_t cut_to_limit(std::vector<MatchCandidate>& out, std::size_t first, std::uint32_t limit,
                           std::uint32_t longest) {
  std::size_t kept = first;
  for (std::size_t i = first; i < out.size(); ++i) {
    const std::uint32_t len = std::min(out[i].length, limit);
    if (len < 2 || (kept > first && out[kept - 1].length >= len)) continue;
    out[kept++] = {len, out[i].distance};
  }
  out.resize(kept);
  return longest;
}

std::unique_ptr<std::uint32_t[]> filled(std::size_t count, std::uint32_t value) {
  std::unique_ptr<std::uint32_t[]> p(new (std::nothrow) std::uint32_t[count]);
  if (p) std::fill_n(p.get(), count, value);
  return p;
}
}  // namespace

std::uint64_t TreeMatchFinder::bytes_needed(std::uint32_t window) {
  return 8ull * window + 4ull * ((1u << kHashBits) + kPairValues);
}

bool TreeMatchFinder::start(const std::uint8_t* data, std::uint32_t size, std::uint32_t window) noexcept {
  data_ = data;
  size_ = size;
  window_ = std::max<std::uint32_t>(1, std::min(window, size));
  assert(window_ >= size || std::has_single_bit(window_));
  mask_ = window_ >= size ? 0xFFFFFFFFu : window_ - 1;
  links_.reset(new (std::nothrow) std::uint32_t[2 * static_cast<std::size_t>(window_)]);
  roots_ = filled(std::size_t{1} << kHashBits, kNone);
  pairs_ = filled(kPairValues, kNone);
  return links_ && roots_ && pairs_;
}

std::uint32_t TreeMatchFinder::hash3(std::uint32_t pos) const {
  const std::uint32_t v = data_[pos] | data_[pos + 1] << 8 | data_[pos + 2] << 16;
  return (v * 0x9E3779B1u) >> (32 - kHashBits);
}

std::uint32_t TreeMatchFinder::find(std::uint32_t pos, std::uint32_t limit, std::vector<MatchCandidate>& out) {
  return insert<true>(pos, limit, &out);
}

void TreeMatchFinder::skip(std::uint32_t pos) { insert<false>(pos, 0, nullptr); }

// One walk down the tree of pos's hash, rebuilding it with pos at the root. `lt_tail` and
// `gt_tail` are the link slots where the next node smaller (larger) than pos is hung;
// `lt_len` and `gt_len` are the prefixes pos is known to share with every node still
// below them, so each comparison starts at the smaller of the two.
template <bool kReport>
std::uint32_t TreeMatchFinder::insert(std::uint32_t pos, std::uint32_t limit, std::vector<MatchCandidate>* out) {
  const std::uint32_t left_over = size_ - pos;
  if (left_over < 2) return 0;
  const std::uint8_t* here = data_ + pos;
  std::size_t first = 0;
  if constexpr (kReport) first = out->size();
  std::uint32_t best = 0;
  std::uint32_t& pair = pairs_[here[0] | here[1] << 8];
  if constexpr (kReport) {
    if (in_window(pos, pair) && pair < pos) {
      best = 2;
      out->push_back({2, pos - pair});
    }
  }
  pair = pos;
  if (left_over < 3) {
    if constexpr (kReport) return cut_to_limit(*out, first, limit, best);
    return 0;
  }

  const std::uint32_t max_len = std::min(left_over, kTreeLength);
  std::uint32_t& root = roots_[hash3(pos)];
  std::uint32_t node = root;
  root = pos;
  std::uint32_t* lt_tail = &left(pos);
  std::uint32_t* gt_tail = &right(pos);
  std::uint32_t lt_len = 0;
  std::uint32_t gt_len = 0;
  for (std::uint32_t depth = kMaxDepth; in_window(pos, node) && depth > 0; --depth) {
    const std::uint8_t* there = data_ + node;
    std::uint32_t len = std::min(lt_len, gt_len);
    len = extend(here, there, len, max_len);
    if constexpr (kReport) {
      if (len > best) {
        // A match that reaches the walk's limit is measured on to the end of the input.
        best = len == max_len ? extend(here, there, len, left_over) : len;
        if (out->size() > first && out->back().distance >= pos - node) out->pop_back();  // a nearer, longer one
        out->push_back({best, pos - node});
      }
    }
    if (len == max_len) {  // pos takes over node's place and children
      *lt_tail = left(node);
      *gt_tail = right(node);
      if constexpr (kReport) return cut_to_limit(*out, first, limit, best);
      return 0;
    }
    if (there[len] < here[len]) {
      *lt_tail = node;
      lt_tail = &right(node);
      node = *lt_tail;
      lt_len = len;
    } else {
      *gt_tail = node;
      gt_tail = &left(node);
      node = *gt_tail;
      gt_len = len;
    }
  }
  *lt_tail = kNone;
  *gt_tail = kNone;
  if constexpr (kReport) return cut_to_limit(*out, first, limit, best);
  return 0;
}

}  // namespace mytarvo::codec::best
