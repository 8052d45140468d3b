// The plain second encoder of the tests. Written for clarity, not speed: the index is a
// list of positions per two-byte key, the live positions being the last W inserted, and
// the bit stream is collected as single bits before it is cut into words.
#include "codec/reference_encoder.hpp"

#include <algorithm>
#include <cstddef>

#include "codec/packed_block.hpp"

namespace mytarvo::test::reference {
namespace {

constexpr std::uint32_t kNoResume = 0xFFFFFFFFu;

std::uint32_t bit_length(std::uint32_t v) {
  std::uint32_t n = 0;
  while (v != 0) {
    ++n;
    v /= 2;
  }
  return n;
}

std::uint32_t gamma_size(std::uint32_t v) { return 2 * (bit_length(v) - 1); }

std::uint32_t bonus(std::uint32_t d) {
  if (d <= 127) return 4;
  if (d <= 638) return 0;
  if (d <= 14334) return 1;
  if (d <= 65535) return 2;
  return 3;
}

// Bits in the order written; cut into words at the end.
class Bits {
 public:
  void field(std::uint32_t value, unsigned width) {
    for (unsigned i = width; i > 0; --i) bits_.push_back(static_cast<std::uint8_t>((value >> (i - 1)) & 1u));
  }
  void gamma(std::uint32_t value) {
    std::vector<std::uint8_t> digits;  // value in base 2 without its leading 1, lowest first
    for (std::uint32_t v = value; v > 1; v /= 2) digits.push_back(static_cast<std::uint8_t>(v % 2));
    std::reverse(digits.begin(), digits.end());
    for (std::size_t i = 0; i < digits.size(); ++i) {
      bits_.push_back(digits[i]);
      bits_.push_back(i + 1 < digits.size() ? 1 : 0);
    }
  }
  std::vector<std::uint8_t> words() const {
    std::vector<std::uint8_t> out;
    for (std::size_t start = 0; start < bits_.size(); start += 32) {
      std::uint32_t w = 0;
      for (std::size_t i = 0; i < 32; ++i) {
        w = w * 2 + (start + i < bits_.size() ? bits_[start + i] : 0u);
      }
      for (int b = 0; b < 4; ++b) out.push_back(static_cast<std::uint8_t>(w >> (8 * b)));
    }
    return out;
  }

 private:
  std::vector<std::uint8_t> bits_;
};

struct Found {
  bool found = false;
  std::uint32_t distance = 0;
  std::uint32_t length = 0;
  std::uint32_t where = 0;  // index in the key's list, for resuming
};

struct Choice {
  std::uint32_t distance = 0;
  std::uint32_t length = 0;
  std::uint32_t gain = 0;
};

class Encoder {
 public:
  Encoder(const std::vector<std::uint8_t>& in, std::uint32_t window) : in_(in), window_(window), lists_(65536) {}

  std::vector<std::uint8_t> run(std::int32_t no_checksum, std::vector<Decision>* trace);

 private:
  std::uint32_t key(std::uint32_t p) const { return in_[p] + 256u * in_[p + 1]; }
  void insert(std::uint32_t p) {
    lists_[key(p)].push_back(p);
    newest_ = p;
  }
  // Live: among the last W positions inserted.
  bool live(std::uint32_t q) const { return q + window_ > newest_; }
  bool same(std::uint32_t a, std::uint32_t b, std::uint32_t count) const {
    for (std::uint32_t i = 0; i < count; ++i) {
      if (in_[a + i] != in_[b + i]) return false;
    }
    return true;
  }

  Found find(std::uint32_t p, std::uint32_t m, std::uint32_t limit, std::uint32_t resume) const;
  Choice choose(std::uint32_t p, std::uint32_t limit) const;
  bool decide(std::uint32_t p, std::uint32_t limit, Choice& taken);
  void analyse(std::uint32_t from, std::uint32_t count);
  void width_change();
  void single(std::uint32_t p);
  void copy(std::uint32_t distance, std::uint32_t length);

  const std::vector<std::uint8_t>& in_;
  std::uint32_t window_;
  std::vector<std::vector<std::uint32_t>> lists_;
  std::uint32_t newest_ = 0;
  bool have_pending_ = false;
  Choice pending_;

  Bits bits_;
  std::uint32_t last_distance_ = 1;
  std::uint32_t index_bits_ = 8;
  std::uint32_t width_ = 8;
  std::uint32_t base_ = 0;
  std::uint32_t reach_ = 0;
};

Found Encoder::find(std::uint32_t p, std::uint32_t m, std::uint32_t limit, std::uint32_t resume) const {
  const std::vector<std::uint32_t>& list = lists_[key(p)];
  std::size_t i = resume == kNoResume ? list.size() : resume;
  while (i > 0) {
    --i;
    const std::uint32_t q = list[i];
    if (!live(q)) break;
    if (q >= p) continue;
    if (!same(q, p, m)) continue;
    std::uint32_t k = m;
    if (limit >= 4) {
      while (k < limit - 4) {
        if (same(q + k, p + k, 4)) {
          k += 4;
          continue;
        }
        while (k < limit && in_[q + k] == in_[p + k]) ++k;
        break;
      }
    }
    return Found{true, p - q, k, static_cast<std::uint32_t>(i)};
  }
  return Found{};
}

Choice Encoder::choose(std::uint32_t p, std::uint32_t limit) const {
  Choice best;
  std::uint32_t m = 2;
  std::uint32_t resume = kNoResume;
  bool have_previous = false;
  Found previous;
  for (;;) {
    const Found r = find(p, m, limit, resume);
    if (!r.found) break;
    if (have_previous && r.length == previous.length && r.distance == previous.distance) break;
    previous = r;
    have_previous = true;
    const std::uint32_t g = gain_of(r.distance, r.length, index_bits_, last_distance_);
    if (g > 0 && g > best.gain) {
      best = Choice{r.distance, r.length, g};
      if (r.distance <= 1 && r.length >= 65) break;
    }
    m = r.length;
    resume = r.where;
  }
  best.length = std::min(best.length, limit);
  return best;
}

// True for a match (stored in `taken`), false for a single byte.
bool Encoder::decide(std::uint32_t p, std::uint32_t limit, Choice& taken) {
  Choice current;
  if (have_pending_) {
    current = pending_;
    current.gain += 3;
    have_pending_ = false;
  } else {
    current = choose(p, limit);
  }
  insert(p + 1);
  Choice next = choose(p + 1, limit - 1);
  if (next.gain >= 3) next.gain -= 3;
  if ((next.length != 0 && next.gain > current.gain) || current.length == 0) {
    pending_ = next;
    have_pending_ = true;
    taken = next;
    return false;
  }
  taken = current;
  return true;
}

void Encoder::analyse(std::uint32_t from, std::uint32_t count) {
  std::uint32_t lo = 255;
  std::uint32_t hi = 0;
  for (std::uint32_t i = from; i < from + count; ++i) {
    lo = std::min<std::uint32_t>(lo, in_[i]);
    hi = std::max<std::uint32_t>(hi, in_[i]);
  }
  if (lo == hi) return;
  if (hi - lo >= 128) {
    width_ = 8;
    base_ = 0;
  } else {
    width_ = 7;
    base_ = lo;
  }
}

void Encoder::width_change() {
  bits_.field(0b001, 3);
  bits_.field(0, 4);
  bits_.field(0, 1);
  if (width_ == 8) {
    bits_.field(1, 1);
  } else {
    bits_.field(0, 1);
    bits_.field(base_, 8);
  }
}

void Encoder::single(std::uint32_t p) {
  const std::uint32_t b = in_[p];
  if (b == 0) {
    bits_.field(0b001, 3);
    bits_.field(1, 4);
    return;
  }
  const std::uint32_t n = std::min<std::uint32_t>(reach_, 14);
  for (std::uint32_t d = 1; d <= n; ++d) {
    if (in_[p - d] == b) {
      bits_.field(0b001, 3);
      bits_.field(d + 1, 4);
      return;
    }
  }
  const std::uint32_t v = (b + 256 - base_) % 256;
  if (width_ == 7 && v >= 128) {
    width_ = 8;
    base_ = 0;
    width_change();
  }
  bits_.field(1, 1);
  bits_.field((b + 256 - base_) % 256, width_);
}

void Encoder::copy(std::uint32_t distance, std::uint32_t length) {
  if (distance == last_distance_) {
    bits_.field(0b01, 2);
    bits_.gamma(2);
    bits_.gamma(length);
  } else if (distance <= 127 && length <= 5) {
    bits_.field(0b000, 3);
    bits_.field(distance, 7);
    bits_.field(length - 2, 2);
    last_distance_ = distance;
  } else {
    bits_.field(0b01, 2);
    bits_.gamma((distance >> index_bits_) + 3);
    bits_.field(distance & ((1u << index_bits_) - 1u), index_bits_);
    bits_.gamma(length - bonus(distance));
    last_distance_ = distance;
  }
}

std::vector<std::uint8_t> Encoder::run(std::int32_t no_checksum, std::vector<Decision>* trace) {
  const std::uint32_t n = static_cast<std::uint32_t>(in_.size());
  if (n < 10) return {};
  analyse(0, std::min<std::uint32_t>(n, 1024));
  std::uint32_t limit = window_ - 1;

  width_change();
  insert(0);
  if (in_[0] == 0) {
    bits_.field(0b001, 3);
    bits_.field(1, 4);
  } else {
    bits_.field(1, 1);
    bits_.field((in_[0] + 256u - base_) % 256u, width_);
  }
  insert(1);
  std::uint32_t counter = 1;
  std::uint32_t p = 1;

  while (p < n) {
    limit = std::min(limit, n - p);
    std::uint32_t length = 1;
    if (limit <= 3) {
      single(p);
    } else {
      if (counter >= 1024) {
        counter = 0;
        const std::uint32_t old_width = width_;
        const std::uint32_t old_base = base_;
        analyse(p, std::min<std::uint32_t>(limit, 1024));
        if (width_ != old_width || base_ != old_base) width_change();
      }
      reach_ = std::min(p, window_);
      if (reach_ > 49152) {
        const std::uint32_t wanted = reach_ > 65536 ? 10 : 9;
        if (wanted != index_bits_) {
          index_bits_ = wanted;
          bits_.field(0, 3);
          bits_.field(0, 7);
          bits_.field(1, 2);
          bits_.field(wanted, 4);
        }
      }
      Choice c;
      const bool match = decide(p, limit, c);
      if (trace != nullptr) trace->push_back(Decision{p, match, c.distance, c.length, c.gain});
      if (match) {
        copy(c.distance, c.length);
        length = c.length;
      } else {
        single(p);
      }
    }
    counter += length;
    for (std::uint32_t q = p + 2; q <= p + length; ++q) {
      if (q != n - 1) insert(q);
    }
    p += length;
  }
  bits_.field(0, 12);

  std::vector<std::uint8_t> block = {0x51, 0x5A};
  const std::uint32_t sum = no_checksum == 1 ? 0u : codec::block_checksum(in_.data(), in_.size());
  for (int b = 0; b < 4; ++b) block.push_back(static_cast<std::uint8_t>(n >> (8 * b)));
  for (int b = 0; b < 4; ++b) block.push_back(static_cast<std::uint8_t>(sum >> (8 * b)));
  const std::vector<std::uint8_t> words = bits_.words();
  block.insert(block.end(), words.begin(), words.end());
  if (block.size() > n) return {};
  return block;
}

}  // namespace

std::uint32_t gain_of(std::uint32_t distance, std::uint32_t length, std::uint32_t index_bits,
                      std::uint32_t last_distance) {
  std::uint32_t cost;
  if (distance == last_distance) {
    cost = gamma_size(length) - 1;
  } else if (distance <= 127 && length <= 5) {
    cost = 9;
  } else {
    const std::int64_t coded = static_cast<std::int64_t>(length) - bonus(distance);
    cost = 10 + gamma_size((distance >> index_bits) + 3) +
           (coded < 2 ? 1048575u : gamma_size(static_cast<std::uint32_t>(coded)));
  }
  const std::uint32_t value = 8 * length + 1;
  return value > cost ? value - cost : 0;
}

std::uint32_t window_for_level(std::int32_t level) {
  switch (static_cast<std::uint32_t>(level)) {
    case 0: return 1024;
    case 1: return 2048;
    case 2: return 4096;
    case 3: return 8192;
    case 4: return 16384;
    case 5: return 32768;
    case 6: return 40960;
    case 7: return 57344;
    default: return 65536;
  }
}

std::vector<std::uint8_t> encode(const std::vector<std::uint8_t>& input, std::uint32_t window,
                                 std::int32_t no_checksum, std::vector<Decision>* trace) {
  std::uint32_t w = window;
  if (w > 268435454u) w = 268435454u;
  if (w < 1024) w = 1024;
  if (w > input.size()) w = static_cast<std::uint32_t>(input.size());
  Encoder encoder(input, w);
  return encoder.run(no_checksum, trace);
}

}  // namespace mytarvo::test::reference
