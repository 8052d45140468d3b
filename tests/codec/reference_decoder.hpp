// Test helper: a plain decoder that reads the stream one bit at a time through BitReader,
// following the token table literally, with the same bounds and rejection rules as the
// real decoder. Tests compare the two on valid, damaged and random blocks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mytarvo::test {

std::uint32_t reference_decode(const std::uint8_t* block, std::size_t block_size, std::uint8_t* out,
                               std::size_t capacity);

}  // namespace mytarvo::test
