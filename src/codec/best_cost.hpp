// Exact bit sizes of the tokens of a packed block's stream, as the best-mode parser prices
// them. Unlike the level encoder's scoring model these are the true sizes, so the sum over
// a parse is the length of the stream it writes.
#pragma once

#include <bit>
#include <cstdint>

#include "codec/packed_block.hpp"

namespace mytarvo::codec::best {

inline constexpr std::uint32_t kNoCost = 0xFFFFFFFFu;

// A gamma number v >= 2 takes two bits per bit of v below its leading 1.
constexpr std::uint32_t gamma_bits(std::uint32_t v) {
  return 2u * (static_cast<std::uint32_t>(std::bit_width(v)) - 1u);
}

inline constexpr std::uint32_t kCheapByteBits = 7;  // zero byte or near byte
inline constexpr std::uint32_t kShortBits = 12;
inline constexpr std::uint32_t kRepeatPrefixBits = 4;  // 0 1 and gamma 2
inline constexpr std::uint32_t kLongPrefixBits = 2;
// A raw run of one 256-byte chunk: 0 0 1 0 0 0 0 1, the bytes, the closing bit.
inline constexpr std::uint32_t kRawRunBits = 8 + kRawRunBytes * 8 + 1;
inline constexpr std::uint32_t kWideChangeBits = 9;
inline constexpr std::uint32_t kNarrowChangeBits = 17;

constexpr std::uint32_t literal_bits(std::uint32_t width) { return 1 + width; }
constexpr std::uint32_t repeat_bits(std::uint32_t length) { return kRepeatPrefixBits + gamma_bits(length); }

// A long match must code at least 2 beyond the length bonus of its distance.
constexpr bool long_codable(std::uint32_t distance, std::uint32_t length) {
  return length >= length_bonus(distance) + 2;
}
// The distance part of a long match: its gamma number and its plain low bits.
constexpr std::uint32_t long_distance_bits(std::uint32_t distance, std::uint32_t index_bits) {
  return kLongPrefixBits + gamma_bits((distance >> index_bits) + kLongMatchGammaBase) + index_bits;
}
constexpr std::uint32_t long_bits(std::uint32_t distance, std::uint32_t length, std::uint32_t index_bits) {
  return long_distance_bits(distance, index_bits) + gamma_bits(length - length_bonus(distance));
}
constexpr bool short_codable(std::uint32_t distance, std::uint32_t length) {
  return distance <= kShortMaxDistance && length <= kShortMaxLength;
}

// Index bits up to 15 take the 4-bit field (n = 1), up to 31 the 5-bit field (n = 2).
inline constexpr std::uint32_t kMaxBestIndexBits = 26;
constexpr std::uint32_t index_change_bits(std::uint32_t index_bits) { return index_bits <= 15 ? 16 : 17; }

static_assert(gamma_bits(2) == 2 && gamma_bits(7) == 4 && gamma_bits(8) == 6);
static_assert(long_bits(2, 2 + 4, 8) == 2 + 2 + 8 + 2);

}  // namespace mytarvo::codec::best
