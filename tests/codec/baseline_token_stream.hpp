// Frozen copy of the encoder's token writer and bit writer as they were before the speed
// work, kept only for the baseline comparison tests (see baseline_encoder.hpp).
#pragma once

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>

#include "codec/packed_block.hpp"

namespace mytarvo::test::baseline {

using namespace ::mytarvo::codec;  // format constants, length_bonus, store_le32

// ---- Bit writer -----------------------------------------------------------------------------
// A sentinel accumulator: the bits collected so far sit below a single 1 bit (the
// sentinel). When the sentinel would leave bit 31, the 32 collected bits are stored as the
// next word, least significant byte first. Words are stored only while they end within
// `capacity` bytes of the destination; the first word that would not sets overflowed().
class BitWriter {
 public:
  BitWriter(std::uint8_t* dest, std::size_t capacity, std::size_t start)
      : dest_(dest), capacity_(capacity), pos_(start) {}

  // Appends the low `count` bits of `value` (count 0..32), most significant first.
  void put(std::uint32_t value, unsigned count) {
    const unsigned room = room_in_word();
    if (count < room) {
      acc_ = (acc_ << count) | (value & low_mask(count));
      return;
    }
    // Fill the word, store it, and start again with the rest behind a new sentinel.
    const unsigned rest = count - room;
    const std::uint32_t head = (value >> rest) & low_mask(room);
    store_word(room == 32 ? head : (acc_ << room) | head);
    acc_ = (1u << rest) | (value & low_mask(rest));
  }
  void put_bit(std::uint32_t bit) { put(bit, 1); }

  // Gamma number (value >= 2): each bit below the leading 1, then a continuation bit that
  // is 1 while more value bits follow. Values 0 and 1 have no code: debug
  // builds assert, others write nothing.
  void put_gamma(std::uint32_t value) {
    assert(value >= kMinGamma);
    const int top = static_cast<int>(std::bit_width(value)) - 1;  // index of the leading 1
    for (int i = top - 1; i >= 0; --i) {
      put(((value >> i) & 1u) << 1 | (i > 0 ? 1u : 0u), 2);
    }
  }

  // Fills the last word with 0 bits (nothing when it is empty).
  void finish() {
    if (acc_ != 1u) put(0, room_in_word());
  }

  [[nodiscard]] bool overflowed() const { return overflowed_; }
  // Bytes of the destination used so far: header plus every stored word.
  [[nodiscard]] std::size_t bytes_stored() const { return pos_; }

 private:
  // Bits still to collect before the word is complete: 32 minus the sentinel's position.
  [[nodiscard]] unsigned room_in_word() const { return 1u + static_cast<unsigned>(std::countl_zero(acc_)); }
  static constexpr std::uint32_t low_mask(unsigned n) { return n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1u; }
  void store_word(std::uint32_t word) {
    if (overflowed_ || capacity_ < kWordSize || pos_ > capacity_ - kWordSize) {
      overflowed_ = true;
      return;
    }
    store_le32(dest_ + pos_, word);
    pos_ += kWordSize;
  }

  std::uint8_t* dest_;
  std::size_t capacity_;
  std::size_t pos_;
  std::uint32_t acc_ = 1;  // the lone sentinel
  bool overflowed_ = false;
};

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

  // 0 0 1, 0 0 0 0, 0, w, and for width 7 the base in 8 bits.
  void literal_width_change(const LiteralRange& range) {
    range_ = range;
    bits_.put(0b001'0000'0u, 8);
    if (range.width == 8) {
      bits_.put_bit(1);
    } else {
      bits_.put(range.base & 0xFFu, 9);  // w = 0, then the base
    }
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
      bits_.put_gamma(length);
      return;
    }
    last_distance_ = distance;
    if (distance <= kShortMaxDistance && length <= kShortMaxLength) {
      bits_.put((distance << kShortLengthBits) | (length - kShortMinLength), 3 + kShortDistanceBits + kShortLengthBits);
      return;
    }
    assert(length >= length_bonus(distance) + 2);
    bits_.put(0b01u, 2);
    bits_.put_gamma((distance >> index_bits_) + kLongMatchGammaBase);
    bits_.put(distance & ((1u << index_bits_) - 1u), index_bits_);
    bits_.put_gamma(length - length_bonus(distance));
  }

  // The end marker, then 0 bits up to the end of the last word.
  void end() {
    bits_.put(0, kEndMarkerBits);
    bits_.finish();
  }

 private:
  BitWriter bits_;
  std::uint32_t last_distance_ = kInitialLastDistance;
  std::uint32_t index_bits_ = kInitialIndexBits;
  LiteralRange range_ = kFullRange;
};

}  // namespace mytarvo::test::baseline
