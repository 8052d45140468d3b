// The block encoder: turns a byte buffer held whole in memory into a packed block (header,
// then the bit stream of literals and copies) in one forward pass.
#pragma once

#include <cstdint>

namespace mytarvo::codec {

// Returns a writable block of at least `size` bytes, or null.
using AllocateFn = void* (*)(std::uint32_t size, void* user);
// Takes back a block the allocation callback returned; the result is ignored.
using ReleaseFn = int (*)(void* block, void* user);
// Told the input position reached and the bytes stored so far; returns 0 to abort the run.
using ProgressFn = int (*)(std::uint32_t position, std::uint32_t bytes_stored, void* user);

inline constexpr std::uint32_t kMaxWindow = 0x0FFFFFFE;
inline constexpr std::uint32_t kMinWindow = 1024;

// The window actually used for a request: at most kMaxWindow, at least kMinWindow, and
// never more than the input length.
[[nodiscard]] constexpr std::uint32_t clamp_window(std::uint32_t request, std::uint32_t length) {
  std::uint32_t w = request > kMaxWindow ? kMaxWindow : request;
  if (w < kMinWindow) w = kMinWindow;
  return w > length ? length : w;
}

// Window of a pack level, the level read as unsigned: 0..7 give 1024 to 57344, every other
// value (negative ones too) 65536.
[[nodiscard]] std::uint32_t window_for_level(std::int32_t level);

// Encodes `length` bytes of `source` into `dest`, which must hold `length` bytes; nothing is
// ever stored beyond them. Returns the size of the packed block (10 + 4k bytes, at most
// `length`), or 0 when the block would not fit (every input under 14 bytes), when one of
// the three working blocks is refused, or when `progress` returns 0. The three working
// blocks (head table, node ring, in-use flags) come from `allocate` in that order; for a
// window of at most 65536 a fourth block follows, PrefixChains::bytes_needed(W) bytes for
// the fast search. When it is refused the plain search runs instead, and the block written
// is the same. All go back through `release` before the call returns: the fourth first,
// then table, flags, nodes. `progress` may be null; when `no_checksum` is exactly 1 the
// block checksum is stored as 0. `user` is handed unchanged to every callback. A null
// source or destination or a length of 0 gives 0 without any call.
[[nodiscard]] std::uint32_t encode(const std::uint8_t* source, std::uint32_t length, std::uint8_t* dest,
                                   std::uint32_t window, AllocateFn allocate, ReleaseFn release, ProgressFn progress,
                                   std::int32_t no_checksum, void* user = nullptr);

// Encodes with the window of `level`, memory from the free store (not zero-filled: the
// encoder clears what it reads), no progress callback and the block checksum computed. 0
// when source or dest is null or length is 0.
[[nodiscard]] std::uint32_t pack(const std::uint8_t* source, std::uint8_t* dest, std::uint32_t length,
                                 std::int32_t level);
// The same block, with `progress` (which may be null) told the input position reached
// every 96 tokens and once at the end; `user` is handed to it unchanged. Progress does
// not change the block.
[[nodiscard]] std::uint32_t pack(const std::uint8_t* source, std::uint8_t* dest, std::uint32_t length,
                                 std::int32_t level, ProgressFn progress, void* user);

}  // namespace mytarvo::codec
