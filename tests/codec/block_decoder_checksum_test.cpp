// The block decoder's checksum on blocks that unpack to many times their size, whose
// checksum the decoder folds while it decodes: every size around the folded spans, blocks
// whose header size differs from what the stream writes, and wrong checksums.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "codec/block_decoder.hpp"
#include "codec/block_encoder.hpp"
#include "codec/encoder_harness.hpp"
#include "codec/generated_inputs.hpp"
#include "codec/packed_block.hpp"

namespace mytarvo::codec {
namespace {

using test::Bytes;

// Periodic data with rare changes: long copies, far more than 5 unpacked bytes per block
// byte once past a few hundred bytes.
Bytes compressible(std::size_t size, std::uint64_t seed) {
  test::TestRandom rng(seed);
  return test::periodic(rng, size, 13);
}

Bytes packed(const Bytes& input) {
  Bytes block(input.size() + 64);
  const std::uint32_t n = pack(input.data(), block.data(), static_cast<std::uint32_t>(input.size()), 9);
  block.resize(n);
  return block;
}

// Sizes at and around the spans the decoder folds (64 bytes, 256 behind the output), each
// with all four remainders modulo 4, and a few long ones.
std::vector<std::size_t> sizes() {
  std::vector<std::size_t> out;
  for (std::size_t base : {64u, 256u, 320u, 384u, 1024u, 4096u, 65536u, 300000u}) {
    for (std::size_t k = 0; k < 8; ++k) out.push_back(base - 4 + k);
  }
  return out;
}

TEST(DecodeChecksum, CompressibleBlocksOfEverySizeAreAccepted) {
  for (const std::size_t size : sizes()) {
    const Bytes input = compressible(size, size);
    const Bytes block = packed(input);
    ASSERT_FALSE(block.empty()) << size;
    if (size >= 1000) {
      EXPECT_GE(size, 5 * block.size()) << size << ": the folding decoder is not exercised";
    }
    Bytes out(size + 16, 0xEE);
    EXPECT_EQ(decode(block.data(), block.size(), out.data(), out.size()), size) << size;
    EXPECT_TRUE(std::equal(input.begin(), input.end(), out.begin())) << size;
    EXPECT_EQ(out[size], 0xEE) << size;
  }
}

TEST(DecodeChecksum, WrongChecksumIsRejectedAfterTheBytes) {
  for (const std::size_t size : {4097u, 65536u, 299999u}) {
    const Bytes input = compressible(size, 7);
    Bytes block = packed(input);
    for (const std::uint32_t flip : {1u, 0x80000000u, 0x00010000u}) {
      Bytes bad = block;
      store_le32(bad.data() + kChecksumOffset, load_le32(block.data() + kChecksumOffset) ^ flip);
      Bytes out(size);
      std::size_t written = 0;
      bool accepted = true;
      EXPECT_EQ(decode(bad.data(), bad.size(), out.data(), out.size(), &written, &accepted), 0u) << size;
      EXPECT_FALSE(accepted);
      EXPECT_EQ(written, size);
      EXPECT_EQ(out, input);
    }
  }
}

TEST(DecodeChecksum, HeaderSizeOtherThanTheBytesWritten) {
  // The checksum covers the header's size: a shorter one covers a prefix of the output, a
  // longer one also the buffer's bytes after what the stream wrote, as they are.
  const std::size_t size = 100003;
  const Bytes input = compressible(size, 3);
  const Bytes block = packed(input);
  for (const std::size_t claimed : {size - 1, size - 3, size - 4, size - 700, std::size_t{5}, size + 1, size + 6}) {
    Bytes covered(claimed, 0xA5);
    std::copy_n(input.begin(), std::min(claimed, size), covered.begin());
    Bytes altered = block;
    store_le32(altered.data() + kUnpackedSizeOffset, static_cast<std::uint32_t>(claimed));
    store_le32(altered.data() + kChecksumOffset, block_checksum(covered.data(), covered.size()));
    Bytes out(size + 8, 0xA5);
    EXPECT_EQ(decode(altered.data(), altered.size(), out.data(), out.size()), size) << claimed;
    // The same claim with the checksum one off fails.
    store_le32(altered.data() + kChecksumOffset, block_checksum(covered.data(), covered.size()) + 1);
    EXPECT_EQ(decode(altered.data(), altered.size(), out.data(), out.size()), 0u) << claimed;
  }
}

}  // namespace
}  // namespace mytarvo::codec
