// The public streaming decoder of <mytarvo/codec.hpp>: a thin owner of the codec's
// StreamDecoder, placed in memory from the caller's allocator.
#include <cstdlib>
#include <new>
#include <utility>

#include "codec/stream_decoder.hpp"
#include "mytarvo/codec.hpp"

namespace mytarvo {

struct BlockStreamDecoder::Impl {
  Impl(const codec::StreamAllocator& a, std::uint32_t history_limit) : allocator(a), decoder(a, history_limit) {}
  codec::StreamAllocator allocator;
  codec::StreamDecoder decoder;
};

namespace {

codec::StreamAllocator allocator_of(const StreamDecoderOptions& options) {
  if (options.allocate == nullptr || options.release == nullptr) return {};
  return {options.allocate, options.release, options.user};
}

}  // namespace

BlockStreamDecoder::BlockStreamDecoder(const StreamDecoderOptions& options) noexcept : impl_(nullptr) {
  const codec::StreamAllocator a = allocator_of(options);
  void* memory = a.allocate != nullptr ? a.allocate(sizeof(Impl), a.user) : std::malloc(sizeof(Impl));
  if (memory != nullptr) impl_ = new (memory) Impl(a, options.history_limit);
}

BlockStreamDecoder::~BlockStreamDecoder() {
  if (impl_ == nullptr) return;
  const codec::StreamAllocator a = impl_->allocator;
  impl_->~Impl();
  if (a.release != nullptr) {
    a.release(impl_, a.user);
  } else {
    std::free(impl_);
  }
}

BlockStreamDecoder::BlockStreamDecoder(BlockStreamDecoder&& other) noexcept : impl_(std::exchange(other.impl_, nullptr)) {}

BlockStreamDecoder& BlockStreamDecoder::operator=(BlockStreamDecoder&& other) noexcept {
  std::swap(impl_, other.impl_);
  return *this;
}

bool BlockStreamDecoder::feed(const std::uint8_t* data, std::size_t size) noexcept {
  return impl_ != nullptr && impl_->decoder.feed(data, size);
}

void BlockStreamDecoder::end_input() noexcept {
  if (impl_ != nullptr) impl_->decoder.end_input();
}

std::size_t BlockStreamDecoder::read(std::uint8_t* out, std::size_t capacity) noexcept {
  return impl_ == nullptr ? 0 : impl_->decoder.read(out, capacity);
}

StreamStatus BlockStreamDecoder::status() const noexcept {
  if (impl_ == nullptr) return StreamStatus::OutOfMemory;
  switch (impl_->decoder.status()) {
    case codec::StreamState::Ok:
      return StreamStatus::Ok;
    case codec::StreamState::NeedsInput:
      return StreamStatus::NeedsInput;
    case codec::StreamState::Done:
      return StreamStatus::Done;
    case codec::StreamState::Damaged:
      return StreamStatus::Damaged;
    case codec::StreamState::OutOfMemory:
      break;
  }
  return StreamStatus::OutOfMemory;
}

std::uint32_t BlockStreamDecoder::unpacked_size() const noexcept {
  return impl_ == nullptr ? 0 : impl_->decoder.unpacked_size();
}

std::size_t BlockStreamDecoder::history_capacity() const noexcept {
  return impl_ == nullptr ? 0 : impl_->decoder.history_capacity();
}

}  // namespace mytarvo
