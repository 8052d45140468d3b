// Streaming a packed entry: the block is read from the archive a piece at a time (zero
// bytes where the archive ends), fed to the streaming decoder, and its output handed to a
// sink a chunk at a time.
#include "archive/entry_stream.hpp"

#include <algorithm>
#include <cstring>

#include "archive/archive_format.hpp"
#include "codec/packed_block.hpp"
#include "mytarvo/codec.hpp"

namespace mytarvo {

namespace {

// Hands out the bytes of a block in pieces, with the header's unpacked size replaced when
// asked to.
class BlockFeeder {
 public:
  BlockFeeder(BufferedFile& archive, const BlockSpan& span, std::optional<std::uint32_t> unpacked_size)
      : archive_(archive), span_(span), unpacked_size_(unpacked_size) {}

  // Fills `piece` with up to `capacity` next bytes; 0 once the block is through.
  std::uint32_t next(std::uint8_t* piece, std::uint32_t capacity) {
    const std::uint32_t count = std::min(capacity, span_.length - position_);
    std::uint32_t got = 0;
    if (position_ < span_.held) {
      const std::uint32_t from_archive = std::min(count, span_.held - position_);
      got = read_entry_data(archive_, span_.offset + position_, piece, from_archive);
      if (got < from_archive) read_failed_ = true;
    }
    std::memset(piece + got, 0, count - got);
    patch_header(piece, count);
    position_ += count;
    return count;
  }
  [[nodiscard]] bool read_failed() const { return read_failed_; }

 private:
  void patch_header(std::uint8_t* piece, std::uint32_t count) const {
    if (!unpacked_size_) return;
    std::uint8_t size[4];
    codec::store_le32(size, *unpacked_size_);
    for (std::uint32_t i = 0; i < 4; ++i) {
      const std::uint64_t at = codec::kUnpackedSizeOffset + i;
      if (at >= position_ && at < position_ + count) piece[at - position_] = size[i];
    }
  }

  BufferedFile& archive_;
  BlockSpan span_;
  std::optional<std::uint32_t> unpacked_size_;
  std::uint32_t position_ = 0;
  bool read_failed_ = false;
};

// One pass over the block with a decoder that keeps `history_limit` bytes (0: all).
StreamResult decode_pass(BufferedFile& archive, const BlockSpan& span, std::optional<std::uint32_t> unpacked_size,
                         std::uint32_t history_limit, const DataBuffer& piece, const DataBuffer& out,
                         ChunkSink& sink) {
  StreamDecoderOptions options;
  options.history_limit = history_limit;
  BlockStreamDecoder decoder(options);
  BlockFeeder feeder(archive, span, unpacked_size);
  const auto piece_size = static_cast<std::uint32_t>(piece.size());
  bool input_ended = false;
  StreamResult result;
  result.whole_history = history_limit == 0;
  const auto finish = [&](StreamEnd end) {
    result.end = end;
    result.read_failed = feeder.read_failed();
    return result;
  };
  for (;;) {
    const std::size_t count = decoder.read(out.data(), out.size());
    if (count > 0) {
      if (!sink.put(out.data(), count)) return finish(StreamEnd::SinkStopped);
      result.delivered += count;
      continue;
    }
    switch (decoder.status()) {
      case StreamStatus::Ok:
        continue;
      case StreamStatus::NeedsInput: {
        // Once the input has ended the decoder cannot ask for more; never loop on it.
        if (input_ended) return finish(StreamEnd::Damaged);
        const std::uint32_t got = feeder.next(piece.data(), piece_size);
        if (got == 0) {
          decoder.end_input();
          input_ended = true;
        } else if (!decoder.feed(piece.data(), got)) {
          return finish(StreamEnd::NoMemory);
        }
        continue;
      }
      case StreamStatus::Done:
        return finish(StreamEnd::Done);
      case StreamStatus::Damaged:
        return finish(StreamEnd::Damaged);
      case StreamStatus::OutOfMemory:
        break;
    }
    return finish(StreamEnd::NoMemory);
  }
}

}  // namespace

// The unpacked size the decoder works to: the override, or what the header records.
std::uint32_t claimed_size(BufferedFile& archive, const BlockSpan& span, std::optional<std::uint32_t> unpacked_size) {
  if (unpacked_size) return *unpacked_size;
  std::uint8_t header[codec::kHeaderSize] = {};
  peek_block(archive, span, header, codec::kHeaderSize);
  return codec::load_le32(header + codec::kUnpackedSizeOffset);
}

void peek_block(BufferedFile& archive, const BlockSpan& span, std::uint8_t* into, std::uint32_t count) {
  count = std::min(count, span.length);
  const std::uint32_t from_archive = std::min(count, span.held);
  const std::uint32_t got = from_archive > 0 ? read_entry_data(archive, span.offset, into, from_archive) : 0;
  std::memset(into + got, 0, count - got);
}

StreamBuffers take_stream_buffers(BufferSource& buffers, std::uint32_t block_length, std::uint32_t unpacked_size) {
  StreamBuffers taken;
  taken.piece = buffers.take_buffer(std::min(std::max<std::uint32_t>(block_length, 1), kBlockPiece));
  taken.out = buffers.take_buffer(std::min(std::max<std::uint32_t>(unpacked_size, 1), kStreamChunk));
  return taken;
}

StreamResult stream_block(BufferedFile& archive, const BlockSpan& span, std::optional<std::uint32_t> unpacked_size,
                          bool whole_history, const StreamBuffers& buffers, ChunkSink& sink) {
  if (buffers.missing()) return StreamResult{StreamEnd::NoMemory, 0, whole_history};
  const DataBuffer& piece = buffers.piece;
  const DataBuffer& out = buffers.out;
  StreamResult result =
      decode_pass(archive, span, unpacked_size, whole_history ? 0 : kArchiveHistory, piece, out, sink);
  // Only a block that has given more bytes than the bounded history, and stopped before
  // its end, can have failed for want of it (one that failed only its checksum gave every
  // byte); decode it again with all of its history.
  if (result.end == StreamEnd::Damaged && !whole_history && result.delivered > kArchiveHistory &&
      result.delivered < claimed_size(archive, span, unpacked_size)) {
    if (!sink.restart()) {
      result.end = StreamEnd::Undecided;
      return result;
    }
    result = decode_pass(archive, span, unpacked_size, 0, piece, out, sink);
  }
  return result;
}

}  // namespace mytarvo
