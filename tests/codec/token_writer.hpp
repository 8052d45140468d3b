// Test helper: assembles packed blocks token by token with the bit writer, each field
// written and commented on its own, and keeps the bytes the tokens stand for (the model
// output) so that a decode can be compared with what the tokens mean.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "codec/packed_block.hpp"

namespace mytarvo::test {

class TokenWriter {
 public:
  explicit TokenWriter(std::size_t capacity = 1u << 18)
      : buffer_(capacity), writer_(buffer_.data(), capacity, codec::kHeaderSize) {}

  // ---- Coding state changes ----
  // Literal width 8, base 0: 0 0 1 | 0 0 0 0 | 0 (width change) | 1 (w = 1).
  TokenWriter& width8() {
    put(0b001, 3);  // prefix: four-bit code
    put(0, 4);      // code 0: raw run or width change
    put(0, 1);      // 0: width change
    put(1, 1);      // w = 1: width 8
    width_ = 8;
    base_ = 0;
    return *this;
  }
  // Literal width 7 with `base`: 0 0 1 | 0 0 0 0 | 0 | 0 (w = 0) | 8-bit base.
  TokenWriter& width7(std::uint8_t base) {
    put(0b001, 3);  // prefix: four-bit code
    put(0, 4);      // code 0
    put(0, 1);      // 0: width change
    put(0, 1);      // w = 0: width 7
    put(base, 8);   // literal base
    width_ = 7;
    base_ = base;
    return *this;
  }
  // Index bits `b` with the smallest field that holds it: 0 0 0 | 7-bit 0 | 2-bit n | (n+3)-bit b.
  TokenWriter& index_bits(std::uint32_t b) {
    const std::uint32_t n = b < 16 ? 1 : b < 32 ? 2 : 3;
    index_bits_raw(n, b);
    index_bits_ = b;
    return *this;
  }
  // Index-bits change with an explicit sub-code n (1..3) and value, valid or not.
  TokenWriter& index_bits_raw(std::uint32_t n, std::uint32_t b) {
    put(0b000, 3);  // prefix: short match / end / index bits
    put(0, 7);      // distance 0
    put(n, 2);      // n: field width n + 3
    put(b, n + 3);  // the new index bits
    return *this;
  }

  // ---- Tokens that produce bytes ----
  // Literal standing for `byte` under the current width and base: 1 | width-bit (byte - base).
  TokenWriter& literal(std::uint8_t byte) {
    const std::uint32_t code = static_cast<std::uint8_t>(byte - base_);
    EXPECT_NE(width_, 0u) << "literal before a width change";
    EXPECT_LT(code, 1u << width_) << "byte not reachable from the literal base";
    literal_code(code, width_);
    expected_.push_back(byte);
    return *this;
  }
  // Literal with an explicit code and width, whatever the state (model not updated).
  TokenWriter& literal_code(std::uint32_t code, unsigned width) {
    put(1, 1);         // prefix: literal
    put(code, width);  // code, added to the base by the reader
    return *this;
  }
  // Repeat match: 0 1 | gamma 2 | gamma length.
  TokenWriter& repeat(std::uint32_t length) {
    put(0b01, 2);                     // prefix: long or repeat match
    gamma(codec::kRepeatMatchGamma);  // g = 2: repeat
    gamma(length);                    // length, no bonus
    model_copy(last_distance_, length);
    return *this;
  }
  // Long match copying `total` bytes from `distance`: 0 1 | gamma g | low | gamma (total - bonus).
  TokenWriter& long_match(std::uint32_t distance, std::uint32_t total) {
    const std::uint32_t coded = total - codec::length_bonus(distance);
    EXPECT_GE(coded, 2u) << "length below the band's shortest";
    long_coded((distance >> index_bits_) + codec::kLongMatchGammaBase, distance & low_mask(), coded);
    last_distance_ = distance;
    model_copy(distance, total);
    return *this;
  }
  // Long match from explicit fields (model not updated).
  TokenWriter& long_coded(std::uint32_t g, std::uint32_t low, std::uint32_t coded_length) {
    put(0b01, 2);           // prefix: long or repeat match
    gamma(g);               // high part of the distance + 3
    put(low, index_bits_);  // low part, index-bits wide
    gamma(coded_length);    // length without the bonus
    return *this;
  }
  // Short match: 0 0 0 | 7-bit distance | 2-bit (length - 2).
  TokenWriter& short_match(std::uint32_t distance, std::uint32_t length) {
    short_raw(distance, length - codec::kShortMinLength);
    last_distance_ = distance;
    model_copy(distance, length);
    return *this;
  }
  TokenWriter& short_raw(std::uint32_t distance, std::uint32_t n) {
    put(0b000, 3);     // prefix: short match / end / index bits
    put(distance, 7);  // distance 1..127
    put(n, 2);         // length - 2
    return *this;
  }
  // Zero byte: 0 0 1 | 0 0 0 1.
  TokenWriter& zero_byte() {
    put(0b001, 3);  // prefix: four-bit code
    put(1, 4);      // code 1: zero byte
    expected_.push_back(0);
    return *this;
  }
  // Near byte from `distance` (1..14): 0 0 1 | 4-bit distance + 1. Last distance unchanged.
  TokenWriter& near(std::uint32_t distance) {
    put(0b001, 3);         // prefix: four-bit code
    put(distance + 1, 4);  // code 2..15
    model_copy(distance, 1);
    return *this;
  }
  // Raw run of 256·k bytes: 0 0 1 | 0 0 0 0 | 1 | (256 bytes | continuation bit) k times.
  TokenWriter& raw_run(const std::vector<std::uint8_t>& bytes) {
    EXPECT_TRUE(!bytes.empty() && bytes.size() % codec::kRawRunBytes == 0);
    put(0b001, 3);  // prefix: four-bit code
    put(0, 4);      // code 0
    put(1, 1);      // 1: raw run
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      put(bytes[i], 8);                                                      // byte as it stands
      if ((i + 1) % codec::kRawRunBytes == 0) put(i + 1 < bytes.size(), 1);  // continuation
    }
    expected_.insert(expected_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  // End marker: 0 0 0 | 7-bit 0 | 2-bit 0.
  TokenWriter& end() {
    put(0b000, 3);  // prefix
    put(0, 7);      // distance 0
    put(0, 2);      // n = 0: end
    return *this;
  }

  // Any bits, for streams outside the token set.
  TokenWriter& put(std::uint32_t value, unsigned count) {
    writer_.put(value, count);
    bits_ += count;
    return *this;
  }
  TokenWriter& gamma(std::uint32_t value) {
    writer_.put_gamma(value);
    bits_ += codec::gamma_bits(value);
    return *this;
  }

  // The block: header with the model's size and checksum, and the finished words.
  std::vector<std::uint8_t> block() { return block_with(size(), codec::block_checksum(expected_.data(), size())); }
  std::vector<std::uint8_t> block_with(std::uint32_t unpacked_size, std::uint32_t checksum) {
    writer_.finish();
    EXPECT_FALSE(writer_.overflowed());
    codec::store_header(buffer_.data(), unpacked_size, checksum);
    return {buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(writer_.bytes_stored())};
  }

  [[nodiscard]] const std::vector<std::uint8_t>& expected() const { return expected_; }
  [[nodiscard]] std::uint32_t size() const { return static_cast<std::uint32_t>(expected_.size()); }
  [[nodiscard]] std::size_t bits() const { return bits_; }
  [[nodiscard]] std::uint32_t last_distance() const { return last_distance_; }

 private:
  [[nodiscard]] std::uint32_t low_mask() const { return index_bits_ >= 32 ? ~0u : (1u << index_bits_) - 1u; }
  void model_copy(std::uint32_t distance, std::uint32_t length) {
    ASSERT_TRUE(distance >= 1 && distance <= expected_.size()) << "copy from outside the output";
    for (std::uint32_t i = 0; i < length; ++i) expected_.push_back(expected_[expected_.size() - distance]);
  }

  std::vector<std::uint8_t> buffer_;
  codec::BitWriter writer_;
  std::vector<std::uint8_t> expected_;
  std::size_t bits_ = 0;
  unsigned width_ = 0;
  std::uint8_t base_ = 0;
  std::uint32_t index_bits_ = codec::kInitialIndexBits;
  std::uint32_t last_distance_ = codec::kInitialLastDistance;
};

}  // namespace mytarvo::test
