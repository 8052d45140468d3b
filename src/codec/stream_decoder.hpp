// Streaming block decoder: decodes a packed block fed in pieces into the caller's buffers a
// piece at a time, holding only the history that copies can still reach, and verifies the
// block checksum as the bytes go by. Same bytes and verdicts as decode() (block_decoder.hpp)
// on a zero-filled output of the block's unpacked size.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/token_decoder.hpp"

namespace mytarvo::codec {

// Where the decoder's buffers come from: the callbacks of the public codec API, or the
// system's allocator when `allocate` is null.
struct StreamAllocator {
  void* (*allocate)(std::uint32_t size, void* user) = nullptr;
  int (*release)(void* block, void* user) = nullptr;
  void* user = nullptr;
};

// A byte buffer from a StreamAllocator that can be replaced by a larger one.
class StreamBuffer {
 public:
  explicit StreamBuffer(const StreamAllocator& allocator) : allocator_(allocator) {}
  ~StreamBuffer();
  StreamBuffer(const StreamBuffer&) = delete;
  StreamBuffer& operator=(const StreamBuffer&) = delete;

  // Replaces the buffer by one of `capacity` bytes that begins with the `count` bytes held
  // at `from`. Returns false, keeping the buffer as it was, when memory is refused.
  [[nodiscard]] bool resize(std::size_t capacity, std::size_t from, std::size_t count);
  [[nodiscard]] std::uint8_t* data() const { return data_; }
  [[nodiscard]] std::size_t capacity() const { return capacity_; }

 private:
  StreamAllocator allocator_;
  std::uint8_t* data_ = nullptr;
  std::size_t capacity_ = 0;
};

enum class StreamState { Ok, NeedsInput, Done, Damaged, OutOfMemory };

class StreamDecoder {
 public:
  // `history_limit` bounds the distance copies may reach (raised to 1024 when below; 0: as
  // far as the block's unpacked size). A copy beyond it fails the block.
  StreamDecoder(const StreamAllocator& allocator, std::uint32_t history_limit);

  // Takes `size` more bytes of the block (copied). False when memory is refused.
  [[nodiscard]] bool feed(const std::uint8_t* data, std::size_t size);
  // Says that the block has no more bytes.
  void end_input();
  // Decodes into `out` up to `capacity` bytes; returns how many it wrote.
  std::size_t read(std::uint8_t* out, std::size_t capacity);
  [[nodiscard]] StreamState status() const;
  [[nodiscard]] std::uint32_t unpacked_size() const { return phase_ == Phase::Header ? 0 : size_; }
  [[nodiscard]] std::size_t history_capacity() const { return window_.capacity(); }
  [[nodiscard]] std::size_t input_capacity() const { return input_.capacity(); }

 private:
  enum class Phase { Header, Tokens, Ended, Damaged, OutOfMemory };

  bool advance();
  bool read_header();
  bool decode_some();
  bool make_room();
  void continue_copy();
  tokens::Step run_checked(tokens::BitSource& in, bool& starved);
  void finish();
  void fold_checksum();
  [[nodiscard]] std::uint8_t byte_at(std::uint64_t position) const;
  [[nodiscard]] std::uint64_t total() const { return discarded_ + state_.produced; }

  std::size_t history_limit_;  // 0: the whole block
  Phase phase_ = Phase::Header;
  bool starved_ = false;       // the last step needed input that has not come yet
  // Input: bytes [next_, end_) of input_ are not yet loaded into the bit buffer.
  StreamBuffer input_;
  std::size_t next_ = 0;
  std::size_t end_ = 0;
  bool input_final_ = false;
  std::uint64_t bits_ = 0;
  unsigned avail_ = 0;
  // Header.
  std::uint32_t size_ = 0;
  std::uint32_t stored_ = 0;
  // Output: the window holds the decoded bytes from `discarded_` on; bytes before
  // `delivered_` (window terms) have been handed out.
  StreamBuffer window_;
  tokens::DecodeState state_;
  std::size_t delivered_ = 0;
  std::uint64_t discarded_ = 0;
  // Checksum of the bytes before `folded_` (whole words).
  std::uint32_t sum_ = 0;
  std::uint64_t folded_ = 0;
};

}  // namespace mytarvo::codec
