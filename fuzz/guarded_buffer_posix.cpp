// Guard-page buffers with mmap and mprotect.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

#include "guarded_buffer.hpp"

namespace mytarvo::fuzz {

GuardedBuffer::GuardedBuffer(std::size_t size) : size_(size) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t data_pages = (size + page - 1) / page;
  mapping_size_ = (data_pages + 1) * page;
  mapping_ = mmap(nullptr, mapping_size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping_ == MAP_FAILED) std::abort();
  auto* base = static_cast<std::uint8_t*>(mapping_);
  if (mprotect(base + data_pages * page, page, PROT_NONE) != 0) std::abort();
  data_ = base + data_pages * page - size;
}

GuardedBuffer::~GuardedBuffer() { munmap(mapping_, mapping_size_); }

}  // namespace mytarvo::fuzz
