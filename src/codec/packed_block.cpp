// Block checksum of the packed block format.
#include "codec/packed_block.hpp"

namespace mytarvo::codec {

std::uint32_t block_checksum(const std::uint8_t* data, std::size_t size) {
  return block_checksum_from(data, size, 0, 0);
}

std::uint32_t block_checksum_from(const std::uint8_t* data, std::size_t size, std::uint32_t sum, std::size_t from) {
  if (size < 4) return 0;
  std::size_t i = from;
  for (; i + 4 <= size; i += 4) sum = checksum_fold(sum, load_le32(data + i));
  if (i != size) sum = checksum_fold(sum, load_le32(data + size - 4));
  return sum;
}

}  // namespace mytarvo::codec
