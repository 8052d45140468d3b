// The public codec functions of <mytarvo/codec.hpp>: thin wrappers over the block codec.
#include "mytarvo/codec.hpp"

#include <type_traits>

#include "codec/best_encoder.hpp"
#include "codec/block_decoder.hpp"
#include "codec/block_encoder.hpp"

namespace mytarvo {

std::uint32_t decode_block(std::span<const std::uint8_t> block, std::span<std::uint8_t> out) noexcept {
  return codec::decode(block.data(), block.size(), out.data(), out.size());
}

std::uint32_t block_unpacked_size(std::span<const std::uint8_t> block) noexcept {
  return codec::unpacked_size(block.data(), block.size());
}

// ---- Packing --------------------------------------------------------------------------------

static_assert(std::is_same_v<BlockAllocateFn, codec::AllocateFn>);
static_assert(std::is_same_v<BlockReleaseFn, codec::ReleaseFn>);
static_assert(std::is_same_v<BlockProgressFn, codec::ProgressFn>);

namespace {
// The encoder writes up to source.size() bytes of the destination and counts in 32 bits.
bool packable(std::span<const std::uint8_t> source, std::span<std::uint8_t> dest) {
  return !source.empty() && source.size() <= 0xFFFFFFFFu && dest.size() >= source.size() &&
         dest.data() != nullptr;
}
}  // namespace

std::uint32_t pack_block(std::span<const std::uint8_t> source, std::span<std::uint8_t> dest,
                         std::int32_t level) noexcept {
  if (!packable(source, dest)) return 0;
  return codec::pack(source.data(), dest.data(), static_cast<std::uint32_t>(source.size()), level);
}

std::uint32_t pack_best(std::span<const std::uint8_t> source, std::span<std::uint8_t> dest) noexcept {
  if (!packable(source, dest)) return 0;
  return codec::pack_best(source.data(), dest.data(), static_cast<std::uint32_t>(source.size()));
}

std::uint32_t encode_block(std::span<const std::uint8_t> source, std::span<std::uint8_t> dest, std::uint32_t window,
                           BlockAllocateFn allocate, BlockReleaseFn release, BlockProgressFn progress,
                           std::int32_t no_checksum, void* user) noexcept {
  if (!packable(source, dest) || allocate == nullptr || release == nullptr) return 0;
  return codec::encode(source.data(), static_cast<std::uint32_t>(source.size()), dest.data(), window, allocate,
                       release, progress, no_checksum, user);
}

}  // namespace mytarvo
