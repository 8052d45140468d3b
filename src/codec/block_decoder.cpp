// Block decoder: a single forward pass over the bit stream of a packed block, followed by
// verification of the block checksum.
#include "codec/block_decoder.hpp"

#include <cstring>
#include <limits>

#include "codec/packed_block.hpp"

namespace mytarvo::codec {
namespace {

// ---- How the hot loop reads bits ------------------------------------------------------------
// The bit buffer is a 64-bit word whose unread bits sit at the top, the next bit to read in
// bit 63, and whose bits below them are 0. `avail` counts the unread bits (0 to 63 between
// fields). A field of n bits (1 <= n <= 32) is taken from the top in one shift.
//
// Refill: only when a field needs more bits than the buffer holds (avail < n), one whole
// 32-bit word is loaded below the unread bits: bits |= word << (32 - avail). As avail < n
// <= 32, the shift lies in 1..32 and the word fits under the unread bits without touching
// them; afterwards avail >= 32 >= n, so one refill always suffices. A word is loaded only
// while `words_left` is not 0, so the reader never looks at a byte beyond the last whole
// word of the block. Words are therefore fetched exactly when the first bit beyond those
// already loaded is needed, as the format prescribes, and never before.
//
// When no word is left the field cannot be read: `take` reports failure and the decoder
// returns 0. Every successful `take` consumes at least one bit and nothing puts bits
// back, so the decoder reads each bit of the block at most once and must stop after at
// most 8·block_size reads: no token, gamma number or raw run can loop without end.
struct BitSource {
  std::uint64_t bits;
  unsigned avail;
  const std::uint8_t* next;  // the next word not yet loaded
  std::size_t words_left;    // whole words from `next` to the end of the block

  [[gnu::always_inline]] bool take(unsigned count, std::uint32_t& value) {
    if (avail < count) {
      if (words_left == 0) return false;
      bits |= static_cast<std::uint64_t>(load_le32(next)) << (32u - avail);
      next += kWordSize;
      --words_left;
      avail += 32u;
    }
    value = static_cast<std::uint32_t>(bits >> (64u - count));
    bits <<= count;
    avail -= count;
    return true;
  }

  // Gamma number: value bit and continuation bit are taken as one 2-bit field. Values of
  // more than 32 bits keep their low 32 bits (32-bit unsigned arithmetic).
  [[gnu::always_inline]] bool gamma(std::uint32_t& value) {
    std::uint32_t v = 1;
    std::uint32_t pair = 0;
    do {
      if (!take(2, pair)) return false;
      v = (v << 1) | (pair >> 1);
    } while ((pair & 1u) != 0);
    value = v;
    return true;
  }
};

// Appends `length` bytes copied from `distance` bytes back. Byte by byte from the lowest
// address up, so that a distance shorter than the length repeats the bytes just written;
// when the two ranges do not overlap a block copy gives the same bytes.
[[gnu::always_inline]] inline bool copy_match(std::uint8_t* out, std::size_t& produced, std::size_t limit,
                                              std::uint32_t distance, std::uint32_t length) {
  if (distance == 0 || distance > produced || length > limit - produced) return false;
  std::uint8_t* dst = out + produced;
  const std::uint8_t* src = dst - distance;
  if (distance >= length) {
    std::memcpy(dst, src, length);
  } else {
    for (std::uint32_t i = 0; i < length; ++i) dst[i] = src[i];
  }
  produced += length;
  return true;
}

// Appends raw-run chunks of 256 bytes of 8 bits each, the first already announced, while
// the continuation bit after each chunk is 1. The bytes are taken as they stand.
[[gnu::always_inline]] inline bool copy_raw_run(BitSource& in, std::uint8_t* out, std::size_t& produced,
                                                std::size_t limit) {
  std::uint32_t more = 0;
  do {
    if (limit - produced < kRawRunBytes) return false;
    std::uint32_t byte = 0;
    for (std::uint32_t i = 0; i < kRawRunBytes; ++i) {
      if (!in.take(kRawByteBits, byte)) return false;
      out[produced++] = static_cast<std::uint8_t>(byte);
    }
    if (!in.take(1, more)) return false;
  } while (more != 0);
  return true;
}

// ---- The token loop ---------------------------------------------------------------------------
// Runs the stream of `word_count` words at `stream` until its end marker, writing to
// `out[0, limit)`. On success `produced` holds the number of bytes written.
//
// Invariants at the top of every iteration:
//  - produced <= limit: every write is preceded by a check that it fits;
//  - every byte out[0, produced) has been written by this call, so a copy whose distance
//    lies in 1..produced reads only bytes this call wrote;
//  - 1 <= index_bits <= 31, so the shift forming a long-match distance is defined;
//  - literal_width is 0 until the first literal-width change and 7 or 8 afterwards; a
//    literal met while it is 0 fails the block instead of reading an undefined state.
bool decode_stream(const std::uint8_t* stream, std::size_t word_count, std::uint8_t* out, std::size_t limit,
                   std::size_t& produced) {
  BitSource in{0, 0, stream, word_count};
  std::uint32_t last_distance = kInitialLastDistance;
  std::uint32_t index_bits = kInitialIndexBits;
  unsigned literal_width = 0;
  std::uint32_t literal_base = 0;
  std::size_t pos = 0;
  std::uint32_t bit = 0;

  for (;;) {
    if (!in.take(1, bit)) return false;
    if (bit != 0) {  // 1: literal
      std::uint32_t value = 0;
      if (literal_width == 0 || pos == limit || !in.take(literal_width, value)) return false;
      out[pos++] = static_cast<std::uint8_t>(value + literal_base);
      continue;
    }
    if (!in.take(1, bit)) return false;
    if (bit != 0) {  // 0 1: repeat match (g = 2) or long match
      std::uint32_t g = 0;
      std::uint32_t length = 0;
      if (!in.gamma(g)) return false;
      if (g != kRepeatMatchGamma) {
        std::uint32_t low = 0;
        if (!in.take(index_bits, low)) return false;
        last_distance = ((g - kLongMatchGammaBase) << index_bits) | low;
        if (!in.gamma(length)) return false;
        length += length_bonus(last_distance);
      } else if (!in.gamma(length)) {
        return false;
      }
      if (!copy_match(out, pos, limit, last_distance, length)) return false;
      continue;
    }
    if (!in.take(1, bit)) return false;
    if (bit == 0) {  // 0 0 0: short match, end marker or index-bits change
      std::uint32_t fields = 0;
      if (!in.take(kShortDistanceBits + kShortLengthBits, fields)) return false;
      const std::uint32_t distance = fields >> kShortLengthBits;
      const std::uint32_t n = fields & ((1u << kShortLengthBits) - 1u);
      if (distance != 0) {
        last_distance = distance;
        if (!copy_match(out, pos, limit, distance, n + kShortMinLength)) return false;
      } else if (n == 0) {
        produced = pos;
        return true;
      } else {
        if (!in.take(n + kIndexBitsChangeExtra, index_bits)) return false;
        if (index_bits < kMinIndexBits || index_bits > kMaxIndexBits) return false;
      }
      continue;
    }
    std::uint32_t code = 0;  // 0 0 1: a four-bit code
    if (!in.take(kFourBitCodeBits, code)) return false;
    if (code == kCodeZeroByte) {
      if (pos == limit) return false;
      out[pos++] = 0;
    } else if (code >= kCodeFirstNear) {
      if (!copy_match(out, pos, limit, code - 1u, 1)) return false;
    } else {
      if (!in.take(1, bit)) return false;
      if (bit != 0) {
        if (!copy_raw_run(in, out, pos, limit)) return false;
      } else {  // literal-width change: 1 bit w, then the base when w = 0
        if (!in.take(1, bit)) return false;
        literal_width = kNarrowLiteralWidth + bit;
        literal_base = 0;
        if (bit == 0 && !in.take(kBaseFieldBits, literal_base)) return false;
      }
    }
  }
}

}  // namespace

std::uint32_t decode(const std::uint8_t* block, std::size_t block_size, std::uint8_t* out, std::size_t capacity) {
  if (block == nullptr || out == nullptr) return 0;
  if (block_size < kHeaderSize || block[0] != kMagic0 || block[1] != kMagic1) return 0;
  const std::uint32_t size = load_le32(block + kUnpackedSizeOffset);
  const std::uint32_t stored = load_le32(block + kChecksumOffset);
  // A verified block is checked over `size` bytes of the output: they must lie within it.
  if (stored != 0 && size > capacity) return 0;

  // The count is returned as 32 bits, so no stream may write more than that.
  const std::size_t limit = capacity < std::numeric_limits<std::uint32_t>::max()
                                ? capacity
                                : static_cast<std::size_t>(std::numeric_limits<std::uint32_t>::max());
  std::size_t produced = 0;
  if (!decode_stream(block + kHeaderSize, (block_size - kHeaderSize) / kWordSize, out, limit, produced)) return 0;
  if (stored != 0 && block_checksum(out, size) != stored) return 0;
  return static_cast<std::uint32_t>(produced);
}

std::uint32_t unpacked_size(const std::uint8_t* block, std::size_t block_size) {
  if (block == nullptr || block_size < kUnpackedSizeOffset + 4 || block[0] != kMagic0 || block[1] != kMagic1) return 0;
  return load_le32(block + kUnpackedSizeOffset);
}

}  // namespace mytarvo::codec
