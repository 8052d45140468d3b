// Reading and packing a source, and the failure-safe append of one archive entry.
#include "archive/add_entry.hpp"

#include <algorithm>

#include "codec/block_encoder.hpp"
#include "support/paths.hpp"
#include "support/platform.hpp"

namespace mytarvo {

namespace {

// The encoder's working memory comes from the system's global allocator, as the library
// has always taken it.
void* global_allocate(std::uint32_t size, void* /*user*/) { return platform::global_alloc_zeroed(size); }
int global_release(void* block, void* /*user*/) {
  platform::global_free(block);
  return 1;
}

// What the size query and the entry name say about a source.
Outcome check_source(std::int64_t size, std::string_view name) {
  if (size == paths::kDirectory) return Outcome::SourceIsDirectory;
  if (size < 0) return Outcome::NoSuchSource;
  if (size > kLargestEntry) return Outcome::SourceTooLarge;
  if (!is_storable_entry_name(name)) return Outcome::SourceNameUnstorable;
  return Outcome::Done;
}

}  // namespace

// Packs the content into `entry.packed` and keeps the block only when it is smaller.
void decide_packing(SourceEntry& entry, std::int32_t compress, PackProgressFn progress, void* user) {
  if (compress != 1) {
    const auto low = static_cast<std::uint8_t>(compress & 0xFF);
    entry.flag = low == kFlagPacked ? 0 : low;  // a stored entry must never read as packed
    return;
  }
  entry.flag = kFlagPacked;
  if (entry.size == 0) return;  // an empty file is "packed" with no block at all
  const std::uint32_t result =
      codec::encode(entry.content.data(), entry.size, entry.packed.data(), codec::window_for_level(kAddPackLevel),
                    &global_allocate, &global_release, progress, 0, user);
  if (result == 0 || result >= entry.size) {  // not smaller: store unchanged
    entry.flag = 0;
    return;
  }
  entry.packed_size = result;
}

EntryRecord SourceEntry::record() const {
  const bool is_packed = flag == kFlagPacked;
  EntryRecord record;
  record.name = name;
  record.flag = flag;
  record.file_size = static_cast<std::int32_t>(size);
  if (streamed_from != nullptr) {
    record.copy_from = streamed_from;
    record.chunk = std::span<std::uint8_t>(content.data(), content.size());
  } else {
    record.data = is_packed ? std::span<const std::uint8_t>(packed.data(), packed_size)
                            : std::span<const std::uint8_t>(content.data(), size);
  }
  return record;
}

namespace {

// Reads the whole source and packs it. False, with no buffer kept, when the memory for the
// content and the packed block cannot be had.
bool read_and_pack(BufferedFile& source, std::uint32_t length, BufferSource& buffers, SourceEntry& entry,
                   Outcome& outcome, PackProgressFn progress, void* user) {
  entry.content = buffers.take_buffer(length);
  entry.packed = buffers.take_buffer(length);
  if (entry.content.missing() || entry.packed.missing()) {
    entry.content = {};
    entry.packed = {};
    return false;
  }
  entry.size = source.read(entry.content.data(), length);
  if (source.read_failed()) {
    outcome = Outcome::CannotReadSource;
    return true;
  }
  // A source that shrank since its length was taken is stored with what was read; both
  // size lines then describe exactly the bytes that follow them.
  decide_packing(entry, 1, progress, user);
  outcome = Outcome::Done;
  return true;
}

// Prepares the source to be copied a chunk at a time when it is appended.
Outcome stream_stored(BufferedFile& source, std::uint32_t length, std::int32_t compress, BufferSource& buffers,
                      SourceEntry& entry) {
  entry.content = buffers.take_buffer(std::min(length, kCopyChunk));
  if (entry.content.missing()) return Outcome::NoMemory;
  entry.size = length;
  entry.streamed_from = &source;
  decide_packing(entry, compress == 1 ? 0 : compress, nullptr, nullptr);
  return Outcome::Done;
}

// Copies the first `entry.file_size` bytes of `entry.copy_from` to `archive`.
Outcome copy_content(BufferedFile& archive, const EntryRecord& entry) {
  BufferedFile& source = *entry.copy_from;
  const auto chunk_size = static_cast<std::uint32_t>(entry.chunk.size());
  source.seek(0);
  for (auto remaining = static_cast<std::uint32_t>(entry.file_size); remaining > 0;) {
    const std::uint32_t count = std::min(remaining, chunk_size);
    if (count == 0 || source.read(entry.chunk.data(), count) != count) return Outcome::CannotReadSource;
    archive.write(entry.chunk.data(), count);
    if (archive.write_failed()) return Outcome::WriteFailed;
    remaining -= count;
  }
  return Outcome::Done;
}

}  // namespace

Outcome read_source(const std::string& path, std::int32_t compress, BufferSource& buffers, BufferedFile& source,
                    SourceEntry& entry, PackProgressFn progress, void* user) {
  // The name the file really has, and one that extraction accepts; "" when there is none.
  entry.name = paths::stored_name(path.c_str());
  const Outcome check = check_source(paths::query_size(path.c_str()), entry.name);
  if (check != Outcome::Done) return check;
  if (!source.open(path.c_str(), platform::OpenMode::ReadExisting)) return Outcome::CannotOpenSource;
  const std::uint64_t length = source.length();
  if (length > static_cast<std::uint64_t>(kLargestEntry)) return Outcome::SourceTooLarge;
  const auto size = static_cast<std::uint32_t>(length);
  Outcome outcome = Outcome::Done;
  if (compress == 1 && read_and_pack(source, size, buffers, entry, outcome, progress, user)) return outcome;
  // Stored, or too large to pack in the memory at hand: stored all the same.
  return stream_stored(source, size, compress, buffers, entry);
}

bool is_storable_entry_name(std::string_view name) {
  return !name.empty() && name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

Outcome append_entry(BufferedFile& archive, const EntryRecord& entry) {
  const std::uint64_t old_length = archive.length();
  archive.seek(old_length);
  // An empty archive (just created, or an existing file of 0 bytes) gets its header line
  // first: without it the entry's name line would be taken for the header.
  if (old_length == 0) write_line(archive, kArchiveHeader);
  write_entry(archive, entry);
  const Outcome copied = entry.copy_from != nullptr ? copy_content(archive, entry) : Outcome::Done;
  if (copied == Outcome::Done && archive.flush()) return Outcome::Done;
  // Half an entry would hide every entry appended after it from readers: cut it off.
  // Once cut off, the failed bytes are gone: later appends start clean.
  if (archive.truncate(old_length)) archive.forget_write_failure();
  return copied != Outcome::Done ? copied : Outcome::WriteFailed;
}

}  // namespace mytarvo
