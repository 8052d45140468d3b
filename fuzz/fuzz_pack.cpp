// Fuzz target: arbitrary data packed at a level taken from the input. The block must decode
// back to the input, packing twice must give the same block, the block must be exactly
// the plain reference encoder's, and nothing may be written past the destination (which
// ends against a guard page and is only as long as the input).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/block_decoder.hpp"
#include "codec/block_encoder.hpp"
#include "codec/reference_encoder.hpp"
#include "guarded_buffer.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte picks the level: 0..7 and 9 select their windows, others (10, -1, ...)
  // fall back to 65536 like 9 does.
  const auto level = static_cast<std::int32_t>(static_cast<std::int8_t>(data[0]));
  const std::vector<std::uint8_t> input(data + 1, data + size);
  const auto length = static_cast<std::uint32_t>(input.size());

  mytarvo::fuzz::GuardedBuffer source(length);
  if (length > 0) std::memcpy(source.data(), input.data(), length);
  mytarvo::fuzz::GuardedBuffer first(length);
  mytarvo::fuzz::GuardedBuffer second(length);
  const std::uint32_t n = mytarvo::codec::pack(source.data(), first.data(), length, level);
  const std::uint32_t again = mytarvo::codec::pack(source.data(), second.data(), length, level);
  if (n != again) std::abort();
  if (n != 0 && std::memcmp(first.data(), second.data(), n) != 0) std::abort();

  const std::vector<std::uint8_t> expected =
      mytarvo::test::reference::encode(input, mytarvo::test::reference::window_for_level(level), 0);
  if (expected.size() != n) std::abort();
  if (n == 0) return 0;
  if (std::memcmp(expected.data(), first.data(), n) != 0) std::abort();
  if (n > length || n < 14 || (n - 10) % 4 != 0) std::abort();

  mytarvo::fuzz::GuardedBuffer out(length);
  if (mytarvo::codec::decode(first.data(), n, out.data(), length) != length) std::abort();
  if (std::memcmp(out.data(), input.data(), length) != 0) std::abort();
  return 0;
}
