// The bit-by-bit reference decoder used to cross-check the real one.
#include "reference_decoder.hpp"

#include <algorithm>
#include <limits>

#include "codec/packed_block.hpp"

namespace mytarvo::test {
namespace {

using namespace codec;

struct Reference {
  BitReader in;
  std::uint8_t* out;
  std::size_t capacity;
  std::size_t pos = 0;

  bool put(std::uint8_t byte) {
    if (pos >= capacity) return false;
    out[pos++] = byte;
    return true;
  }
  bool copy(std::uint32_t distance, std::uint32_t length) {
    if (distance == 0 || distance > pos || length > capacity - pos) return false;
    for (std::uint32_t i = 0; i < length; ++i, ++pos) out[pos] = out[pos - distance];
    return true;
  }

  // Runs the tokens; true when the end marker was read.
  bool run() {
    std::uint32_t last_distance = 1, index_bits = 8, width = 0, base = 0;
    for (;;) {
      if (in.bit() == 1) {
        if (in.failed() || width == 0 || pos >= capacity) return false;
        const std::uint32_t v = in.field(width);
        if (in.failed() || !put(static_cast<std::uint8_t>(v + base))) return false;
      } else if (in.bit() == 1) {
        const std::uint32_t g = in.gamma();
        if (in.failed()) return false;
        std::uint32_t length = 0;
        if (g != 2) {
          const std::uint32_t low = in.field(index_bits);
          last_distance = ((g - 3) << index_bits) | low;
          length = in.gamma() + length_bonus(last_distance);
        } else {
          length = in.gamma();
        }
        if (in.failed() || !copy(last_distance, length)) return false;
      } else if (in.bit() == 0) {
        const std::uint32_t d = in.field(7);
        const std::uint32_t n = in.field(2);
        if (in.failed()) return false;
        if (d != 0) {
          last_distance = d;
          if (!copy(d, n + 2)) return false;
        } else if (n == 0) {
          return true;
        } else {
          index_bits = in.field(n + 3);
          if (in.failed() || index_bits == 0 || index_bits > 31) return false;
        }
      } else {
        const std::uint32_t v = in.field(4);
        if (in.failed()) return false;
        if (v == 1) {
          if (!put(0)) return false;
        } else if (v >= 2) {
          if (!copy(v - 1, 1)) return false;
        } else if (in.bit() == 1) {
          do {
            if (in.failed() || capacity - pos < 256) return false;
            for (int i = 0; i < 256; ++i) {
              const std::uint32_t byte = in.field(8);
              if (in.failed() || !put(static_cast<std::uint8_t>(byte))) return false;
            }
          } while (in.bit() == 1);
          if (in.failed()) return false;
        } else {
          width = 7 + in.bit();
          base = width == 7 ? in.field(8) : 0;
          if (in.failed()) return false;
        }
      }
      if (in.failed()) return false;
    }
  }
};

}  // namespace

std::uint32_t reference_decode(const std::uint8_t* block, std::size_t block_size, std::uint8_t* out,
                               std::size_t capacity) {
  if (block == nullptr || out == nullptr || block_size < 10 || block[0] != 0x51 || block[1] != 0x5A) return 0;
  const std::uint32_t size = load_le32(block + 2);
  const std::uint32_t stored = load_le32(block + 6);
  if (stored != 0 && size > capacity) return 0;
  capacity = std::min<std::size_t>(capacity, std::numeric_limits<std::uint32_t>::max());
  Reference r{BitReader(block, block_size, 10), out, capacity};
  if (!r.run()) return 0;
  if (stored != 0 && block_checksum(out, size) != stored) return 0;
  return static_cast<std::uint32_t>(r.pos);
}

}  // namespace mytarvo::test
