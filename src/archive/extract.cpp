// UnPak and UnPakAll: walk an archive with the entry scan and write entries as files into
// an output directory. Stored data is copied, packed data decoded; every output file
// receives exactly its entry's file size in bytes.
#include <algorithm>
#include <cstdint>
#include <string>

#include "archive/archive_format.hpp"
#include "archive/entry_stream.hpp"
#include "archive/operations.hpp"
#include "codec/packed_block.hpp"
#include "support/paths.hpp"

namespace mytarvo {

namespace {

// Stored data goes through a buffer of at most this many bytes, so that an entry is never
// held whole and a stored entry claiming up to 2 GiB extracts in a 32-bit process.
constexpr std::int64_t kCopyChunk = std::int64_t{1} << 20;

// A packed entry's block is read as the bytes the archive still holds after the entry's
// header plus this many zero bytes, however large a packed size it claims. Bytes
// beyond the end of the archive would read as zeros, and zero bits end a stream within
// one token and an end marker (a raw run, the longest token, takes 2057 bits, the end
// marker 12, and at most one partly used bit word precedes them), so the decoder produces
// the same output as with the full buffer.
constexpr std::int64_t kBlockZeroTail = 1024;
static_assert(kBlockZeroTail * 8 > 2057 + 12 + 32);

// Gives the output file its full `size` by extending it with zero bytes from where the
// written data ends. The file reads exactly as if the zeros had been written one by one,
// but a damaged entry that claims far more bytes than its archive holds costs neither
// time nor disk space in proportion to its claim.
bool zero_fill_to(BufferedFile& output, std::uint64_t size) { return output.flush() && output.truncate(size); }

// Copies `size` bytes of stored data from the archive to the output file through `chunk`.
// Bytes the archive does not hold (data cut short) become zeros. False once a write failed.
bool copy_stored(BufferedFile& archive, BufferedFile& output, const DataBuffer& chunk, std::int64_t size) {
  const auto chunk_size = static_cast<std::int64_t>(chunk.size());
  for (std::int64_t remaining = size; remaining > 0;) {
    const auto count = static_cast<std::uint32_t>(std::min(remaining, chunk_size));
    const std::uint32_t got = archive.read(chunk.data(), count);
    output.write(chunk.data(), got);
    if (output.write_failed()) return false;
    // The end of the archive: the rest is zeros.
    if (got < count) return zero_fill_to(output, static_cast<std::uint64_t>(size));
    remaining -= count;
  }
  return true;
}

// What became of one entry's output file.
enum class Extracted {
  Whole,     // written whole
  Failed,    // not created, or a write failed (then removed again)
  NoMemory,  // the entry's buffers could not be had: nothing was touched
};

// The output file of one entry, created or emptied by WriteOutput (never written through a
// link). Unless `finish` is called and succeeds, whatever was created is removed again when
// the object goes, so that no cut-short file is left under the entry's name.
class OutputFile {
 public:
  explicit OutputFile(const std::string& path) : path_(path) {
    opened_ = file_.open(path.c_str(), platform::OpenMode::WriteOutput);
  }
  ~OutputFile() {
    if (!opened_ || finished_) return;
    file_.close();
    paths::delete_file(path_.c_str());
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  [[nodiscard]] bool opened() const { return opened_; }
  BufferedFile& file() { return file_; }
  // Closes the file; Whole when every write (and the zero extension) succeeded.
  Extracted finish() {
    finished_ = !file_.write_failed() && file_.close();
    return finished_ ? Extracted::Whole : Extracted::Failed;
  }

 private:
  std::string path_;
  BufferedFile file_;
  bool opened_ = false;
  bool finished_ = false;
};

Extracted extract_stored(Library& lib, BufferedFile& archive, const EntryHeader& entry, const std::string& output_path) {
  const DataBuffer chunk = lib.take_buffer(std::min<std::int64_t>(entry.file_size, kCopyChunk));
  if (chunk.missing()) return Extracted::NoMemory;
  OutputFile output(output_path);
  // An output file that cannot be created receives nothing; the scan skips the data.
  if (!output.opened()) return Extracted::Failed;
  if (chunk.data() != nullptr && !copy_stored(archive, output.file(), chunk, entry.file_size)) {
    return Extracted::Failed;
  }
  return output.finish();
}

// Puts decoded bytes into the output file; a restart empties it again.
class OutputSink final : public ChunkSink {
 public:
  explicit OutputSink(BufferedFile& output) : output_(output) {}
  bool put(const std::uint8_t* data, std::size_t size) override {
    output_.write(data, static_cast<std::uint32_t>(size));  // a failed write is not reported
    return true;
  }
  bool restart() override {
    output_.truncate(0);
    output_.seek(0);
    return true;
  }

 private:
  BufferedFile& output_;
};

// Whether the one-shot decoder, given the block and a zero-filled buffer of `file_size`
// bytes, would start decoding at all: the block must have a header with the magic, and a
// verified block must not claim more bytes than the buffer holds.
bool decoder_would_start(BufferedFile& archive, const BlockSpan& span, std::uint32_t file_size) {
  std::uint8_t header[codec::kHeaderSize] = {};
  if (span.length < codec::kHeaderSize) return false;
  peek_block(archive, span, header, codec::kHeaderSize);
  if (header[0] != codec::kMagic0 || header[1] != codec::kMagic1) return false;
  const std::uint32_t claimed = codec::load_le32(header + codec::kUnpackedSizeOffset);
  const std::uint32_t checksum = codec::load_le32(header + codec::kChecksumOffset);
  return checksum == 0 || claimed <= file_size;
}

// Decodes the block into the output file and returns how many bytes the stream wrote.
// The stream is read as if its header claimed exactly `file_size` bytes: the decoder then
// writes what it would write into a buffer of that size, whatever the header claims (the
// size it records is otherwise not consulted). The verdict is not consulted either:
// whatever the stream gave before it stopped (nothing for a block without the magic, all
// the decoded bytes for a wrong checksum) is the front of the file.
std::uint64_t decode_to_output(BufferedFile& archive, const BlockSpan& span, std::uint32_t file_size,
                               const StreamBuffers& buffers, BufferedFile& output) {
  if (file_size == 0 || !decoder_would_start(archive, span, file_size)) return 0;
  OutputSink sink(output);
  return stream_block(archive, span, file_size, false, buffers, sink).delivered;
}

Extracted extract_packed(Library& lib, BufferedFile& archive, const EntryHeader& entry, const std::string& output_path) {
  const std::int64_t held = std::max<std::int64_t>(
      static_cast<std::int64_t>(archive.length()) - static_cast<std::int64_t>(entry.data_offset), 0);
  BlockSpan span;
  span.offset = entry.data_offset;
  span.length = static_cast<std::uint32_t>(std::min<std::int64_t>(entry.packed_size, held + kBlockZeroTail));
  span.held = static_cast<std::uint32_t>(std::min<std::int64_t>(span.length, held));
  const auto file_size = static_cast<std::uint32_t>(entry.file_size);
  // The block is read and decoded a piece at a time, so the memory an entry takes does
  // not grow with its size.
  const StreamBuffers buffers = take_stream_buffers(lib, span.length, file_size);
  if (buffers.missing()) return Extracted::NoMemory;
  OutputFile output(output_path);
  if (!output.opened()) return Extracted::Failed;
  const std::uint64_t written = decode_to_output(archive, span, file_size, buffers, output.file());
  // The decoded front, then zero bytes up to the file size by extension.
  if (written < file_size && !zero_fill_to(output.file(), file_size)) return Extracted::Failed;
  return output.finish();
}

// Writes the entry whose header the scan has just read from `archive` to `output_path`
// (created or emptied). When the memory for its buffers could not be had, no file is
// created or touched and the scan skips the entry's data by a seek.
Extracted extract_entry(Library& lib, BufferedFile& archive, const EntryHeader& entry, const std::string& output_path) {
  return entry.packed() ? extract_packed(lib, archive, entry, output_path)
                        : extract_stored(lib, archive, entry, output_path);
}

// Whether the scan's entry may be written into a directory: a plain file name, kept whole.
bool extractable(const EntryHeader& entry) { return !entry.name_cut && paths::is_plain_file_name(entry.name); }

}  // namespace

const char* unpak(Library& lib, const char* archive, const char* out_dir, const char* name) {
  const std::string archive_path = copy_argument(archive);
  const std::string wanted = copy_argument(name);
  // "" when the directory is empty and the current directory cannot be had: then nothing
  // is extracted (never into the root of the drive).
  const std::string directory = paths::normalise_directory(copy_argument(out_dir));
  std::string result;
  {
    BufferedFile archive_file;
    open_for_scan(archive_file, archive_path.c_str(), platform::OpenMode::OpenOrCreate);
    EntryScan scan(archive_file);
    // The directory is made whether or not the archive opened.
    paths::create_directory_trimmed(directory.c_str());
    EntryHeader entry;
    while (!directory.empty() && scan.next(entry)) {
      if (entry.name_cut || entry.name != wanted) continue;
      // The first entry of the name decides, also when it is not a plain file name. The
      // path is the result only when the whole file was written.
      if (paths::is_plain_file_name(entry.name)) {
        std::string output_path = paths::join(directory, entry.name);
        if (extract_entry(lib, archive_file, entry, output_path) == Extracted::Whole) result = std::move(output_path);
      }
      break;
    }
  }
  lib.work_area() = std::move(result);
  return lib.work_area().c_str();
}

Outcome unpak_all(Library& lib, const char* archive, const char* out_dir) {
  const std::string archive_path = copy_argument(archive);
  const std::string directory = paths::normalise_directory(copy_argument(out_dir));
  BufferedFile archive_file;
  const bool opened = open_for_scan(archive_file, archive_path.c_str(), platform::OpenMode::OpenOrCreate);
  EntryScan scan(archive_file);
  paths::create_directory_trimmed(directory.c_str());
  EntryHeader entry;
  while (!directory.empty() && scan.next(entry)) {
    // Names that would point outside the directory, or at a device, and names cut short
    // are skipped; the scan seeks past their data.
    if (!extractable(entry)) continue;
    extract_entry(lib, archive_file, entry, paths::join(directory, entry.name));
  }
  return opened ? Outcome::Done : Outcome::CannotOpenArchive;
}

}  // namespace mytarvo
