// Fuzz target: arbitrary bytes decoded as a packed block into an output of arbitrary
// capacity. Both buffers end against a guard page. The result and every output byte must
// agree with the plain bit-by-bit reference decoder, and nothing is written past the
// reported capacity.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/block_decoder.hpp"
#include "codec/reference_decoder.hpp"
#include "guarded_buffer.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  // The first three bytes choose the output capacity: a 16-bit count, scaled by 1 to 8 so
  // that long outputs (up to 512 KiB) are reachable without making every run slow.
  const std::size_t capacity = (static_cast<std::size_t>(data[0]) | static_cast<std::size_t>(data[1]) << 8)
                               << (data[2] & 3);
  data += 3;
  size -= 3;

  mytarvo::fuzz::GuardedBuffer block(size);
  if (size > 0) std::memcpy(block.data(), data, size);
  mytarvo::fuzz::GuardedBuffer out(capacity);
  std::memset(out.data(), 0, capacity);

  const std::uint32_t got = mytarvo::codec::decode(block.data(), size, out.data(), capacity);
  std::vector<std::uint8_t> expected(capacity);
  const std::uint32_t want = mytarvo::test::reference_decode(block.data(), size, expected.data(), capacity);
  if (got != want) std::abort();
  if (capacity > 0 && std::memcmp(out.data(), expected.data(), capacity) != 0) std::abort();
  if (got > capacity) std::abort();
  return 0;
}
