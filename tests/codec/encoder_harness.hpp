// Test helper: runs the block encoder with callbacks that record every request, release
// and progress report, and can refuse a chosen request or abort at a chosen report.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec/block_encoder.hpp"

namespace mytarvo::test {

using Bytes = std::vector<std::uint8_t>;

struct EncoderHarness {
  struct Event {
    char kind;            // 'a' allocate, 'r' release, 'p' progress
    std::uint32_t value;  // size requested, index of the block released, or position
    std::uint32_t extra = 0;  // progress: bytes stored
  };

  int refuse_request = -1;   // index of the allocation request to refuse (0, 1, 2)
  int abort_at_report = -1;  // index of the progress report that returns 0
  bool with_progress = false;
  bool dirty_blocks = false;  // hand out blocks full of 0xA5 instead of zeros
  std::int32_t no_checksum = 0;

  std::vector<Event> events;
  std::vector<void*> blocks;  // every block handed out, by request index
  int reports = 0;

  // Encodes `input` with `window`; the result is the block (empty for a result of 0) and
  // `result` the value returned.
  Bytes run(const Bytes& input, std::uint32_t window);
  std::uint32_t result = 0;
  // The destination after the run, whole.
  Bytes dest;

  [[nodiscard]] std::string trace() const;

  ~EncoderHarness();

 private:
  static void* allocate(std::uint32_t size, void* user);
  static int release(void* block, void* user);
  static int progress(std::uint32_t position, std::uint32_t bytes_stored, void* user);
  std::vector<bool> released_;
};

inline Bytes take(const Bytes& dest, std::uint32_t size) { return Bytes(dest.begin(), dest.begin() + size); }

// pack() into a buffer of the input's size; empty for a result of 0.
Bytes pack_bytes(const Bytes& input, std::int32_t level);

// CRC-32 (the common reflected polynomial 0xEDB88320), used to fingerprint blocks.
std::uint32_t crc32(const Bytes& data);

// Deterministic generator for test data.
class TestRandom {
 public:
  explicit TestRandom(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  std::uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<std::uint32_t>(state_ >> 16);
  }
  std::uint32_t below(std::uint32_t n) { return next() % n; }

 private:
  std::uint64_t state_;
};

}  // namespace mytarvo::test
