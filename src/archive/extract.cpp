// UnPak and UnPakAll: walk an archive with the entry scan and write entries as files into
// an output directory. Stored data is copied, packed data decoded; every output file
// receives exactly its entry's file size in bytes.
#include <algorithm>
#include <cstdint>
#include <string>

#include "archive/archive_format.hpp"
#include "archive/operations.hpp"
#include "codec/block_decoder.hpp"
#include "support/paths.hpp"

namespace mytarvo {

namespace {

// Stored data goes through a buffer of at most this many bytes, so that an entry is never
// held whole and a stored entry claiming up to 2 GiB extracts in a 32-bit process.
constexpr std::int64_t kCopyChunk = std::int64_t{1} << 20;

// A packed entry's block buffer is cut to the bytes the archive still holds after the
// entry's header plus this many zero bytes, however large a packed size it claims. Bytes
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
void zero_fill_to(BufferedFile& output, std::uint64_t size) {
  if (output.flush()) output.truncate(size);
}

// Copies `size` bytes of stored data from the archive to the output file through `chunk`.
// Bytes the archive does not hold (data cut short) become zeros.
void copy_stored(BufferedFile& archive, BufferedFile& output, const DataBuffer& chunk, std::int64_t size) {
  const auto chunk_size = static_cast<std::int64_t>(chunk.size());
  for (std::int64_t remaining = size; remaining > 0;) {
    const auto count = static_cast<std::uint32_t>(std::min(remaining, chunk_size));
    const std::uint32_t got = archive.read(chunk.data(), count);
    output.write(chunk.data(), got);
    if (got < count) {  // the end of the archive: the rest is zeros
      zero_fill_to(output, static_cast<std::uint64_t>(size));
      return;
    }
    remaining -= count;
  }
}

bool extract_stored(Library& lib, BufferedFile& archive, const EntryHeader& entry, const std::string& output_path) {
  const DataBuffer chunk = lib.take_buffer(std::min<std::int64_t>(entry.file_size, kCopyChunk));
  if (chunk.missing()) return false;
  BufferedFile output;
  // An output file that cannot be created receives nothing; the scan skips the data.
  if (output.open(output_path.c_str(), platform::OpenMode::CreateOrTruncate) && chunk.data() != nullptr) {
    copy_stored(archive, output, chunk, entry.file_size);
  }
  return true;
}

bool extract_packed(Library& lib, BufferedFile& archive, const EntryHeader& entry, const std::string& output_path) {
  const std::int64_t held = std::max<std::int64_t>(
      static_cast<std::int64_t>(archive.length()) - static_cast<std::int64_t>(entry.data_offset), 0);
  const DataBuffer block = lib.take_buffer(std::min<std::int64_t>(entry.packed_size, held + kBlockZeroTail));
  // The output buffer is exactly the entry's file size: the decoder is bounded by it, so a
  // block that disagrees with its entry can never write past it.
  const DataBuffer unpacked = lib.take_buffer(entry.file_size);
  if (block.missing() || unpacked.missing()) return false;
  BufferedFile output;
  if (!output.open(output_path.c_str(), platform::OpenMode::CreateOrTruncate)) return true;
  std::size_t written = 0;
  if (block.data() != nullptr && unpacked.data() != nullptr) {
    read_entry_data(archive, entry.data_offset, block.data(), static_cast<std::uint32_t>(block.size()));
    // The result is not consulted: whatever the decoder left in the zero-filled buffer
    // (nothing for a block without the magic, the decoded bytes for a wrong checksum) is
    // the content of the file.
    [[maybe_unused]] const std::uint32_t result =
        codec::decode(block.data(), block.size(), unpacked.data(), unpacked.size(), &written);
  }
  // The decoded front, then the buffer's untouched zero tail by extension.
  output.write(unpacked.data(), static_cast<std::uint32_t>(written));
  if (written < unpacked.size()) zero_fill_to(output, unpacked.size());
  return true;
}

// Writes the entry whose header the scan has just read from `archive` to `output_path`
// (created or emptied). False when the memory for its buffers could not be had: then no
// file is created or touched and the scan skips the entry's data by a seek.
bool extract_entry(Library& lib, BufferedFile& archive, const EntryHeader& entry, const std::string& output_path) {
  return entry.packed() ? extract_packed(lib, archive, entry, output_path)
                        : extract_stored(lib, archive, entry, output_path);
}

}  // namespace

const char* unpak(Library& lib, const char* archive, const char* out_dir, const char* name) {
  const std::string archive_path = copy_argument(archive);
  const std::string wanted = copy_argument(name);
  const std::string directory = paths::normalise_directory(copy_argument(out_dir));
  std::string result;
  {
    BufferedFile archive_file;
    open_for_scan(archive_file, archive_path.c_str(), platform::OpenMode::OpenOrCreate);
    EntryScan scan(archive_file);
    // The directory is made whether or not the archive opened.
    paths::create_directory_trimmed(directory.c_str());
    EntryHeader entry;
    while (scan.next(entry)) {
      if (entry.name != wanted) continue;
      // The first entry of the name decides, also when it is not a plain file name.
      if (paths::is_plain_file_name(entry.name)) {
        std::string output_path = paths::join(directory, entry.name);
        if (extract_entry(lib, archive_file, entry, output_path)) result = std::move(output_path);
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
  while (scan.next(entry)) {
    // Names that would point outside the directory, or at a device, are skipped; the scan
    // seeks past their data.
    if (!paths::is_plain_file_name(entry.name)) continue;
    extract_entry(lib, archive_file, entry, paths::join(directory, entry.name));
  }
  return opened ? Outcome::Done : Outcome::CannotOpenArchive;
}

}  // namespace mytarvo
