// Moving an entry's data without holding it whole: a packed block read from the archive in
// pieces and decoded through the streaming decoder into a sink, a piece at a time. Used by
// the C functions' extraction and by the C++ interface's reading, testing and extracting.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "archive/buffered_file.hpp"
#include "archive/data_buffer.hpp"

namespace mytarvo {

// Bytes moved per piece: the largest buffer extraction takes, whatever the entry's size.
inline constexpr std::uint32_t kStreamChunk = std::uint32_t{1} << 20;
// Bytes of block read from the archive at a time.
inline constexpr std::uint32_t kBlockPiece = std::uint32_t{1} << 16;
// The history the decoder keeps on a first pass. Every block the library writes copies
// from at most 65535 bytes back, so this is all it ever needs; a block that reaches
// farther (not written by this library, but valid) is decoded again with its whole
// history in memory, which costs what holding the whole entry used to.
inline constexpr std::uint32_t kArchiveHistory = std::uint32_t{1} << 16;

// Where decoded bytes go.
class ChunkSink {
 public:
  // Takes the next `size` bytes of the content; false stops the decoding (the sink keeps
  // why).
  virtual bool put(const std::uint8_t* data, std::size_t size) = 0;
  // Forgets everything put so far, to take the content again from its first byte; false
  // when the sink cannot.
  virtual bool restart() = 0;

 protected:
  ~ChunkSink() = default;
};

// A packed block as it lies in the archive: `length` bytes from `offset`, of which the
// archive holds the first `held` (the rest read as zero bytes).
struct BlockSpan {
  std::uint64_t offset = 0;
  std::uint32_t length = 0;
  std::uint32_t held = 0;
};

enum class StreamEnd {
  Done,         // the block decoded and verified
  Damaged,      // not a packed block, a damaged stream, or a checksum that differs
  NoMemory,     // a buffer was refused
  SinkStopped,  // the sink returned false
  Undecided,    // the bounded pass failed after kArchiveHistory bytes, and the sink could
                // not be restarted for a pass with the whole history
};

struct StreamResult {
  StreamEnd end = StreamEnd::Done;
  std::uint64_t delivered = 0;  // bytes put into the sink (since its last restart)
  bool whole_history = false;   // the block needed more history than kArchiveHistory
  bool read_failed = false;     // the archive gave fewer bytes than the span says it holds
};

// The two buffers a stream moves bytes through: block pieces in, decoded chunks out.
struct StreamBuffers {
  DataBuffer piece;
  DataBuffer out;
  // True when either was refused.
  [[nodiscard]] bool missing() const { return piece.missing() || out.missing(); }
};

// Buffers for a block of `block_length` bytes that decodes to `unpacked_size` bytes: no
// larger than they need to be, and at most kBlockPiece and kStreamChunk bytes.
StreamBuffers take_stream_buffers(BufferSource& buffers, std::uint32_t block_length, std::uint32_t unpacked_size);

// Decodes the block of `span` from `archive` into `sink` through `buffers`.
// With `unpacked_size`, the block's header is read as if it recorded that size: the
// decoder then writes at most that many bytes, and verifies the checksum over them. With
// `whole_history`, the decoder keeps all it decoded from the start; otherwise it keeps
// kArchiveHistory bytes, and when the block turns out damaged after more than that many
// bytes and before its end, the sink is restarted and the block decoded again with its
// whole history (a copy from farther back fails only the bounded pass).
StreamResult stream_block(BufferedFile& archive, const BlockSpan& span, std::optional<std::uint32_t> unpacked_size,
                          bool whole_history, const StreamBuffers& buffers, ChunkSink& sink);

// The unpacked size a stream of `span` decodes to: `unpacked_size`, or the header's.
std::uint32_t claimed_size(BufferedFile& archive, const BlockSpan& span, std::optional<std::uint32_t> unpacked_size);

// Reads the first `count` (at most 16) bytes of `span` into `into`, zero bytes where the
// archive ends; the rest of `into` is left as it was.
void peek_block(BufferedFile& archive, const BlockSpan& span, std::uint8_t* into, std::uint32_t count);

}  // namespace mytarvo
