// Test helper: reads a packed block back into its list of tokens (with the output position
// each starts at) and the bytes they produce, so tests can state which token the encoder
// chose where. Stops at the end marker or at anything malformed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mytarvo::test {

struct Token {
  enum Kind { Literal, Zero, Near, Repeat, Short, Long, IndexBits, Width, RawRun, End } kind;
  std::uint32_t position = 0;  // output position where the token starts
  std::uint32_t a = 0;         // Literal: byte; Near/Short/Long/Repeat: distance; IndexBits: bits; Width: width
  std::uint32_t b = 0;         // Short/Long/Repeat: length copied; Width: base
  std::uint32_t bit_end = 0;   // bits of the stream up to the end of this token

  [[nodiscard]] std::string text() const;
};

struct Dump {
  bool ok = false;  // ended with an end marker, well formed
  std::vector<Token> tokens;
  std::vector<std::uint8_t> bytes;
  std::uint32_t words = 0;  // bit words read
  std::uint32_t tail_bits = 0;  // value of the bits after the end marker in its word
};

Dump dump_block(const std::vector<std::uint8_t>& block);

// The tokens other than literal-width and index-bits changes, as text.
std::vector<std::string> token_texts(const Dump& dump);

}  // namespace mytarvo::test
