// Fuzz target: arbitrary bytes decoded as a packed block by the streaming decoder, fed in
// pieces and read through a small buffer, against the one-shot decoder into a zero-filled
// buffer of the block's unpacked size. Verdicts and bytes must agree. The block ends
// against a guard page, so that reading past the input fed crashes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/block_decoder.hpp"
#include "codec/packed_block.hpp"
#include "guarded_buffer.hpp"
#include "mytarvo/codec.hpp"

namespace {

// Largest unpacked size tried: larger header values are folded below it, so that the
// one-shot decoder's buffer stays small.
constexpr std::uint32_t kMaxUnpacked = 1u << 20;

std::vector<std::uint8_t> stream_decode(const std::uint8_t* block, std::size_t size, std::size_t piece,
                                        std::size_t read_size, mytarvo::StreamStatus& status) {
  mytarvo::BlockStreamDecoder decoder;
  std::vector<std::uint8_t> out;
  std::vector<std::uint8_t> buffer(read_size);
  std::size_t fed = 0;
  for (;;) {
    const std::size_t n = decoder.read(buffer.data(), buffer.size());
    out.insert(out.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
    if (n > 0) continue;
    status = decoder.status();
    if (status != mytarvo::StreamStatus::NeedsInput) {
      if (status == mytarvo::StreamStatus::Ok) std::abort();  // read() gave nothing yet is not stuck
      return out;
    }
    if (fed == size) {
      decoder.end_input();
      continue;
    }
    const std::size_t k = std::min(piece, size - fed);
    if (!decoder.feed(block + fed, k)) std::abort();
    fed += k;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose the input piece size (1 to 256) and the read size (1 to 256).
  const std::size_t piece = std::size_t{data[0]} + 1;
  const std::size_t read_size = std::size_t{data[1]} + 1;
  data += 2;
  size -= 2;

  mytarvo::fuzz::GuardedBuffer block(size);
  if (size > 0) std::memcpy(block.data(), data, size);
  if (size >= mytarvo::codec::kUnpackedSizeOffset + 4) {  // a size field, even in a header cut short
    const std::uint32_t unpacked = mytarvo::codec::load_le32(block.data() + mytarvo::codec::kUnpackedSizeOffset);
    if (unpacked > kMaxUnpacked) {
      mytarvo::codec::store_le32(block.data() + mytarvo::codec::kUnpackedSizeOffset, unpacked % kMaxUnpacked);
    }
  }

  const std::uint32_t unpacked = mytarvo::codec::unpacked_size(block.data(), size);
  std::vector<std::uint8_t> expected(std::max<std::size_t>(unpacked, 1), 0);
  bool accepted = false;
  const std::uint32_t n =
      mytarvo::codec::decode(block.data(), size, expected.data(), unpacked, nullptr, &accepted);
  expected.resize(n);

  mytarvo::StreamStatus status = mytarvo::StreamStatus::Ok;
  const std::vector<std::uint8_t> got = stream_decode(block.data(), size, piece, read_size, status);
  if (accepted != (status == mytarvo::StreamStatus::Done)) std::abort();
  if (accepted && got != expected) std::abort();
  return 0;
}
