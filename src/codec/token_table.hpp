// The tables of the fast token loop: by the next 12 bits of a stream that does not begin
// with a literal, the kind of token and, for the usual ones, everything its fixed fields
// say, so that one load replaces the prefix branches and the field reads; and the usual
// gamma numbers by the 12 bits they begin with.
#pragma once

#include <array>
#include <cstdint>

#include "codec/packed_block.hpp"

namespace mytarvo::codec::tokens {

// Bits of the stream the tables are indexed by: a short match is exactly this long.
inline constexpr unsigned kDispatchBits = 12;

// What a token table entry says about the token the 12 bits begin.
//  - Copy (short match, near byte): all its fields lie within the 12 bits; `distance` and
//    `length` are the copy's; a short match (12 bits) sets the last distance, a near byte
//    (7 bits) does not.
//  - Match (long or repeat match): `bits` covers the 2-bit prefix; the gamma number g and
//    the fields after it are still to be read (kGammaTable gives the usual g). The fast
//    loop tells a match by its prefix before it would look the entry up.
//  - Other: anything else (literal, zero byte, end marker, index-bits change, raw run,
//    literal-width change): the token is decoded field by field.
enum class TokenKind : std::uint8_t { Other = 0, Copy = 1, Match = 2 };

struct TokenEntry {
  std::uint16_t packed;

  // Layout: bits 0-3 the bits covered, 4-5 the kind, 6-8 the length, 9-15 the distance.
  [[nodiscard]] constexpr unsigned bits() const { return packed & 0xFu; }
  [[nodiscard]] constexpr TokenKind kind() const { return static_cast<TokenKind>(packed >> 4 & 3u); }
  [[nodiscard]] constexpr bool sets_last() const { return bits() == kShortMatchBits; }
  [[nodiscard]] constexpr std::uint32_t length() const { return packed >> 6 & 7u; }
  [[nodiscard]] constexpr std::uint32_t distance() const { return packed >> 9; }

  static constexpr TokenEntry make(TokenKind kind, unsigned bits, std::uint32_t length, std::uint32_t distance) {
    return TokenEntry{static_cast<std::uint16_t>(bits | static_cast<unsigned>(kind) << 4 | length << 6 | distance << 9)};
  }
};

// The entry for the 12 bits `code` (the first bit read in bit 11).
constexpr TokenEntry token_entry(std::uint32_t code) {
  const auto field = [code](unsigned from, unsigned count) {  // `count` bits after `from` bits
    return code >> (kDispatchBits - from - count) & ((1u << count) - 1u);
  };
  if (field(0, 1) == 1) return TokenEntry{};  // a literal: the loop reads it before the table
  if (field(1, 1) == 1) return TokenEntry::make(TokenKind::Match, 2, 0, 0);
  if (field(2, 1) == 0) {  // 0 0 0: a short match unless the distance field is 0
    const std::uint32_t distance = field(3, kShortDistanceBits);
    const std::uint32_t n = field(3 + kShortDistanceBits, kShortLengthBits);
    if (distance == 0) return TokenEntry{};
    return TokenEntry::make(TokenKind::Copy, kShortMatchBits, n + kShortMinLength, distance);
  }
  const std::uint32_t v = field(3, kFourBitCodeBits);  // 0 0 1: a near byte from code 2 up
  if (v < kCodeFirstNear) return TokenEntry{};
  return TokenEntry::make(TokenKind::Copy, kNearByteBits, 1, v - 1u);
}

inline constexpr auto kTokenTable = [] {
  std::array<TokenEntry, std::size_t{1} << kDispatchBits> table{};
  for (std::uint32_t code = 0; code < table.size(); ++code) table[code] = token_entry(code);
  return table;
}();

// Gamma numbers of up to 6 pairs (values 2 to 127), by the 12 bits that begin them:
// value << 4 | the bits they take (2 per pair), or 0 when the pairs do not end within the
// 12 bits.
inline constexpr auto kGammaTable = [] {
  std::array<std::uint16_t, std::size_t{1} << kDispatchBits> table{};
  for (std::uint32_t code = 0; code < table.size(); ++code) {
    std::uint32_t value = 1;
    for (unsigned pair = 1; 2 * pair <= kDispatchBits; ++pair) {
      const std::uint32_t bits = code >> (kDispatchBits - 2 * pair) & 3u;
      value = value << 1 | bits >> 1;
      if ((bits & 1u) == 0) {
        table[code] = static_cast<std::uint16_t>(value << 4 | 2 * pair);
        break;
      }
    }
  }
  return table;
}();

// Spot checks of the layout against the token table of the format.
static_assert(kTokenTable[0b000'0000001'00].distance() == 1 && kTokenTable[0b000'0000001'00].length() == 2 &&
              kTokenTable[0b000'0000001'00].bits() == 12 && kTokenTable[0b000'0000001'00].sets_last());
static_assert(kTokenTable[0b000'1111111'11].distance() == 127 && kTokenTable[0b000'1111111'11].length() == 5);
static_assert(kTokenTable[0b001'0010'00000].kind() == TokenKind::Copy &&
              kTokenTable[0b001'0010'00000].distance() == 1 && !kTokenTable[0b001'0010'00000].sets_last() &&
              kTokenTable[0b001'1111'00000].distance() == 14 && kTokenTable[0b001'0010'00000].bits() == 7);
static_assert(kTokenTable[0b01'0000000000].kind() == TokenKind::Match && kTokenTable[0b01'0000000000].bits() == 2);
static_assert(kTokenTable[0b000'0000000'00].kind() == TokenKind::Other &&
              kTokenTable[0b001'0001'00000].kind() == TokenKind::Other &&
              kTokenTable[0b001'0000'10000].kind() == TokenKind::Other);
// The gamma codes of the format's examples (2: 0 0, 3: 1 0, 5: 0 1 1 0, 9: 0 1 0 1 1 0), the
// longest the table holds (6 pairs) and one it does not.
static_assert(kGammaTable[0b00'0000000000] == (2 << 4 | 2) && kGammaTable[0b10'0000000000] == (3 << 4 | 2) &&
              kGammaTable[0b0110'00000000] == (5 << 4 | 4) && kGammaTable[0b010110'000000] == (9 << 4 | 6));
static_assert(kGammaTable[0b11'11'11'11'11'10] == (127 << 4 | 12) && kGammaTable[0b11'11'11'11'11'11] == 0);

}  // namespace mytarvo::codec::tokens
