// The packed block format: a 10-byte header ("QZ", unpacked size, block checksum) and a
// bit stream of 32-bit little-endian words whose bits are taken from bit 31 down. This
// header holds the format's constants, the block checksum, and the bit writer and reader
// that both ends of the codec use.
#pragma once

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mytarvo::codec {

// ---- Header -------------------------------------------------------------------------------
inline constexpr std::uint8_t kMagic0 = 0x51;  // 'Q'
inline constexpr std::uint8_t kMagic1 = 0x5A;  // 'Z'
inline constexpr std::size_t kUnpackedSizeOffset = 2;
inline constexpr std::size_t kChecksumOffset = 6;
inline constexpr std::size_t kHeaderSize = 10;
inline constexpr std::size_t kWordSize = 4;
// The smallest block: the header and one bit word.
inline constexpr std::size_t kMinBlockSize = kHeaderSize + kWordSize;

// ---- Coding state at the start of every stream ----------------------------------------------
inline constexpr std::uint32_t kInitialLastDistance = 1;
inline constexpr std::uint32_t kInitialIndexBits = 8;

// ---- Token layouts ----------------------------------------------------------------------------
// Prefixes: 1 literal; 0 1 long or repeat match; 0 0 0 short match, end marker or
// index-bits change; 0 0 1 one of the four-bit-code tokens.
inline constexpr std::uint32_t kMinGamma = 2;          // a gamma number is never 0 or 1
inline constexpr std::uint32_t kRepeatMatchGamma = 2;  // gamma g = 2 marks a repeat match
inline constexpr std::uint32_t kLongMatchGammaBase = 3;  // g = (D >> index bits) + 3

// Literals: a field of literal-width bits added to the literal base modulo 256.
inline constexpr unsigned kNarrowLiteralWidth = 7;  // literal base chosen by the stream
inline constexpr unsigned kWideLiteralWidth = 8;    // literal base always 0

// Short match, end marker and index-bits change share the 0 0 0 prefix and a 7-bit
// distance field followed by a 2-bit field n. Distance 0 turns n into a sub-code: 0 is the
// end marker, 1 to 3 an index-bits change with an (n + 3)-bit field.
inline constexpr unsigned kShortDistanceBits = 7;
inline constexpr unsigned kShortLengthBits = 2;
inline constexpr std::uint32_t kShortMaxDistance = 127;
inline constexpr std::uint32_t kShortMinLength = 2;
inline constexpr std::uint32_t kShortMaxLength = 5;
inline constexpr unsigned kIndexBitsChangeExtra = 3;  // field width = n + 3 for n = 1..3
inline constexpr std::uint32_t kMinIndexBits = 1;
inline constexpr std::uint32_t kMaxIndexBits = 31;

// Four-bit-code tokens (prefix 0 0 1 then a 4-bit code v).
inline constexpr unsigned kFourBitCodeBits = 4;
inline constexpr std::uint32_t kCodeRawOrWidth = 0;  // then 1 bit: 1 raw run, 0 width change
inline constexpr std::uint32_t kCodeZeroByte = 1;
inline constexpr std::uint32_t kCodeFirstNear = 2;  // codes 2 to 15: near byte from code - 1
inline constexpr std::uint32_t kNearMaxDistance = 14;
inline constexpr std::uint32_t kBaseFieldBits = 8;  // literal base after a narrow width change
inline constexpr std::uint32_t kRawRunBytes = 256;  // bytes per raw-run chunk
inline constexpr unsigned kRawByteBits = 8;

// Bits of each fixed token, prefix included.
inline constexpr unsigned kShortMatchBits = 3 + kShortDistanceBits + kShortLengthBits;  // 12
inline constexpr unsigned kEndMarkerBits = kShortMatchBits;                              // 12
inline constexpr unsigned kZeroByteBits = 3 + kFourBitCodeBits;                          // 7
inline constexpr unsigned kNearByteBits = kZeroByteBits;                                 // 7
inline constexpr unsigned kWideWidthChangeBits = 3 + kFourBitCodeBits + 2;               // 9
inline constexpr unsigned kNarrowWidthChangeBits = kWideWidthChangeBits + kBaseFieldBits;  // 17

// Length bonus of a long match, by distance band (tested from the top).
constexpr std::uint32_t length_bonus(std::uint32_t distance) {
  if (distance >= 0x10000) return 3;
  if (distance >= 0x37FF) return 2;
  if (distance >= 0x27F) return 1;
  if (distance > 0x7F) return 0;
  return 4;
}

// Bits a gamma number takes: 2 per bit below its leading 1 (value >= 2).
constexpr unsigned gamma_bits(std::uint32_t value) {
  return value < kMinGamma ? 0u : 2u * (static_cast<unsigned>(std::bit_width(value)) - 1u);
}

// ---- Little-endian access -----------------------------------------------------------------
inline std::uint32_t load_le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
// Eight bytes as a little-endian value (one load on little-endian machines).
inline std::uint64_t load_le64(const std::uint8_t* p) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint64_t value;
    std::memcpy(&value, p, sizeof value);
    return value;
  } else {
    return static_cast<std::uint64_t>(load_le32(p)) | static_cast<std::uint64_t>(load_le32(p + 4)) << 32;
  }
}
inline void store_le32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

// One step of the block checksum: folds the next little-endian word into `sum`.
constexpr std::uint32_t checksum_fold(std::uint32_t sum, std::uint32_t word) {
  sum += word;
  return sum ^ (((word << 1) | (word >> 31)) + 1u);
}

// Block checksum over `size` bytes: for each little-endian word (and, when size is not a
// multiple of 4, one more word ending at the last byte), sum += w; sum ^= rotl(w, 1) + 1.
// Data shorter than 4 bytes has checksum 0 (never verified).
std::uint32_t block_checksum(const std::uint8_t* data, std::size_t size);
// The same, resumed: `sum` is the checksum of the first `from` bytes, `from` a multiple of 4
// with from + 4 <= size (or 0).
std::uint32_t block_checksum_from(const std::uint8_t* data, std::size_t size, std::uint32_t sum, std::size_t from);

// Writes the 10-byte header at `out`.
inline void store_header(std::uint8_t* out, std::uint32_t unpacked_size, std::uint32_t checksum) {
  out[0] = kMagic0;
  out[1] = kMagic1;
  store_le32(out + kUnpackedSizeOffset, unpacked_size);
  store_le32(out + kChecksumOffset, checksum);
}

// ---- Bit writer -----------------------------------------------------------------------------
// A sentinel accumulator: the bits collected so far sit below a single 1 bit (the
// sentinel). When the sentinel would leave bit 31, the 32 collected bits are stored as the
// next word, least significant byte first. Words are stored only while they end within
// `capacity` bytes of the destination; the first word that would not sets overflowed().
class BitWriter {
 public:
  BitWriter(std::uint8_t* dest, std::size_t capacity, std::size_t start)
      : dest_(dest), capacity_(capacity), pos_(start) {}

  // Appends the low `count` bits of `value` (count 0..32), most significant first.
  void put(std::uint32_t value, unsigned count) {
    const unsigned room = room_in_word();
    if (count < room) {
      acc_ = (acc_ << count) | (value & low_mask(count));
      return;
    }
    // Fill the word, store it, and start again with the rest behind a new sentinel.
    const unsigned rest = count - room;
    const std::uint32_t head = (value >> rest) & low_mask(room);
    store_word(room == 32 ? head : (acc_ << room) | head);
    acc_ = (1u << rest) | (value & low_mask(rest));
  }
  void put_bit(std::uint32_t bit) { put(bit, 1); }

  // Gamma number (value >= 2): each bit below the leading 1, then a continuation bit that
  // is 1 while more value bits follow. Values 0 and 1 have no code: debug
  // builds assert, others write nothing.
  void put_gamma(std::uint32_t value) {
    assert(value >= kMinGamma);
    const int top = static_cast<int>(std::bit_width(value)) - 1;  // index of the leading 1
    for (int i = top - 1; i >= 0; --i) {
      put(((value >> i) & 1u) << 1 | (i > 0 ? 1u : 0u), 2);
    }
  }

  // Fills the last word with 0 bits (nothing when it is empty).
  void finish() {
    if (acc_ != 1u) put(0, room_in_word());
  }

  [[nodiscard]] bool overflowed() const { return overflowed_; }
  // Bytes of the destination used so far: header plus every stored word.
  [[nodiscard]] std::size_t bytes_stored() const { return pos_; }

 private:
  // Bits still to collect before the word is complete: 32 minus the sentinel's position.
  [[nodiscard]] unsigned room_in_word() const { return 1u + static_cast<unsigned>(std::countl_zero(acc_)); }
  static constexpr std::uint32_t low_mask(unsigned n) { return n >= 32 ? 0xFFFFFFFFu : (1u << n) - 1u; }
  void store_word(std::uint32_t word) {
    if (overflowed_ || capacity_ < kWordSize || pos_ > capacity_ - kWordSize) {
      overflowed_ = true;
      return;
    }
    store_le32(dest_ + pos_, word);
    pos_ += kWordSize;
  }

  std::uint8_t* dest_;
  std::size_t capacity_;
  std::size_t pos_;
  std::uint32_t acc_ = 1;  // the lone sentinel
  bool overflowed_ = false;
};

// ---- Bit reader -----------------------------------------------------------------------------
// The mirror of the writer: the buffer holds the unread bits of the current word at its
// top, then a sentinel 1, then zeros. A new word is fetched exactly when the first bit
// beyond the current one is needed. Reading past the end of the block sets failed() and
// yields 0 bits, so a damaged stream cannot make the reader leave its input.
class BitReader {
 public:
  BitReader(const std::uint8_t* block, std::size_t size, std::size_t start)
      : in_(block), size_(size), pos_(start) {}

  std::uint32_t bit() {
    std::uint32_t candidate = buf_ >> 31;
    buf_ <<= 1;
    if (buf_ != 0) return candidate;
    if (size_ < kWordSize || pos_ > size_ - kWordSize) {
      failed_ = true;
      buf_ = 0x80000000u;  // keep a sentinel so later reads stay well defined
      return 0;
    }
    std::uint32_t word = load_le32(in_ + pos_);
    pos_ += kWordSize;
    buf_ = (word << 1) | 1u;
    return word >> 31;
  }

  std::uint32_t field(unsigned count) {
    std::uint32_t value = 0;
    for (unsigned i = 0; i < count; ++i) value = (value << 1) | bit();
    return value;
  }

  // Gamma number: start at 1, append a value bit, read a continuation bit, repeat while 1.
  std::uint32_t gamma() {
    std::uint32_t value = 1;
    do {
      value = (value << 1) | bit();
    } while (bit() != 0 && !failed_);
    return value;
  }

  [[nodiscard]] bool failed() const { return failed_; }
  [[nodiscard]] std::size_t position() const { return pos_; }

 private:
  const std::uint8_t* in_;
  std::size_t size_;
  std::size_t pos_;
  std::uint32_t buf_ = 0x80000000u;  // only the sentinel: the first bit loads a word
  bool failed_ = false;
};

}  // namespace mytarvo::codec
