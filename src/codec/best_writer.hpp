// Lays out the tokens of a best-mode parse in the bit stream, with the change tokens its
// schedule asks for. Unlike the level encoder's token stream it writes index bits of any
// width the format carries (1 to 31) and raw runs.
#pragma once

#include <cassert>
#include <cstdint>

#include "codec/best_cost.hpp"
#include "codec/best_schedule.hpp"
#include "codec/packed_block.hpp"
#include "codec/token_stream.hpp"

namespace mytarvo::codec::best {

class BestTokenWriter {
 public:
  BestTokenWriter(std::uint8_t* dest, std::uint32_t capacity) : bits_(dest, capacity, kHeaderSize) {}

  [[nodiscard]] const StreamState& state() const { return state_; }
  [[nodiscard]] bool overflowed() const { return bits_.overflowed(); }
  [[nodiscard]] std::uint32_t bytes_stored() const { return static_cast<std::uint32_t>(bits_.bytes_stored()); }

  // Writes the tokens of one chunk of `data` starting at `start`, each preceded by the
  // changes `schedule` asks for there.
  void chunk(const std::uint8_t* data, std::uint32_t start, const std::vector<ParseStep>& steps,
             const Schedule& schedule) {
    std::uint32_t offset = 0;
    for (const ParseStep& step : steps) {
      const Changes changes = changes_before(state_, schedule, offset);
      if (changes.range) literal_width_change(schedule.range_at(offset));
      if (changes.index_bits) index_bits_change(schedule.index_bits_at(offset));
      const std::uint32_t pos = start + offset;
      if (step.distance != 0) {
        copy(step.distance, step.length);
      } else if (step.length == 1) {
        single(data, pos);
      } else {
        raw_run(data + pos);
      }
      offset += step.length;
    }
  }

  // The end marker and the 0 bits that complete the last word.
  void end() {
    bits_.put(0, kEndMarkerBits);
    bits_.finish();
  }

 private:
  void literal_width_change(const LiteralRange& range) {
    state_.announced = true;
    state_.range = range;
    put_literal_width_change(bits_, range);
  }

  // 0 0 0, seven 0 bits, n, then the index bits in n + 3 bits.
  void index_bits_change(std::uint32_t index_bits) {
    assert(index_bits >= kMinIndexBits && index_bits <= kMaxIndexBits);
    state_.index_bits = index_bits;
    const std::uint32_t n = index_bits <= 15 ? 1 : 2;
    bits_.put(n, 12);
    bits_.put(index_bits, n + kIndexBitsChangeExtra);
  }

  // A zero byte, else a near byte from the nearest of the 14 bytes before, else a literal:
  // the order the parser prices them in.
  void single(const std::uint8_t* data, std::uint32_t pos) {
    const std::uint8_t b = data[pos];
    if (b == 0) {
      bits_.put(0b001'0000u | kCodeZeroByte, 7);
      return;
    }
    for (std::uint32_t d = 1; d <= kNearMaxDistance && d <= pos; ++d) {
      if (data[pos - d] == b) {
        bits_.put(0b001'0000u | (d + 1u), 7);
        return;
      }
    }
    assert(state_.range.covers(b));
    bits_.put((1u << state_.range.width) | ((b - state_.range.base) & 0xFFu), state_.range.width + 1);
  }

  void raw_run(const std::uint8_t* bytes) {
    bits_.put(0b001'0000'1u, 8);
    for (std::uint32_t i = 0; i < kRawRunBytes; ++i) bits_.put(bytes[i], kRawByteBits);
    bits_.put_bit(0);
  }

  void copy(std::uint32_t distance, std::uint32_t length) {
    if (distance == state_.last_distance) {
      bits_.put(0b01'00u, 4);
      bits_.put_gamma(length);
      return;
    }
    state_.last_distance = distance;
    if (short_codable(distance, length)) {
      bits_.put((distance << kShortLengthBits) | (length - kShortMinLength), kShortBits);
      return;
    }
    assert(long_codable(distance, length));
    const std::uint32_t index_bits = state_.index_bits;
    bits_.put(0b01u, 2);
    bits_.put_gamma((distance >> index_bits) + kLongMatchGammaBase);
    bits_.put(distance & ((1u << index_bits) - 1u), index_bits);
    bits_.put_gamma(length - length_bonus(distance));
  }

  BitWriter bits_;
  StreamState state_;
};

}  // namespace mytarvo::codec::best
