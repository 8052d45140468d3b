// The token decoder both block decoders share: the bit source, copies, and one token
// decoder in a fast and a checked form, run by one token loop. The one-shot decoder
// (block_decoder.cpp) runs it over a whole block; the streaming decoder
// (stream_decoder.cpp) over the input it has, into its history window.
#pragma once

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "codec/packed_block.hpp"
#include "codec/token_table.hpp"

namespace mytarvo::codec::tokens {


// ---- How the token loop reads bits ---------------------------------------------------------
// The bit buffer is a 64-bit word whose unread bits sit at the top, the next bit to read in
// bit 63; `avail` counts them (0 to 63). A field of n bits (1 <= n <= 32) is taken from the
// top in one shift. Below the unread bits the buffer holds either zeros or the bits that
// follow them in the stream, never anything else; so OR-ing the stream's next bits in at
// their place changes nothing already there, and a refill needs no clearing.
//
// refill(), while two whole words are left: their 64 bits, in stream order (bit 31 of each
// word first: the two little-endian words rotated by 32), are OR-ed in right below the
// unread bits, and the first of them counts as loaded when fewer than 32 bits were unread.
// No branch: afterwards 32 <= avail <= 63 and the bits below are the stream's next ones.
// With one word left it is added the plain way when fewer than 32 bits are unread; with
// none, nothing is. A refill therefore never reads beyond the block, and never fails: a
// field fails only when, after a refill, fewer bits are left than it needs.
//
// Every field read consumes at least one bit and nothing puts bits back, so the decoder
// reads each bit of the block at most once and must stop after at most 8·block_size reads:
// no token, gamma number or raw run can loop without end.
struct BitSource {
  std::uint64_t bits;
  unsigned avail;
  const std::uint8_t* next;       // the next word not yet loaded
  const std::uint8_t* two_words;  // refills read two words while next < two_words
  const std::uint8_t* end;        // the end of the last whole word of the block

  // Tops the buffer up as far as the block allows (see above).
  [[gnu::always_inline]] void refill() {
    if (next < two_words) [[likely]] {
      refill_wide();
    } else if (avail < 32 && next != end) {
      bits |= static_cast<std::uint64_t>(load_le32(next)) << (32 - avail);
      next += kWordSize;
      avail += 32;
    }
  }

  // The branch-free half of refill(), for callers that know two whole words are left
  // (next < two_words): afterwards 32 <= avail <= 63.
  [[gnu::always_inline]] void refill_wide() {
    assert(next < two_words);
    bits |= std::rotl(load_le64(next), 32) >> avail;
    next += avail < 32 ? kWordSize : 0;
    avail |= 32;  // + 32 when below 32, else as it was
  }

  // The next `count` bits (1 to 32) without consuming them; requires avail >= count.
  [[nodiscard]] std::uint32_t peek(unsigned count) const { return static_cast<std::uint32_t>(bits >> (64 - count)); }
  void skip(unsigned count) {
    bits <<= count;
    avail -= count;
  }
  [[gnu::always_inline]] bool take(unsigned count, std::uint32_t& value) {
    if (avail < count) {
      refill();
      if (avail < count) return false;
    }
    value = peek(count);
    skip(count);
    return true;
  }

  // Gamma number: value bit and continuation bit in pairs, until a continuation bit of 0.
  // Numbers of up to 6 pairs (the most common) come from kGammaTable by the next 12 bits.
  // With 32 bits at hand, the pairs of a number up to 16 pairs long are all there: the
  // first 0 among the continuation bits (bits 62, 60, ... of the buffer) ends it, and its
  // value bits (63, 61, ...) are gathered in a few shifts. Longer numbers, and numbers in
  // the last 32 bits of the block, go pair by pair; values of more than 32 bits keep their
  // low 32 bits (32-bit unsigned arithmetic).
  [[gnu::always_inline]] bool gamma(std::uint32_t& value) {
    if (avail >= kDispatchBits) {
      const std::uint32_t entry = kGammaTable[bits >> (64 - kDispatchBits)];
      if (entry != 0) {
        value = entry >> 4;
        skip(entry & 0xFu);
        return true;
      }
    }
    refill();
    if (avail >= 32) {
      const auto top = static_cast<std::uint32_t>(bits >> 32);
      const std::uint32_t ends = ~top & 0x55555555u;  // continuation bits that are 0
      if (ends != 0) {
        const unsigned pairs = (static_cast<unsigned>(std::countl_zero(ends)) + 1) / 2;
        std::uint32_t v = (top >> 1) & 0x55555555u;  // value bits of pairs 1..16, spread out
        v = (v | (v >> 1)) & 0x33333333u;
        v = (v | (v >> 2)) & 0x0F0F0F0Fu;
        v = (v | (v >> 4)) & 0x00FF00FFu;
        v = (v | (v >> 8)) & 0x0000FFFFu;  // pair 1's value bit in bit 15
        value = (1u << pairs) | (v >> (16 - pairs));
        skip(2 * pairs);
        return true;
      }
    }
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

// The length bonus of a long match (length_bonus()) without branches: the band of a
// distance is unpredictable from token to token, so the comparisons are summed instead.
constexpr std::uint32_t bonus_of(std::uint32_t distance) {
  const std::uint32_t near = distance <= 0x7F;
  return near * 4 + (1 - near) * (std::uint32_t{distance >= 0x27F} + std::uint32_t{distance >= 0x37FF} +
                                  std::uint32_t{distance >= 0x10000});
}
static_assert([] {
  for (std::uint32_t d : {0u, 1u, 0x7Fu, 0x80u, 0x27Eu, 0x27Fu, 0x37FEu, 0x37FFu, 0xFFFFu, 0x10000u, 0xFFFFFFFFu}) {
    if (bonus_of(d) != length_bonus(d)) return false;
  }
  return true;
}());

// ---- Decoding state ---------------------------------------------------------------------------
// The coding state, the output and, for the streaming decoder, what a token left to do.
// The one-shot decoder writes into the caller's buffer, limit being its capacity; the
// streaming decoder writes into its history window, limit being the window's end or the
// block's end (hard_limit), whichever comes first.
struct DecodeState {
  std::uint8_t* out;
  std::size_t limit;      // at most 2^32 - 1 bytes past the block's first byte
  std::size_t produced;   // bytes written so far (the window's fill when streaming)
  std::uint32_t last_distance;
  std::uint32_t index_bits;
  unsigned literal_width;  // 0 until the first literal-width change
  std::uint32_t literal_base;
  // Streaming only.
  std::size_t hard_limit = 0;          // where the block's unpacked size ends, in window terms
  std::size_t reach = 0;               // the farthest distance the window keeps
  std::uint32_t pending_distance = 0;  // a copy cut short by the window's end: its distance
  std::uint32_t pending_length = 0;    // and the bytes it still has to copy
  bool raw_pending = false;            // a raw run continues with another chunk
};

// What a token did. Room: a streaming token stopped at the window's end with work left
// (pending_length or raw_pending says which); it has consumed its bits and is valid.
enum class Step { Go, End, Fail, Room };

// ---- Copies ---------------------------------------------------------------------------------
// More than N bytes from N or more back, in groups of N (see copy_bytes below): each group's
// source lies wholly before it, and the last group ends exactly at the copy's end.
template <std::size_t N>
[[gnu::always_inline]] inline void copy_groups(std::uint8_t* dst, std::uint32_t distance, std::uint32_t length) {
  assert(distance >= N && length > N);
  std::uint8_t* const end = dst + length;
  const std::uint8_t* src = dst - distance;
  while (end - dst > static_cast<std::ptrdiff_t>(N)) {
    std::memcpy(dst, src, N);
    dst += N;
    src += N;
  }
  std::memcpy(end - N, end - N - distance, N);
}

// Appends `length` bytes copied from `distance` bytes back, with the result of copying one
// byte at a time from the lowest address up (a distance shorter than the length repeats
// the bytes just written). Nothing is written outside the copy's own bytes, so the output
// beyond them keeps what it held, as it would byte by byte. Groups of n bytes are copied
// whole when the distance is at least n: a group's source then lies wholly before it, in
// bytes already final. The last group ends exactly at the copy's end, overlapping the one
// before it, whose bytes it rewrites with the same values.
//  - 4 to 8 bytes from 4 or more back: two groups of 4; 2 or 3 bytes from 2 or more back:
//    two groups of 2 (the second group's source then lies in the first group or before);
//  - more than 16 bytes from 16 or more back: groups of 16 (at least two); more than 8
//    bytes from 8 to 15 back: groups of 8;
//  - distance 1: the last byte, repeated; anything else (a single byte, or distances 2 to
//    7 with longer copies): byte by byte.
[[gnu::always_inline]] inline void copy_bytes(std::uint8_t* dst, std::uint32_t distance, std::uint32_t length) {
  const std::uint8_t* src = dst - distance;
  if (length <= 8 && distance >= 4 && length >= 4) {
    std::memcpy(dst, src, 4);
    std::memcpy(dst + length - 4, src + length - 4, 4);
  } else if (length <= 3 && distance >= 2 && length >= 2) {
    std::memcpy(dst, src, 2);
    std::memcpy(dst + length - 2, src + length - 2, 2);
  } else if (distance >= 16 && length > 16) {
    copy_groups<16>(dst, distance, length);
  } else if (distance >= 8 && length > 8) {
    copy_groups<8>(dst, distance, length);
  } else if (distance == 1) {
    std::memset(dst, *src, length);
  } else {
    for (std::uint32_t i = 0; i < length; ++i) dst[i] = src[i];
  }
}

// Checks and performs a copy: a distance of 0 or beyond the bytes produced, or a length
// beyond the room left, fails the block before anything is written. When streaming, a
// copy that fits the block but not the window copies what fits and leaves the rest
// pending, and a distance beyond the window's reach fails.
template <bool Streaming>
[[gnu::always_inline]] inline Step copy_match(DecodeState& s, std::uint32_t distance, std::uint32_t length) {
  if (distance == 0 || distance > s.produced) return Step::Fail;
  if constexpr (Streaming) {
    if (distance > s.reach) return Step::Fail;
  }
  if (length > s.limit - s.produced) [[unlikely]] {
    if constexpr (Streaming) {
      if (length > s.hard_limit - s.produced) return Step::Fail;
      const auto part = static_cast<std::uint32_t>(s.limit - s.produced);
      copy_bytes(s.out + s.produced, distance, part);
      s.produced += part;
      s.pending_distance = distance;
      s.pending_length = length - part;
      return Step::Room;
    } else {
      return Step::Fail;
    }
  }
  copy_bytes(s.out + s.produced, distance, length);
  s.produced += length;
  return Step::Go;
}

// Appends raw-run chunks of 256 bytes of 8 bits each, the first already announced, while
// the continuation bit after each chunk is 1. The bytes are taken as they stand. When
// streaming, one chunk at a time: a continuation bit of 1 sets `pending` and gives Room.
template <bool Streaming>
[[gnu::noinline]] Step copy_raw_run(BitSource& in, std::uint8_t* out, std::size_t& produced, std::size_t limit,
                                    bool& pending) {
  std::uint32_t more = 0;
  do {
    if (limit - produced < kRawRunBytes) return Step::Fail;
    std::uint32_t byte = 0;
    for (std::uint32_t i = 0; i < kRawRunBytes; ++i) {
      if (!in.take(kRawByteBits, byte)) return Step::Fail;
      out[produced++] = static_cast<std::uint8_t>(byte);
    }
    if (!in.take(1, more)) return Step::Fail;
  } while (!Streaming && more != 0);
  pending = more != 0;
  return pending ? Step::Room : Step::Go;
}

// ---- The token loop ---------------------------------------------------------------------------


// Whether `count` bits are at hand for a token's fixed fields. The fast form's caller
// guarantees them; the checked form runs where the buffer holds every bit left in the
// block, so a field that is not at hand lies beyond the block's end.
template <bool Checked>
[[gnu::always_inline]] inline bool at_hand(const BitSource& in, unsigned count) {
  if constexpr (Checked) {
    return in.avail >= count;
  } else {
    assert(in.avail >= count);
    return true;
  }
}

// The longest run of fixed fields a token begins with, prefix included: an index-bits
// change with a 6-bit field (18 bits); a narrow literal-width change takes 17.
inline constexpr unsigned kMaxFixedBits = kShortMatchBits + kIndexBitsChangeExtra + 3;
static_assert(kMaxFixedBits >= kNarrowWidthChangeBits && kMaxFixedBits >= 1 + kWideLiteralWidth);
// Bits the fast form needs at hand when a token starts: its fixed fields all fit.
inline constexpr unsigned kFastTokenBits = 32;
static_assert(kMaxFixedBits <= kFastTokenBits);

// Decodes one token, right after a refill. Its fixed fields (prefix, literal, short-match
// fields, index-bits change, four-bit code, literal-width change) are read from the bits
// at hand; only gamma numbers and the index-bits field of a long match top up, through
// BitSource, which fails at the end of the block.
//  - Fast form (Checked = false): requires avail >= kFastTokenBits, which covers every
//    fixed field of any token, so they are read without tests.
//  - Checked form: requires that the refill left fewer bits only because the block ends
//    (next == end): then every bit left is at hand, and a fixed field fails exactly when
//    it is not. It serves the tokens that start in the last 32 bits of the block.
// Both forms give the same results. Invariants at every call:
//  - produced <= limit: every write is preceded by a check that it fits;
//  - every byte out[0, produced) has been written by this decode, so a copy whose distance
//    lies in 1..produced reads only bytes it wrote;
//  - 1 <= index_bits <= 31, so the shift forming a long-match distance is defined;
//  - literal_width is 0 until the first literal-width change and 7 or 8 afterwards; a
//    literal met while it is 0 fails the block instead of reading an undefined state.
template <bool Checked, bool Streaming>
[[gnu::always_inline]] inline Step decode_token(BitSource& in, DecodeState& s) {
  assert(in.avail >= kFastTokenBits || (Checked && in.next == in.end));
  assert(s.produced <= s.limit);
  assert(s.index_bits >= kMinIndexBits && s.index_bits <= kMaxIndexBits);
  assert(s.literal_width == 0 || s.literal_width == kNarrowLiteralWidth || s.literal_width == kWideLiteralWidth);
  const std::uint64_t bits = in.bits;
  if (!at_hand<Checked>(in, 1)) return Step::Fail;
  if ((bits >> 63) != 0) {  // 1: literal
    const unsigned width = s.literal_width;
    if (width == 0 || s.produced == s.limit || !at_hand<Checked>(in, 1 + width)) return Step::Fail;
    s.out[s.produced++] = static_cast<std::uint8_t>(static_cast<std::uint32_t>((bits << 1) >> (64 - width)) + s.literal_base);
    in.skip(1 + width);
    return Step::Go;
  }
  if (!at_hand<Checked>(in, 2)) return Step::Fail;
  if ((bits >> 62) != 0) {  // 0 1: repeat match (g = 2) or long match
    in.skip(2);
    std::uint32_t g = 0;
    std::uint32_t length = 0;
    if (!in.gamma(g)) return Step::Fail;
    if (g != kRepeatMatchGamma) {
      std::uint32_t low = 0;
      if (!in.take(s.index_bits, low)) return Step::Fail;
      s.last_distance = ((g - kLongMatchGammaBase) << s.index_bits) | low;
      if (!in.gamma(length)) return Step::Fail;
      length += bonus_of(s.last_distance);
    } else if (!in.gamma(length)) {
      return Step::Fail;
    }
    return copy_match<Streaming>(s, s.last_distance, length);
  }
  if (!at_hand<Checked>(in, 3)) return Step::Fail;
  if ((bits >> 61) == 0) {  // 0 0 0: short match, end marker or index-bits change
    if (!at_hand<Checked>(in, kShortMatchBits)) return Step::Fail;
    const auto fields = static_cast<std::uint32_t>(bits >> (64 - kShortMatchBits)) & 0x1FFu;
    in.skip(kShortMatchBits);
    const std::uint32_t distance = fields >> kShortLengthBits;
    const std::uint32_t n = fields & ((1u << kShortLengthBits) - 1u);
    if (distance != 0) {
      s.last_distance = distance;
      return copy_match<Streaming>(s, distance, n + kShortMinLength);
    }
    if (n == 0) return Step::End;
    if (!at_hand<Checked>(in, n + kIndexBitsChangeExtra)) return Step::Fail;
    s.index_bits = in.peek(n + kIndexBitsChangeExtra);
    in.skip(n + kIndexBitsChangeExtra);
    return s.index_bits >= kMinIndexBits && s.index_bits <= kMaxIndexBits ? Step::Go : Step::Fail;
  }
  // 0 0 1: a four-bit code
  if (!at_hand<Checked>(in, kZeroByteBits)) return Step::Fail;
  const auto code = static_cast<std::uint32_t>(bits >> (64 - kZeroByteBits)) & 0xFu;
  in.skip(kZeroByteBits);
  if (code == kCodeZeroByte) {
    if (s.produced == s.limit) return Step::Fail;
    s.out[s.produced++] = 0;
    return Step::Go;
  }
  if (code >= kCodeFirstNear) {
    return copy_match<Streaming>(s, code - 1u, 1);
  }
  if (!at_hand<Checked>(in, 1)) return Step::Fail;
  const std::uint32_t kind = in.peek(1);
  in.skip(1);
  if (kind != 0) {
    // Through copies, so that the caller's state can stay in registers.
    BitSource copy = in;
    std::size_t produced = s.produced;
    bool pending = false;
    const Step step = copy_raw_run<Streaming>(copy, s.out, produced, s.limit, pending);
    in = copy;
    s.produced = produced;
    if constexpr (Streaming) s.raw_pending = pending;
    return step;
  }
  // Literal-width change: 1 bit w, then the base when w = 0.
  if (!at_hand<Checked>(in, 1)) return Step::Fail;
  const std::uint32_t w = in.peek(1);
  in.skip(1);
  if (w == 0 && !at_hand<Checked>(in, kBaseFieldBits)) return Step::Fail;
  s.literal_width = kNarrowLiteralWidth + w;
  s.literal_base = w == 0 ? in.peek(kBaseFieldBits) : 0;
  if (w == 0) in.skip(kBaseFieldBits);
  return Step::Go;
}

// The checked form, out of line: it runs for the last few tokens of a block only.
template <bool Streaming>
[[gnu::noinline]] Step decode_token_checked(BitSource& in, DecodeState& s) {
  return decode_token<true, Streaming>(in, s);
}

// Where the fast loops stop, so that the streaming decoder's tokens neither run out of the
// input at hand (unless the block is that long) nor meet the window's end unannounced. The
// one-shot decoder passes the block's end and its output's capacity.
struct FastBounds {
  const std::uint8_t* input_end;  // the fast forms run while next <= input_end
  std::size_t output_end;         // and while produced <= output_end
};

// Any token the dispatch table leaves to field-by-field decoding, in the fast form, out of
// line and on copies so that the fast loop's state can stay in registers.
template <bool Streaming>
[[gnu::noinline]] Step decode_other_token(BitSource& in, DecodeState& s) {
  return decode_token<false, Streaming>(in, s);
}

// A copy of 1 to 3 bytes: three single bytes at offsets 0, min(1, length - 1) and
// length - 1, in that order, which cover the copy and each read a byte already final.
[[gnu::always_inline]] inline void copy_1_to_3(std::uint8_t* dst, std::uint32_t distance, std::uint32_t length) {
  const std::uint8_t* src = dst - distance;
  const std::uint32_t middle = length > 1 ? 1 : 0;
  dst[0] = src[0];
  dst[middle] = src[middle];
  dst[length - 1] = src[length - 1];
}

// A copy of 1 to 5 bytes: single bytes at offsets min(k, length - 1) for k = 0 to 3, then
// length - 1, in that order, which cover the copy and each read a byte already final.
[[gnu::always_inline]] inline void copy_1_to_5(std::uint8_t* dst, std::uint32_t distance, std::uint32_t length) {
  const std::uint8_t* src = dst - distance;
  const std::uint32_t last = length - 1;
  for (const std::uint32_t k : {0u, 1u, 2u, 3u}) {
    const std::uint32_t at = k < last ? k : last;
    dst[at] = src[at];
  }
  dst[last] = src[last];
}

// A copy of 4 to 16 bytes from 4 or more back: four groups of 4 at offsets 0,
// min(4, length - 4), min(8, length - 4) and length - 4, in that order. Each starts at most 4
// bytes after the one before, so the groups before it have written everything below its
// own start; with the distance at least 4 its source lies below its start: final bytes.
[[gnu::always_inline]] inline void copy_4_to_16(std::uint8_t* dst, std::uint32_t distance, std::uint32_t length) {
  const std::uint32_t last = length - 4;
  const std::uint32_t second = last < 4 ? last : 4;
  const std::uint32_t third = last < 8 ? last : 8;
  for (const std::uint32_t at : {0u, second, third, last}) std::memcpy(dst + at, dst + at - distance, 4);
}

// The block checksum, folded by the one-shot decoder's fast loop while it decodes, in
// spans of 64 bytes (16 words, one straight chain). A span is folded once the output has
// run 256 bytes past it, when its bytes are no longer in the stores under way, and only
// below `end`; the decoder folds the rest afterwards (block_checksum_from).
struct RunningChecksum {
  std::uint32_t sum = 0;
  std::size_t folded = 0;  // bytes folded, a multiple of kSpan
  std::size_t end = 0;     // no byte at or past it is folded here

  static constexpr std::size_t kSpan = 64;
  static constexpr std::size_t kLag = 256;

  // Where `produced` must be for the next span to be folded; SIZE_MAX when none is left.
  [[nodiscard]] std::size_t next_at() const {
    return end >= kSpan && folded <= end - kSpan ? folded + kSpan + kLag : SIZE_MAX;
  }
  [[gnu::always_inline]] void fold_span(const std::uint8_t* out) {
    const std::uint8_t* p = out + folded;
    for (std::size_t i = 0; i < kSpan; i += kWordSize) sum = checksum_fold(sum, load_le32(p + i));
    folded += kSpan;
  }
};

// How the fast loop reads a literal at the top of the bit buffer: the prefix 1 and the
// literal-width bits after it, taken together as one number, are 2^width + v, whose low 8
// bits plus `add` are (v + literal base) mod 256. `flag` is the prefix bit while a literal
// width is set, and 0 before the first literal-width change, when a literal fails.
struct LiteralCode {
  std::uint64_t flag;
  unsigned shift;      // 63 - literal width
  unsigned bits;       // 1 + literal width
  std::uint32_t add;   // literal base, less 2^width mod 256

  explicit LiteralCode(const DecodeState& s)
      : flag(s.literal_width != 0 ? std::uint64_t{1} << 63 : 0),
        shift(63 - s.literal_width),
        bits(1 + s.literal_width),
        add((s.literal_base - (1u << s.literal_width)) & 0xFFu) {}

  // Writes the run of one to three literals at the top of the buffer without branching on
  // its length: the k-th byte goes to offset min(k, n - 1) with the value of that offset,
  // so that every store lands on a byte of the run with its final value. Requires a
  // literal at the top, three literals' bits at hand and 3 bytes of room.
  [[gnu::always_inline]] void put_run(BitSource& in, DecodeState& s) const {
    assert(in.avail >= 3 * bits && (in.bits >> 63) != 0 && s.produced + 3 <= s.limit && flag != 0);
    const std::uint64_t b = in.bits;
    const std::uint32_t second = static_cast<std::uint32_t>((b << bits) >> 63);
    const std::uint32_t third = second & static_cast<std::uint32_t>((b << (2 * bits)) >> 63);
    const auto byte_at = [&](unsigned k) { return static_cast<std::uint8_t>(((b << (k * bits)) >> shift) + add); };
    const std::uint8_t first_byte = byte_at(0);
    const std::uint8_t second_byte = second != 0 ? byte_at(1) : first_byte;
    const std::uint8_t third_byte = third != 0 ? byte_at(2) : second_byte;
    std::uint8_t* const dst = s.out + s.produced;
    dst[0] = first_byte;
    dst[second] = second_byte;
    dst[second + third] = third_byte;
    const unsigned count = 1 + second + third;
    s.produced += count;
    in.skip(count * bits);
  }
};

// The fast token loop: the usual tokens, with the least branching. It runs while two whole
// words of input are left and `bounds` allow, and while the output has room for 16 more
// bytes; it returns Go when it leaves those bounds, with `in` and `s` where the next token
// starts. Every token starts right after a branch-free refill, with 32 to 63 bits at hand.
//  - A literal is the leading 1 bit: its byte comes from the bits at hand in one shift,
//    and up to two more literals that follow it are taken from the same bits.
//  - A match is told by its prefix 0 1 (tested on the bits, not on a table entry, so that
//    the branch resolves early); its g comes from kGammaTable by the 12 bits after the
//    prefix (token_table.hpp), its low field and length from the bits at hand (BitSource
//    tops up when they run out, which happens only with wide index bits or long gamma
//    numbers).
//  - Otherwise the next 12 bits select a kTokenTable entry: a short match or a near byte
//    is wholly in it. Everything else is decoded field by field by the fast form of
//    decode_token, out of line.
//  - A copy's distance is checked (1 to the bytes produced, and within the window's reach
//    when streaming) before anything is written. Copies of up to 16 bytes need no room
//    check (the loop's bound) and are copied in whole groups that end exactly at the copy's
//    end; longer ones from 16 or more back in groups of 16 when they fit; the rest (short
//    distances with 4 or more bytes, copies that do not fit, and copies of no bytes: a
//    length whose gamma number wrapped to 0) go through copy_match.
//  - With a running checksum (one-shot decoder only), a span of the checksum is folded
//    whenever the output has moved far enough past it (RunningChecksum); the returns other
//    than failures hand the checksum back.
// The tokens decoded, the bytes written and the failures are those of decode_token's fast
// form; only the bits at hand between fields may differ, which no result depends on.
template <bool Streaming>
[[gnu::always_inline]] inline Step run_fast(BitSource& in, DecodeState& s, FastBounds bounds,
                                            RunningChecksum* checksum) {
  constexpr std::size_t kCopyRoom = 16;
  if (s.limit < kCopyRoom || in.two_words - in.next < static_cast<std::ptrdiff_t>(kWordSize)) return Step::Go;
  // Two whole words are left while next <= input_end (next lies on a word boundary).
  const std::uint8_t* const input_end = std::min(in.two_words - kWordSize, bounds.input_end);
  const std::size_t output_end = std::min(bounds.output_end, s.limit - kCopyRoom);
  LiteralCode literal(s);
  // The running checksum lives in locals here (the output's byte stores could alias it).
  RunningChecksum sum = checksum != nullptr ? *checksum : RunningChecksum{};
  std::size_t fold_at = sum.next_at();
  const auto leave = [&](Step step) {
    if (!Streaming && checksum != nullptr) *checksum = sum;
    return step;
  };
  while (in.next <= input_end && s.produced <= output_end) {
    if constexpr (!Streaming) {  // the streaming decoder folds its window itself
      if (s.produced >= fold_at) [[unlikely]] {
        sum.fold_span(s.out);
        fold_at = sum.next_at();
      }
    }
    in.refill_wide();
    if ((in.bits & literal.flag) != 0) {
      // Up to three literals from the bits at hand: 32 bits hold three of 9 bits or less.
      literal.put_run(in, s);
      continue;
    }
    const std::uint64_t bits = in.bits;
    std::uint32_t distance = 0;
    std::uint32_t length = 0;
    if ((bits >> 62) == 1) {  // 0 1: a match, told by the bits themselves (no table load)
      const std::uint32_t g_entry = kGammaTable[bits >> (64 - 2 - kDispatchBits) & ((1u << kDispatchBits) - 1u)];
      std::uint32_t g = g_entry >> 4;
      if (g_entry != 0) [[likely]] {
        in.skip(2 + (g_entry & 0xFu));
      } else {
        in.skip(2);
        if (!in.gamma(g)) return Step::Fail;  // a g of 7 pairs or more
      }
      if (g == kRepeatMatchGamma) {
        distance = s.last_distance;
        if (!in.gamma(length)) return Step::Fail;
      } else {
        std::uint32_t low = 0;
        if (!in.take(s.index_bits, low)) return Step::Fail;
        distance = ((g - kLongMatchGammaBase) << s.index_bits) | low;
        s.last_distance = distance;
        if (!in.gamma(length)) return Step::Fail;
        length += bonus_of(distance);
      }
    } else if (const TokenEntry entry = kTokenTable[bits >> (64 - kDispatchBits)]; entry.kind() == TokenKind::Copy) {
      in.skip(entry.bits());
      distance = entry.distance();
      length = entry.length();
      if (entry.sets_last()) s.last_distance = distance;
      bool beyond = distance > s.produced;  // the table's distances are 1 or more
      if constexpr (Streaming) beyond = beyond || distance > s.reach;
      if (beyond) return Step::Fail;
      copy_1_to_5(s.out + s.produced, distance, length);
      s.produced += length;
      continue;
    } else {
      BitSource copy = in;
      DecodeState t = s;
      const Step step = decode_other_token<Streaming>(copy, t);
      in = copy;
      s = t;
      if (step != Step::Go) return leave(step);
      literal = LiteralCode(s);  // the token may have changed the literal width
      continue;
    }
    bool beyond = std::size_t{distance} - 1 >= s.produced;  // 0, or more than produced
    if constexpr (Streaming) beyond = beyond || distance > s.reach;
    if (beyond) return Step::Fail;
    // (A length may be 0, or any 32-bit value: a gamma number keeps its low 32 bits.)
    if (length - 4 <= kCopyRoom - 4 && distance >= 4) {
      copy_4_to_16(s.out + s.produced, distance, length);
    } else if (length - 1 < 3) {
      copy_1_to_3(s.out + s.produced, distance, length);
    } else if (length > kCopyRoom && distance >= 16 && length <= s.limit - s.produced) {
      copy_groups<16>(s.out + s.produced, distance, length);
    } else {
      const Step step = copy_match<Streaming>(s, distance, length);
      if (step != Step::Go) return leave(step);
      continue;
    }
    s.produced += length;
  }
  return leave(Step::Go);
}

// The token loop. It runs tokens until one does not return Go: first the fast loop, then,
// after each refill, a token with 32 bits at hand takes decode_token's fast form; otherwise
// the block has fewer bits left, all at hand, and the one-shot decoder runs the checked
// form on them. The streaming decoder also leaves the fast forms at `bounds`, and returns
// Go there: it runs the tokens beyond one at a time itself (they may need input it does
// not have yet). The bit source and the state are kept in locals, and handed to the
// checked form as copies, so that they can live in registers.
template <bool Streaming>
Step run_tokens(BitSource& source, DecodeState& state, FastBounds bounds, RunningChecksum* checksum = nullptr) {
  BitSource in = source;
  DecodeState s = state;
  Step step = run_fast<Streaming>(in, s, bounds, checksum);
  while (step == Step::Go) {
    in.refill();
    bool fast = in.avail >= kFastTokenBits;
    if constexpr (Streaming) fast = fast && in.next <= bounds.input_end && s.produced <= bounds.output_end;
    if (fast) [[likely]] {
      step = decode_token<false, Streaming>(in, s);
    } else if constexpr (Streaming) {
      break;
    } else {
      BitSource copy = in;
      DecodeState t = s;
      step = decode_token_checked<Streaming>(copy, t);
      in = copy;
      s = t;
    }
  }
  source = in;
  state = s;
  return step;
}

}  // namespace mytarvo::codec::tokens
