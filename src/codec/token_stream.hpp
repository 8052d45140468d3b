// Writes the tokens of a packed block's bit stream and keeps the coding state (last
// distance, index bits, literal width and base) exactly as a reader of the stream will hold
// it at the same point. Which token to write is the encoder's decision; this class only
// lays out its bits.
#pragma once

#include <bit>
#include <cassert>
#include <cstdint>

#include "codec/packed_block.hpp"

namespace mytarvo::codec {

// The bytes a literal can stand for: width 7 covers the 128 values from `base` upwards
// (modulo 256), width 8 (base 0) every byte.
struct LiteralRange {
  std::uint32_t width = 8;
  std::uint32_t base = 0;

  [[nodiscard]] bool covers(std::uint8_t byte) const {
    return width == 8 || static_cast<std::uint8_t>(byte - base) < 0x80u;
  }
  friend bool operator==(const LiteralRange&, const LiteralRange&) = default;
};

inline constexpr LiteralRange kFullRange{8, 0};

// The literal width change token: 0 0 1, 0 0 0 0, 0, w, and for width 7 the base in 8 bits.
template <typename BitSink>
void put_literal_width_change(BitSink& bits, const LiteralRange& range) {
  bits.put(0b001'0000'0u, 8);
  if (range.width == 8) {
    bits.put_bit(1);
  } else {
    bits.put(range.base & 0xFFu, 9);  // w = 0, then the base
  }
}

class TokenStream {
 public:
  // Writes into `dest` from byte offset 10 (after the header); words must end within
  // `capacity` bytes.
  TokenStream(std::uint8_t* dest, std::uint32_t capacity) : bits_(dest, capacity, kHeaderSize) {}

  [[nodiscard]] std::uint32_t last_distance() const { return last_distance_; }
  [[nodiscard]] std::uint32_t index_bits() const { return index_bits_; }
  [[nodiscard]] const LiteralRange& literal_range() const { return range_; }
  // True once a word would have ended beyond the capacity; what follows is not stored.
  [[nodiscard]] bool overflowed() const { return bits_.overflowed(); }
  [[nodiscard]] std::uint32_t bytes_stored() const { return static_cast<std::uint32_t>(bits_.bytes_stored()); }

  void literal_width_change(const LiteralRange& range) {
    range_ = range;
    put_literal_width_change(bits_, range);
  }

  // 0 0 0, seven 0 bits, n = 1, then the index bits in 4 bits (values 8 to 15).
  void index_bits_change(std::uint32_t index_bits) {
    assert(index_bits >= 8 && index_bits <= 15);
    index_bits_ = index_bits;
    bits_.put(0b000'0000000'01u, 12);
    bits_.put(index_bits, 4);
  }

  void literal(std::uint8_t byte) {
    assert(range_.covers(byte));
    bits_.put((1u << range_.width) | ((byte - range_.base) & 0xFFu), range_.width + 1);
  }
  void zero_byte() { bits_.put(0b001'0000u | kCodeZeroByte, 7); }
  // Copy of one byte from 1 to 14 bytes back: code distance + 1.
  void near_byte(std::uint32_t distance) {
    assert(distance >= 1 && distance <= kNearMaxDistance);
    bits_.put(0b001'0000u | (distance + 1u), 7);
  }

  // A copy of `length` bytes from `distance`: a repeat match when the distance is the last
  // one, else a short match when it fits one, else a long match. The caller guarantees
  // length - length_bonus(distance) >= 2 for a long match.
  void copy(std::uint32_t distance, std::uint32_t length) {
    if (distance == last_distance_) {
      bits_.put(0b01'00u, 4);  // prefix, gamma 2
      put_gamma(length);
      return;
    }
    last_distance_ = distance;
    if (distance <= kShortMaxDistance && length <= kShortMaxLength) {
      bits_.put((distance << kShortLengthBits) | (length - kShortMinLength), 3 + kShortDistanceBits + kShortLengthBits);
      return;
    }
    assert(length >= length_bonus(distance) + 2);
    bits_.put(0b01u, 2);
    put_gamma((distance >> index_bits_) + kLongMatchGammaBase);
    bits_.put(distance & ((1u << index_bits_) - 1u), index_bits_);
    put_gamma(length - length_bonus(distance));
  }

  // The end marker, then 0 bits up to the end of the last word.
  void end() {
    bits_.put(0, kEndMarkerBits);
    bits_.finish();
  }

 private:
  // A gamma number below 65536 goes out as one field of at most 30 bits: the value's bits
  // below its leading 1 spread to the odd bit positions, and a continuation bit 1 at every
  // even position but bit 0. Larger values (only with windows above 65536) bit by bit.
  void put_gamma(std::uint32_t value) {
    assert(value >= kMinGamma);
    if (value > 0xFFFFu) {
      bits_.put_gamma(value);
      return;
    }
    const unsigned digits = static_cast<unsigned>(std::bit_width(value)) - 1u;  // 1 to 15
    std::uint32_t x = value & ((1u << digits) - 1u);
    x = (x | x << 8) & 0x00FF00FFu;
    x = (x | x << 4) & 0x0F0F0F0Fu;
    x = (x | x << 2) & 0x33333333u;
    x = (x | x << 1) & 0x55555555u;
    const std::uint32_t continuation = 0x55555554u & ((1u << (2 * digits)) - 1u);
    bits_.put(x << 1 | continuation, 2 * digits);
  }

  BitWriter bits_;
  std::uint32_t last_distance_ = kInitialLastDistance;
  std::uint32_t index_bits_ = kInitialIndexBits;
  LiteralRange range_ = kFullRange;
};

}  // namespace mytarvo::codec
