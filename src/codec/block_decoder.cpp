// Block decoder: a single forward pass over the bit stream of a packed block with the
// shared token loop (token_decoder.hpp), followed by verification of the block checksum.
#include "codec/block_decoder.hpp"

#include <limits>

#include "codec/packed_block.hpp"
#include "codec/token_decoder.hpp"

namespace mytarvo::codec {
namespace {

// Runs the stream of `word_count` words at `stream` until its end marker. On success
// state.produced holds the number of bytes written.
bool decode_stream(const std::uint8_t* stream, std::size_t word_count, tokens::DecodeState& state,
                   tokens::RunningChecksum& checksum) {
  const std::uint8_t* const end = stream + word_count * kWordSize;
  // Two whole words are left while next < end - 4 (next only ever lies on a word boundary).
  tokens::BitSource in{0, 0, stream, word_count >= 1 ? end - kWordSize : stream, end};
  return tokens::run_tokens<false>(in, state, tokens::FastBounds{end, state.limit}, &checksum) == tokens::Step::End;
}

// The least ratio of unpacked size to block size at which the fast loop folds the checksum.
constexpr std::size_t kInLoopFoldRatio = 5;

}  // namespace

std::uint32_t decode(const std::uint8_t* block, std::size_t block_size, std::uint8_t* out, std::size_t capacity,
                     std::size_t* written, bool* accepted) {
  if (written != nullptr) *written = 0;
  if (accepted != nullptr) *accepted = false;
  if (block == nullptr || out == nullptr) return 0;
  if (block_size < kHeaderSize || block[0] != kMagic0 || block[1] != kMagic1) return 0;
  const std::uint32_t size = load_le32(block + kUnpackedSizeOffset);
  const std::uint32_t stored = load_le32(block + kChecksumOffset);
  // A verified block is checked over `size` bytes of the output: they must lie within it.
  if (stored != 0 && size > capacity) return 0;

  // The count is returned as 32 bits, so no stream may write more than that.
  const std::size_t limit = capacity < std::numeric_limits<std::uint32_t>::max()
                                ? capacity
                                : static_cast<std::size_t>(std::numeric_limits<std::uint32_t>::max());
  tokens::DecodeState state{out, limit, 0, kInitialLastDistance, kInitialIndexBits, 0, 0};
  // On a block that unpacks to many times its size (long copies, few tokens per byte) the
  // fast loop folds the checksum's whole words as it goes, behind the output, where the
  // work overlaps the copies; elsewhere (short tokens, the loop bound by its branches) the
  // spans cost more than they save. The rest is folded here.
  const bool fold_in_loop = stored != 0 && size / kInLoopFoldRatio >= block_size;
  tokens::RunningChecksum checksum{0, 0, fold_in_loop ? size & ~std::size_t{3} : 0};
  const bool ended = decode_stream(block + kHeaderSize, (block_size - kHeaderSize) / kWordSize, state, checksum);
  if (written != nullptr) *written = state.produced;
  if (!ended) return 0;
  if (stored != 0 && block_checksum_from(out, size, checksum.sum, checksum.folded) != stored) return 0;
  if (accepted != nullptr) *accepted = true;
  return static_cast<std::uint32_t>(state.produced);
}

std::uint32_t unpacked_size(const std::uint8_t* block, std::size_t block_size) {
  if (block == nullptr || block_size < kUnpackedSizeOffset + 4 || block[0] != kMagic0 || block[1] != kMagic1) return 0;
  return load_le32(block + kUnpackedSizeOffset);
}

}  // namespace mytarvo::codec
