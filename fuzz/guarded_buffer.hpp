// A buffer whose last byte sits right before an inaccessible page, so that a read or write
// one byte past its end crashes the fuzz target even without sanitizers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mytarvo::fuzz {

class GuardedBuffer {
 public:
  explicit GuardedBuffer(std::size_t size);
  ~GuardedBuffer();
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  [[nodiscard]] std::uint8_t* data() const { return data_; }
  [[nodiscard]] std::size_t size() const { return size_; }

 private:
  void* mapping_ = nullptr;
  std::size_t mapping_size_ = 0;
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

}  // namespace mytarvo::fuzz
