// Block decoder: turns a packed block back into its bytes, bounded by the block's length
// and the output's capacity, and verifies the block checksum.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mytarvo::codec {

// Decodes the packed block of `block_size` bytes at `block` into `out`, which holds
// `capacity` bytes. Returns the number of bytes the stream wrote, or 0 when:
//  - `block` or `out` is null, the block is shorter than its 10-byte header or does not
//    begin with the magic "QZ" (the output is untouched);
//  - the stored checksum is not 0 and the header's unpacked size exceeds `capacity`, so the
//    checksum could not be computed within the buffer (the output is untouched);
//  - the stream is damaged: a token would read past the end of the block, write past
//    `capacity` (or past 2^32 - 1 bytes), copy from distance 0 or from before the start of
//    the output, a literal comes before the first literal-width change, or an index-bits
//    change sets 0 or more than 31 (the output holds whatever was decoded before);
//  - the stored checksum is not 0 and differs from the checksum of the first unpacked-size
//    bytes of `out`, bytes the stream did not write included (the output holds every
//    decoded byte).
// A stored checksum of 0 skips verification. The count is never compared with the
// header's unpacked size. Reads no byte of `block` at or beyond `block_size` and writes no
// byte of `out` at or beyond `capacity`; allocates nothing; always terminates.
// When `written` is given, it receives how many bytes at the front of `out` the stream
// wrote, whatever the result (0 when decoding never started); bytes beyond them are
// untouched. When `accepted` is given, it receives whether the block was accepted, which
// tells a block of no bytes from a failure.
[[nodiscard]] std::uint32_t decode(const std::uint8_t* block, std::size_t block_size, std::uint8_t* out,
                                   std::size_t capacity, std::size_t* written = nullptr, bool* accepted = nullptr);

// The unpacked size recorded in the block's header, or 0 when `block` is null, shorter
// than 6 bytes or does not begin with the magic "QZ". Reads at most the first 6 bytes.
[[nodiscard]] std::uint32_t unpacked_size(const std::uint8_t* block, std::size_t block_size);

}  // namespace mytarvo::codec
