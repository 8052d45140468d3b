// mytarvo codec: packed blocks on their own, without archives.
//
// A packed block is the self-contained packed form of one byte buffer: a 10-byte header
// (the magic "QZ", the unpacked size and a block checksum, all little-endian) followed by
// a bit stream of 32-bit little-endian words. It is also what an archive stores as the
// data of each packed entry.
//
// These functions come with the static library `mytarvo_core`; the shared library
// exports only the five archive functions of <mytarvo/mytarvo.h>. They throw nothing,
// keep no state between calls and allocate nothing, so separate calls on separate buffers
// may run at the same time on any threads.
#pragma once

#include <cstdint>
#include <span>

namespace mytarvo {

// ---- Decoding -------------------------------------------------------------------------------

// Decodes the packed block held in `block` into `out` and returns the number of bytes
// written to the front of `out`, or 0 on any failure:
//  - `block` or `out` has no data pointer, `block` is shorter than the 10-byte header or
//    does not begin with "QZ": nothing is written;
//  - the block records a checksum and an unpacked size larger than `out`: nothing is
//    written;
//  - the bit stream is damaged (it runs past the end of `block`, would write past the end
//    of `out`, copies from before the first byte, or breaks another rule of the format):
//    `out` holds the bytes decoded before the damage was met;
//  - the recorded checksum is not 0 and does not match the first unpacked-size bytes of
//    `out`: `out` holds every decoded byte, so callers that want unverified data can
//    still look at it.
// A recorded checksum of 0 means the block is not verified. Size `out` from
// `block_unpacked_size`; a well-formed block writes exactly that many bytes. Bytes of
// `out` beyond those the stream writes are left as they were (and, when the block is
// verified, count towards the checksum: hand in a zero-filled buffer). A result of 0 does
// not tell the failures apart, nor a failure from a block of unpacked size 0.
[[nodiscard]] std::uint32_t decode_block(std::span<const std::uint8_t> block, std::span<std::uint8_t> out) noexcept;

// The unpacked size recorded in the header of the packed block held in `block`, or 0 when
// `block` is shorter than 6 bytes or does not begin with "QZ". Looks at nothing else.
[[nodiscard]] std::uint32_t block_unpacked_size(std::span<const std::uint8_t> block) noexcept;

// ---- Packing --------------------------------------------------------------------------------
// (The packing functions are declared here.)

}  // namespace mytarvo
