// The token dispatch table of the fast token loop: by the next 12 bits of a stream that
// does not begin with a literal, the kind of token and, for the usual ones, everything its
// fixed fields say, so that one load replaces the prefix branches and the field reads.
#pragma once

#include <array>
#include <cstdint>

#include "codec/packed_block.hpp"

namespace mytarvo::codec::tokens {

// Bits of the stream the table is indexed by: a short match is exactly this long, and a
// match prefix leaves room for a gamma number of up to 5 pairs (g up to 63).
inline constexpr unsigned kDispatchBits = 12;

// What a table entry says about the token the 12 bits begin.
//  - Copy (short match, near byte): all its fields lie within the 12 bits; `distance` and
//    `length` are the copy's, `sets_last` tells whether it becomes the last distance.
//  - Match (long or repeat match): when the gamma number g ends within the 12 bits, `g` is
//    its value and `bits` covers the prefix and g; otherwise `g` is 0 and `bits` covers the
//    prefix only. The fields after them are still to be read.
//  - Other: anything else (literal, zero byte, end marker, index-bits change, raw run,
//    literal-width change): the token is decoded field by field.
// `bits` is what the entry covers: the whole token (Copy), prefix and maybe g (Match), 0.
enum class TokenKind : std::uint8_t { Other = 0, Copy = 1, Match = 2 };

struct TokenEntry {
  std::uint32_t packed;

  // Layout: bits 0-5 the bits covered (so that it serves as a shift count as it stands),
  // 6-7 the kind, 8 sets_last, 9-15 the length, 16-31 the distance or g.
  [[nodiscard]] constexpr unsigned bits() const { return packed & 0x3Fu; }
  [[nodiscard]] constexpr TokenKind kind() const { return static_cast<TokenKind>(packed >> 6 & 3u); }
  [[nodiscard]] constexpr bool sets_last() const { return (packed >> 8 & 1u) != 0; }
  [[nodiscard]] constexpr std::uint32_t length() const { return packed >> 9 & 0x7Fu; }
  [[nodiscard]] constexpr std::uint32_t distance() const { return packed >> 16; }  // Copy
  [[nodiscard]] constexpr std::uint32_t g() const { return packed >> 16; }         // Match

  static constexpr TokenEntry make(TokenKind kind, bool sets_last, unsigned bits, std::uint32_t length,
                                   std::uint32_t value) {
    return TokenEntry{bits | static_cast<std::uint32_t>(kind) << 6 | (sets_last ? 1u << 8 : 0u) | length << 9 |
                      value << 16};
  }
};

// The entry for the 12 bits `code` (the first bit read in bit 11).
constexpr TokenEntry token_entry(std::uint32_t code) {
  const auto field = [code](unsigned from, unsigned count) {  // `count` bits after `from` bits
    return code >> (kDispatchBits - from - count) & ((1u << count) - 1u);
  };
  if (field(0, 1) == 1) return TokenEntry{};  // a literal: the loop reads it before the table
  if (field(1, 1) == 1) {                     // 0 1: a match; its g, pair by pair
    std::uint32_t g = 1;
    for (unsigned pair = 1; 2 + 2 * pair <= kDispatchBits; ++pair) {
      const std::uint32_t bits = field(2 * pair, 2);
      g = g << 1 | bits >> 1;
      if ((bits & 1u) == 0) return TokenEntry::make(TokenKind::Match, true, 2 + 2 * pair, 0, g);
    }
    return TokenEntry::make(TokenKind::Match, true, 2, 0, 0);
  }
  if (field(2, 1) == 0) {  // 0 0 0: a short match unless the distance field is 0
    const std::uint32_t distance = field(3, kShortDistanceBits);
    const std::uint32_t n = field(3 + kShortDistanceBits, kShortLengthBits);
    if (distance == 0) return TokenEntry{};
    return TokenEntry::make(TokenKind::Copy, true, kShortMatchBits, n + kShortMinLength, distance);
  }
  const std::uint32_t v = field(3, kFourBitCodeBits);  // 0 0 1: a near byte from code 2 up
  if (v < kCodeFirstNear) return TokenEntry{};
  return TokenEntry::make(TokenKind::Copy, false, kNearByteBits, 1, v - 1u);
}

inline constexpr auto kTokenTable = [] {
  std::array<TokenEntry, std::size_t{1} << kDispatchBits> table{};
  for (std::uint32_t code = 0; code < table.size(); ++code) table[code] = token_entry(code);
  return table;
}();

// Spot checks of the layout against the token table of the format.
static_assert(kTokenTable[0b000'0000001'00].distance() == 1 && kTokenTable[0b000'0000001'00].length() == 2 &&
              kTokenTable[0b000'0000001'00].bits() == 12 && kTokenTable[0b000'0000001'00].sets_last());
static_assert(kTokenTable[0b001'0010'00000].kind() == TokenKind::Copy &&
              kTokenTable[0b001'0010'00000].distance() == 1 && !kTokenTable[0b001'0010'00000].sets_last() &&
              kTokenTable[0b001'0010'00000].bits() == 7);
static_assert(kTokenTable[0b01'00'00000000].g() == 2 && kTokenTable[0b01'10'00000000].g() == 3 &&
              kTokenTable[0b01'01'10'000000].g() == 5 && kTokenTable[0b01'01'10'000000].bits() == 6);
static_assert(kTokenTable[0b01'11'11'11'11'11].g() == 0 && kTokenTable[0b01'11'11'11'11'11].bits() == 2);
static_assert(kTokenTable[0b01'11'11'11'11'10].g() == 63 && kTokenTable[0b01'11'11'11'11'10].bits() == 12);
static_assert(kTokenTable[0b000'0000000'00].kind() == TokenKind::Other &&
              kTokenTable[0b001'0001'00000].kind() == TokenKind::Other &&
              kTokenTable[0b001'0000'10000].kind() == TokenKind::Other);

}  // namespace mytarvo::codec::tokens
