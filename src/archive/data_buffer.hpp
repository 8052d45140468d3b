// Zero-filled data buffers and where they come from. The C functions take them from the
// library's private heap; the C++ interface from the free store. The code that reads,
// packs and extracts entries takes a BufferSource and works the same with either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace mytarvo {

// A zero-filled block. A request for 0 bytes or fewer yields no block; `missing()` tells
// a refused request of a positive size apart from that.
class DataBuffer {
 public:
  // Gives a block back to where it came from.
  using ReleaseFn = void (*)(void* owner, void* block);

  DataBuffer() = default;
  // Wraps `data` (null when the request was refused) of a request for `size` bytes.
  DataBuffer(std::uint8_t* data, std::size_t size, ReleaseFn release, void* owner)
      : release_(release), owner_(owner), data_(data), size_(size) {}
  DataBuffer(DataBuffer&& other) noexcept { swap(other); }
  DataBuffer& operator=(DataBuffer&& other) noexcept {
    DataBuffer(std::move(other)).swap(*this);
    return *this;
  }
  DataBuffer(const DataBuffer&) = delete;
  DataBuffer& operator=(const DataBuffer&) = delete;
  ~DataBuffer() {
    if (data_ != nullptr) release_(owner_, data_);
  }

  [[nodiscard]] std::uint8_t* data() const { return data_; }
  [[nodiscard]] std::size_t size() const { return data_ != nullptr ? size_ : 0; }
  // True when a block of a positive size was asked for and could not be had.
  [[nodiscard]] bool missing() const { return data_ == nullptr && size_ > 0; }

 private:
  void swap(DataBuffer& other) noexcept {
    std::swap(release_, other.release_);
    std::swap(owner_, other.owner_);
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
  }
  ReleaseFn release_ = nullptr;
  void* owner_ = nullptr;
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

// Where an operation takes its data buffers from.
class BufferSource {
 public:
  // A zero-filled buffer of `size` bytes; none for 0 or fewer, a missing one when refused.
  virtual DataBuffer take_buffer(std::int64_t size) = 0;

 protected:
  ~BufferSource() = default;
};

// Buffers from the free store (operator new, without exceptions).
class FreeStore final : public BufferSource {
 public:
  DataBuffer take_buffer(std::int64_t size) override;
};

}  // namespace mytarvo
