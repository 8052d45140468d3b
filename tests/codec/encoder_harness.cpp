// Test helper: recording callbacks around the block encoder (see encoder_harness.hpp).
#include "codec/encoder_harness.hpp"

#include <cstring>

namespace mytarvo::test {

void* EncoderHarness::allocate(std::uint32_t size, void* user) {
  auto& self = *static_cast<EncoderHarness*>(user);
  const int index = static_cast<int>(self.blocks.size());
  self.events.push_back(Event{'a', size});
  if (index == self.refuse_request) return nullptr;
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) return nullptr;
  std::memset(block, self.dirty_blocks ? 0xA5 : 0, size);
  self.blocks.push_back(block);
  self.released_.push_back(false);
  return block;
}

int EncoderHarness::release(void* block, void* user) {
  auto& self = *static_cast<EncoderHarness*>(user);
  for (std::size_t i = 0; i < self.blocks.size(); ++i) {
    if (self.blocks[i] == block && !self.released_[i]) {
      self.events.push_back(Event{'r', static_cast<std::uint32_t>(i)});
      self.released_[i] = true;
      std::free(block);
      return 7;  // any value: the encoder ignores it
    }
  }
  self.events.push_back(Event{'r', 0xFFFFFFFFu});  // not a block we handed out
  return 0;
}

int EncoderHarness::progress(std::uint32_t position, std::uint32_t bytes_stored, void* user) {
  auto& self = *static_cast<EncoderHarness*>(user);
  self.events.push_back(Event{'p', position, bytes_stored});
  const int index = self.reports++;
  return index == self.abort_at_report ? 0 : 1;
}

Bytes EncoderHarness::run(const Bytes& input, std::uint32_t window) {
  dest.assign(input.size() + 64, 0xEE);  // bytes beyond the input length must stay 0xEE
  result = codec::encode(input.data(), static_cast<std::uint32_t>(input.size()), dest.data(), window,
                         &EncoderHarness::allocate, &EncoderHarness::release,
                         with_progress ? &EncoderHarness::progress : nullptr, no_checksum, this);
  return take(dest, result);
}

std::string EncoderHarness::trace() const {
  std::string out;
  for (const Event& e : events) {
    if (!out.empty()) out += ' ';
    out += e.kind;
    out += std::to_string(e.value);
  }
  return out;
}

EncoderHarness::~EncoderHarness() {
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    if (!released_[i]) std::free(blocks[i]);
  }
}

Bytes pack_bytes(const Bytes& input, std::int32_t level) {
  Bytes dest(input.size() + 1);
  const std::uint32_t size = codec::pack(input.data(), dest.data(), static_cast<std::uint32_t>(input.size()), level);
  return take(dest, size);
}

std::uint32_t crc32(const Bytes& data) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t byte : data) {
    crc ^= byte;
    for (int i = 0; i < 8; ++i) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

}  // namespace mytarvo::test
