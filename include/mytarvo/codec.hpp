// mytarvo codec: packed blocks on their own, without archives.
//
// A packed block is the self-contained packed form of one byte buffer: a 10-byte header
// (the magic "QZ", the unpacked size and a block checksum, all little-endian) followed by
// a bit stream of 32-bit little-endian words. It is also what an archive stores as the
// data of each packed entry.
//
// These functions come with the static library `mytarvo_core`; the shared library
// exports only the five archive functions of <mytarvo/mytarvo.h>. They throw nothing and
// keep no state between calls, so separate calls on separate buffers may run at the same
// time on any threads. Decoding allocates nothing; packing takes its working memory (about
// 1.3 MiB for the default window) from the system's allocator or from the caller's
// callbacks and returns it before it returns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace mytarvo {

// ---- Decoding -------------------------------------------------------------------------------

// Decodes the packed block held in `block` into `out` and returns the number of bytes
// written to the front of `out`, or 0 on any failure:
//  - `block` or `out` has no data pointer, `block` is shorter than the 10-byte header or
//    does not begin with "QZ": nothing is written;
//  - the block records a checksum and an unpacked size larger than `out`: nothing is
//    written;
//  - the bit stream is damaged (it runs past the end of `block`, would write past the end
//    of `out`, copies from before the first byte, or breaks another rule of the format):
//    `out` holds the bytes decoded before the damage was met;
//  - the recorded checksum is not 0 and does not match the first unpacked-size bytes of
//    `out`: `out` holds every decoded byte, so callers that want unverified data can
//    still look at it.
// A recorded checksum of 0 means the block is not verified. Size `out` from
// `block_unpacked_size`; a well-formed block writes exactly that many bytes. Bytes of
// `out` beyond those the stream writes are left as they were (and, when the block is
// verified, count towards the checksum: hand in a zero-filled buffer). A result of 0 does
// not tell the failures apart, nor a failure from a block of unpacked size 0.
[[nodiscard]] std::uint32_t decode_block(std::span<const std::uint8_t> block, std::span<std::uint8_t> out) noexcept;

// The unpacked size recorded in the header of the packed block held in `block`, or 0 when
// `block` is shorter than 6 bytes or does not begin with "QZ". Looks at nothing else.
[[nodiscard]] std::uint32_t block_unpacked_size(std::span<const std::uint8_t> block) noexcept;

// ---- Packing --------------------------------------------------------------------------------

// Packs `source` into `dest` with the window of pack `level` (0 to 7 select 1024, 2048,
// 4096, 8192, 16384, 32768, 40960 and 57344 recent bytes; every other value, negative ones
// included, 65536; archives use 9). Returns the size of the packed block written to the
// front of `dest` (at most source.size()), or 0 when the block would be longer than the
// input (every input under 14 bytes, and data that does not pack), when `source` is empty or
// longer than 2^32 - 1 bytes, when `dest` is shorter than `source`, or when memory runs
// out. Nothing beyond the first source.size() bytes of `dest` is written. The block
// records its checksum.
[[nodiscard]] std::uint32_t pack_block(std::span<const std::uint8_t> source, std::span<std::uint8_t> dest,
                                       std::int32_t level) noexcept;

// Packs `source` into `dest` as small as the best mode can: a window over the whole input
// (up to 2^25 bytes back), a shortest-path choice of tokens priced with their exact sizes,
// and the literal coding and distance split re-planned wherever they pay. The block reads
// back with `decode_block` like any other; it is typically 5 to 20% smaller than level 9's
// (much more with repeats from beyond 64 KiB) and takes about ten times longer to make
// (1 to 2 MB/s). Same results and failures as `pack_block`. Working memory besides the
// two buffers: 8 bytes per input byte up to 256 MiB, plus a few MiB (at most about 140
// MiB); when that cannot be had, a smaller window is used.
[[nodiscard]] std::uint32_t pack_best(std::span<const std::uint8_t> source, std::span<std::uint8_t> dest) noexcept;

// Callbacks of `encode_block`; `user` is the value given to it, handed on unchanged.
// Returns a writable block of at least `size` bytes, or null.
using BlockAllocateFn = void* (*)(std::uint32_t size, void* user);
// Takes back a block the allocation callback returned; the result is ignored.
using BlockReleaseFn = int (*)(void* block, void* user);
// Told the input position reached and the bytes of the block stored so far, every 96
// tokens and once at the end; returning 0 (except at the end) abandons the packing.
using BlockProgressFn = int (*)(std::uint32_t position, std::uint32_t bytes_stored, void* user);

// Packs `source` into `dest` like `pack_block`, with a window request of its own (clamped
// to 1024 .. 268435454 and to the input length), the working memory obtained through
// `allocate` (three blocks: 262144 bytes, (W + 1) * 16 + 4096 bytes and W + 1 bytes, W the
// clamped window; then, for windows up to 65536, a fourth block for a faster search, which
// may be refused without failing the call or changing the block: 1703936 bytes for W =
// 65536) and returned through `release` before the call returns, an optional
// progress callback (null for none), and the block checksum stored as 0 (not verified
// when decoded) when `no_checksum` is exactly 1. Returns the block's size, or 0 on the
// failures of `pack_block`, when one of the three blocks is refused or its size does not
// fit in 32 bits, when `allocate` or `release` is null, or when `progress` returns 0.
[[nodiscard]] std::uint32_t encode_block(std::span<const std::uint8_t> source, std::span<std::uint8_t> dest,
                                         std::uint32_t window, BlockAllocateFn allocate, BlockReleaseFn release,
                                         BlockProgressFn progress, std::int32_t no_checksum,
                                         void* user = nullptr) noexcept;

// ---- Streaming decoding -------------------------------------------------------------------

// Where a BlockStreamDecoder stands (status()).
enum class StreamStatus {
  Ok,           // read() has bytes to give or can make progress: call it
  NeedsInput,   // nothing more without more of the block: feed() it, or end_input()
  Done,         // the block is decoded, verified and every byte has been read
  Damaged,      // the block is not a well-formed packed block, or its checksum differs
  OutOfMemory,  // a buffer was refused; the decoder stops
};

// Options of a BlockStreamDecoder; the defaults suit most uses.
struct StreamDecoderOptions {
  // Callbacks for the decoder's buffers (both null: the system's allocator), as for
  // `encode_block`; `user` is handed to them unchanged.
  BlockAllocateFn allocate = nullptr;
  BlockReleaseFn release = nullptr;
  void* user = nullptr;
  // The farthest back a copy may reach, in bytes: the history the decoder holds. 0 (the
  // default) follows the block: as far as its unpacked size, so every block decodes as
  // with `decode_block`. A limit (raised to 1024 when below) bounds memory; a copy that
  // reaches beyond it makes the block Damaged. Archives are written with copies of at most
  // 65535 bytes back.
  std::uint32_t history_limit = 0;
};

// Decodes one packed block that arrives in pieces into buffers of the caller's, a piece at
// a time. It gives exactly the bytes and the verdict of `decode_block` into a zero-filled
// buffer of the block's unpacked size: the unpacked size is the output's limit (a stream
// that would write more is Damaged), and a stream that ends short is verified as if the
// missing bytes were zero. It holds the block's input not yet decoded, and a history
// window that starts at 64 KiB or the unpacked size, whichever is less, and grows only as
// far as the unpacked size (or the history limit, plus 64 KiB of room). The checksum is
// verified as the bytes go by; the verdict comes with the end marker, so bytes already
// read are only known good once status() is Done.
//
// Use: feed() the block's bytes as they come (end_input() after the last), and read()
// until it returns 0; then status() says why: NeedsInput (feed more), Done, Damaged or
// OutOfMemory. Every call is noexcept; one decoder serves one block and one thread.
class BlockStreamDecoder {
 public:
  BlockStreamDecoder() noexcept : BlockStreamDecoder(StreamDecoderOptions{}) {}
  explicit BlockStreamDecoder(const StreamDecoderOptions& options) noexcept;
  ~BlockStreamDecoder();
  BlockStreamDecoder(BlockStreamDecoder&& other) noexcept;
  BlockStreamDecoder& operator=(BlockStreamDecoder&& other) noexcept;
  BlockStreamDecoder(const BlockStreamDecoder&) = delete;
  BlockStreamDecoder& operator=(const BlockStreamDecoder&) = delete;

  // Takes the next `size` bytes of the block (copied before it returns; bytes after the
  // end marker, and bytes fed after end_input(), are ignored). Returns false when memory is
  // refused (status OutOfMemory).
  bool feed(const std::uint8_t* data, std::size_t size) noexcept;
  // Says that the block has no more bytes: a stream that has not ended by then is Damaged.
  void end_input() noexcept;
  // Writes the next decoded bytes to `out`, at most `capacity` (at least 1), and returns
  // how many: fewer only when the decoder needs input, has finished, or has stopped (see
  // status()).
  std::size_t read(std::uint8_t* out, std::size_t capacity) noexcept;
  [[nodiscard]] StreamStatus status() const noexcept;
  // The unpacked size from the block's header, or 0 before the header has been fed.
  [[nodiscard]] std::uint32_t unpacked_size() const noexcept;
  // Bytes of history window the decoder holds now (its largest buffer).
  [[nodiscard]] std::size_t history_capacity() const noexcept;

 private:
  struct Impl;
  Impl* impl_;
};

}  // namespace mytarvo
