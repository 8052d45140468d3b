// Test helper: a token-by-token reader of packed blocks (see token_dump.hpp).
#include "codec/token_dump.hpp"

#include "codec/packed_block.hpp"

namespace mytarvo::test {

std::string Token::text() const {
  switch (kind) {
    case Literal: return "lit " + std::to_string(a);
    case Zero: return "zero";
    case Near: return "near " + std::to_string(a);
    case Repeat: return "rep " + std::to_string(b);
    case Short: return "short " + std::to_string(a) + " " + std::to_string(b);
    case Long: return "long " + std::to_string(a) + " " + std::to_string(b);
    case IndexBits: return "ib " + std::to_string(a);
    case Width: return "width " + std::to_string(a) + " " + std::to_string(b);
    case RawRun: return "raw " + std::to_string(b);
    case End: return "end";
  }
  return "?";
}

namespace {

class Reader {
 public:
  explicit Reader(const std::vector<std::uint8_t>& block) : block_(block) {}
  std::uint32_t bit() {
    if (used_ == 32) {
      if (pos_ + 4 > block_.size()) {
        bad_ = true;
        return 0;
      }
      word_ = codec::load_le32(block_.data() + pos_);
      pos_ += 4;
      used_ = 0;
      ++words_;
    }
    ++consumed_;
    return (word_ >> (31 - used_++)) & 1u;
  }
  [[nodiscard]] std::uint32_t consumed() const { return consumed_; }
  std::uint32_t field(unsigned n) {
    std::uint32_t v = 0;
    for (unsigned i = 0; i < n; ++i) v = v * 2 + bit();
    return v;
  }
  std::uint32_t gamma() {
    std::uint32_t v = 1;
    do {
      v = v * 2 + bit();
    } while (bit() == 1 && !bad_);
    return v;
  }
  [[nodiscard]] bool bad() const { return bad_; }
  [[nodiscard]] std::uint32_t words() const { return words_; }
  [[nodiscard]] std::uint32_t rest_of_word() {
    const unsigned left = 32 - used_;
    return left == 0 ? 0 : field(left);
  }

 private:
  const std::vector<std::uint8_t>& block_;
  std::size_t pos_ = codec::kHeaderSize;
  std::uint32_t word_ = 0;
  unsigned used_ = 32;
  std::uint32_t words_ = 0;
  std::uint32_t consumed_ = 0;
  bool bad_ = false;
};

bool copy_bytes(std::vector<std::uint8_t>& out, std::uint32_t distance, std::uint32_t length) {
  if (distance == 0 || distance > out.size()) return false;
  for (std::uint32_t i = 0; i < length; ++i) out.push_back(out[out.size() - distance]);
  return true;
}

}  // namespace

Dump dump_block(const std::vector<std::uint8_t>& block) {
  Dump d;
  if (block.size() < codec::kHeaderSize || block[0] != 0x51 || block[1] != 0x5A) return d;
  Reader r(block);
  std::uint32_t last = 1, index_bits = 8, width = 0, base = 0;
  for (int guard = 0; guard < 50'000'000 && !r.bad(); ++guard) {
    Token t{Token::End};
    t.position = static_cast<std::uint32_t>(d.bytes.size());
    if (r.bit() == 1) {
      if (width == 0) return d;
      const std::uint32_t v = r.field(width);
      t = Token{Token::Literal, t.position, (v + base) & 0xFF, 0};
      d.bytes.push_back(static_cast<std::uint8_t>(t.a));
    } else if (r.bit() == 1) {
      const std::uint32_t g = r.gamma();
      if (g == 2) {
        const std::uint32_t len = r.gamma();
        t = Token{Token::Repeat, t.position, last, len};
        if (!copy_bytes(d.bytes, last, len)) return d;
      } else {
        const std::uint32_t low = r.field(index_bits);
        last = ((g - 3) << index_bits) | low;
        const std::uint32_t coded = r.gamma();
        t = Token{Token::Long, t.position, last, coded + codec::length_bonus(last)};
        if (!copy_bytes(d.bytes, last, t.b)) return d;
      }
    } else if (r.bit() == 0) {
      const std::uint32_t dist = r.field(7);
      const std::uint32_t n = r.field(2);
      if (dist != 0) {
        last = dist;
        t = Token{Token::Short, t.position, dist, n + 2};
        if (!copy_bytes(d.bytes, dist, n + 2)) return d;
      } else if (n == 0) {
        t.bit_end = r.consumed();
        d.tokens.push_back(t);
        d.tail_bits = r.rest_of_word();
        d.words = r.words();
        d.ok = !r.bad();
        return d;
      } else {
        index_bits = r.field(n + 3);
        t = Token{Token::IndexBits, t.position, index_bits, 0};
      }
    } else {
      const std::uint32_t v = r.field(4);
      if (v == 1) {
        t = Token{Token::Zero, t.position, 0, 0};
        d.bytes.push_back(0);
      } else if (v >= 2) {
        t = Token{Token::Near, t.position, v - 1, 0};
        if (!copy_bytes(d.bytes, v - 1, 1)) return d;
      } else if (r.bit() == 1) {
        std::uint32_t count = 0;
        do {
          for (int i = 0; i < 256; ++i) d.bytes.push_back(static_cast<std::uint8_t>(r.field(8)));
          count += 256;
        } while (r.bit() == 1 && !r.bad());
        t = Token{Token::RawRun, t.position, 0, count};
      } else {
        const std::uint32_t w = r.bit();
        width = 7 + w;
        base = w == 0 ? r.field(8) : 0;
        t = Token{Token::Width, t.position, width, base};
      }
    }
    t.bit_end = r.consumed();
    d.tokens.push_back(t);
  }
  return d;
}

std::vector<std::string> token_texts(const Dump& dump) {
  std::vector<std::string> out;
  for (const Token& t : dump.tokens) {
    if (t.kind != Token::Width && t.kind != Token::IndexBits) out.push_back(t.text());
  }
  return out;
}

}  // namespace mytarvo::test
