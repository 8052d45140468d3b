// Fuzz target: the best packing mode on arbitrary data. The first byte picks the shape:
// bit 0 set lays the data out twice with 64 KiB or more of noise between (so the second
// copy can only come from far back), bit 1 set limits the window to 65536 positions (so
// the finder's ring wraps). The block must decode back to the input through the library's
// decoder and the plain reference decoder, packing twice must give the same block, and
// nothing may be written past the destination (which ends against a guard page and is only
// as long as the input).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/best_encoder.hpp"
#include "codec/block_decoder.hpp"
#include "codec/reference_decoder.hpp"
#include "guarded_buffer.hpp"

namespace {

// data, noise of 65536 + 251 * data[0] bytes, then data again with its middle byte changed.
std::vector<std::uint8_t> far_apart(const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> out(data);
  std::uint64_t state = 0x9E3779B97F4A7C15ull ^ data.size();
  const std::size_t gap = 65536 + 251 * static_cast<std::size_t>(data.empty() ? 0 : data[0]);
  for (std::size_t i = 0; i < gap; ++i) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    out.push_back(static_cast<std::uint8_t>(state >> 32));
  }
  out.insert(out.end(), data.begin(), data.end());
  if (!data.empty()) out[out.size() - data.size() / 2 - 1] ^= 0x5A;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t shape = data[0];
  std::vector<std::uint8_t> input(data + 1, data + size);
  if ((shape & 1) != 0) input = far_apart(input);
  const std::uint32_t window = (shape & 2) != 0 ? mytarvo::codec::kMinBestWindow : mytarvo::codec::kMaxBestWindow;
  const auto length = static_cast<std::uint32_t>(input.size());

  mytarvo::fuzz::GuardedBuffer source(length);
  if (length > 0) std::memcpy(source.data(), input.data(), length);
  mytarvo::fuzz::GuardedBuffer first(length);
  mytarvo::fuzz::GuardedBuffer second(length);
  const std::uint32_t n = mytarvo::codec::pack_best(source.data(), first.data(), length, window);
  const std::uint32_t again = mytarvo::codec::pack_best(source.data(), second.data(), length, window);
  if (n != again) std::abort();
  if (n == 0) return 0;
  if (std::memcmp(first.data(), second.data(), n) != 0) std::abort();
  if (n > length || n < 14 || (n - 10) % 4 != 0) std::abort();

  mytarvo::fuzz::GuardedBuffer out(length);
  if (mytarvo::codec::decode(first.data(), n, out.data(), length) != length) std::abort();
  if (std::memcmp(out.data(), input.data(), length) != 0) std::abort();
  std::memset(out.data(), 0, length);
  if (mytarvo::test::reference_decode(first.data(), n, out.data(), length) != length) std::abort();
  if (std::memcmp(out.data(), input.data(), length) != 0) std::abort();
  return 0;
}
