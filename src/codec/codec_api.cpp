// The public codec functions of <mytarvo/codec.hpp>: thin wrappers over the block codec.
#include "mytarvo/codec.hpp"

#include "codec/block_decoder.hpp"

namespace mytarvo {

std::uint32_t decode_block(std::span<const std::uint8_t> block, std::span<std::uint8_t> out) noexcept {
  return codec::decode(block.data(), block.size(), out.data(), out.size());
}

std::uint32_t block_unpacked_size(std::span<const std::uint8_t> block) noexcept {
  return codec::unpacked_size(block.data(), block.size());
}

// ---- Packing --------------------------------------------------------------------------------
// (The packing wrappers are defined here.)

}  // namespace mytarvo
