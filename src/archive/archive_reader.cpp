// ArchiveReader: the entry scan of an existing archive, and reading, decoding and
// verifying one entry's data for tools.
#include <algorithm>
#include <new>
#include <unordered_set>

#include "archive/archive_format.hpp"
#include "archive/data_buffer.hpp"
#include "archive/entry_stream.hpp"
#include "archive/public_api.hpp"
#include "codec/block_decoder.hpp"
#include "codec/packed_block.hpp"
#include "support/paths.hpp"

namespace mytarvo {

namespace api {

void require_existing_archive(const std::string& path) {
  const std::int64_t size = paths::query_size(path.c_str());
  if (size == -1) throw ArchiveError(path + ": no such file");
  if (size == -2) throw ArchiveError(path + ": is a directory, not an archive");
}

ArchiveEntry to_public(const EntryHeader& header) {
  ArchiveEntry entry;
  // A name cut short is shown as such; no file of that name exists to write.
  entry.name = header.name;
  if (header.name_cut) entry.name += kNameCutMark;
  entry.flag = header.flag;
  entry.file_size = static_cast<std::uint32_t>(header.file_size);
  entry.packed_size = header.packed() ? static_cast<std::uint32_t>(header.packed_size) : 0;
  entry.header_offset = header.header_offset;
  entry.data_offset = header.data_offset;
  return entry;
}

}  // namespace api

std::string_view describe(Damage damage) {
  switch (damage) {
    case Damage::None: return "intact";
    case Damage::CutShort: return "data cut short by the end of the archive";
    case Damage::NotABlock: return "packed data is not a packed block";
    case Damage::SizeMismatch: return "packed block does not unpack to the entry's size";
    case Damage::BadBlock: return "packed block does not decode or fails its checksum";
    case Damage::Unreadable: return "data cannot be read (read error or not enough memory)";
  }
  return "unknown damage";
}

struct ArchiveReader::State {
  explicit State(const std::string& archive_path)
      : path(archive_path),
        opened(open_for_scan(archive, archive_path.c_str(), platform::OpenMode::ReadExisting)),
        scan(archive) {}

  std::string path;
  BufferedFile archive;  // open for the reader's life
  bool opened;
  EntryScan scan;  // reads the header as it is made: after the archive is opened
  std::uint64_t size = 0;
  std::vector<ArchiveEntry> entries;
  std::optional<ArchiveEntry> bad_tail;
  // Data offsets of packed entries whose blocks copy from farther back than the bounded
  // history: they are decoded with their whole history from the start.
  std::unordered_set<std::uint64_t> whole_history;
};

ArchiveReader::ArchiveReader(const std::string& path) {
  api::require_existing_archive(path);
  state_ = std::make_unique<State>(path);
  if (!state_->opened) throw ArchiveError(path + ": cannot be opened: " + platform::last_error_text());
  state_->size = state_->archive.length();
  EntryHeader header;
  while (state_->scan.next(header)) state_->entries.push_back(api::to_public(header));
  if (state_->scan.stopped_at_bad_size()) {
    ArchiveEntry tail;
    tail.name = header.name;
    tail.flag = header.flag;
    tail.header_offset = header.header_offset;
    tail.data_offset = header.data_offset;
    state_->bad_tail = tail;  // its sizes are negative: the public form leaves them 0
  }
}

ArchiveReader::~ArchiveReader() = default;
ArchiveReader::ArchiveReader(ArchiveReader&&) noexcept = default;
ArchiveReader& ArchiveReader::operator=(ArchiveReader&&) noexcept = default;

const std::string& ArchiveReader::path() const { return state_->path; }
bool ArchiveReader::has_header() const { return state_->scan.header_found(); }
std::uint64_t ArchiveReader::size() const { return state_->size; }
const std::vector<ArchiveEntry>& ArchiveReader::entries() const { return state_->entries; }
const std::optional<ArchiveEntry>& ArchiveReader::bad_tail() const { return state_->bad_tail; }

const ArchiveEntry* ArchiveReader::find_first(std::string_view name) const {
  const auto& all = state_->entries;
  const auto found = std::find_if(all.begin(), all.end(), [&](const ArchiveEntry& e) { return e.name == name; });
  return found == all.end() ? nullptr : &*found;
}

namespace {

// Adapts a caller's ContentSink to the stream's.
class SinkAdapter final : public ChunkSink {
 public:
  explicit SinkAdapter(ContentSink& sink) : sink_(sink) {}
  bool put(const std::uint8_t* data, std::size_t size) override { return sink_.write(data, size); }
  bool restart() override { return sink_.restart(); }

 private:
  ContentSink& sink_;
};

// Keeps nothing: what verify() streams into.
class Discard final : public ContentSink {
 public:
  bool write(const std::uint8_t*, std::size_t) override { return true; }
  bool restart() override { return true; }
};

// Gathers the content in memory: what read() streams into.
class Gather final : public ContentSink {
 public:
  explicit Gather(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  bool write(const std::uint8_t* data, std::size_t size) override {
    bytes_.insert(bytes_.end(), data, data + size);
    return true;
  }
  bool restart() override {
    bytes_.clear();
    return true;
  }

 private:
  std::vector<std::uint8_t>& bytes_;
};

// Copies stored data to the sink a chunk at a time.
Damage stream_stored(BufferedFile& archive, const ArchiveEntry& entry, ContentSink& sink) {
  FreeStore store;
  const DataBuffer chunk = store.take_buffer(std::min(entry.file_size, kStreamChunk));
  if (chunk.missing()) return Damage::Unreadable;
  for (std::uint32_t done = 0; done < entry.file_size;) {
    const std::uint32_t count = std::min(entry.file_size - done, kStreamChunk);
    if (read_entry_data(archive, entry.data_offset + done, chunk.data(), count) != count) return Damage::Unreadable;
    if (!sink.write(chunk.data(), count)) return Damage::None;
    done += count;
  }
  return Damage::None;
}

// What the header of a packed entry's block says before any of it is decoded.
Damage check_block_header(BufferedFile& archive, const ArchiveEntry& entry, const BlockSpan& span) {
  std::uint8_t header[codec::kHeaderSize] = {};
  peek_block(archive, span, header, codec::kHeaderSize);
  if (entry.packed_size < codec::kMinBlockSize || header[0] != codec::kMagic0 || header[1] != codec::kMagic1) {
    return Damage::NotABlock;
  }
  if (codec::unpacked_size(header, codec::kHeaderSize) != entry.file_size) return Damage::SizeMismatch;
  return Damage::None;
}

Damage to_damage(const StreamResult& result) {
  if (result.read_failed) return Damage::Unreadable;
  switch (result.end) {
    case StreamEnd::Done:
    case StreamEnd::SinkStopped:
      return Damage::None;
    case StreamEnd::Damaged:
      return Damage::BadBlock;
    case StreamEnd::NoMemory:
    case StreamEnd::Undecided:
      break;
  }
  return Damage::Unreadable;
}

}  // namespace

Damage ArchiveReader::stream(const ArchiveEntry& entry, ContentSink& sink) {
  try {
    const std::uint32_t length = entry.data_size();
    if (entry.data_offset > state_->size || state_->size - entry.data_offset < length) return Damage::CutShort;
    if (!entry.packed()) return stream_stored(state_->archive, entry, sink);
    if (length == 0 && entry.file_size == 0) return Damage::None;  // an empty file added with packing
    const BlockSpan span{entry.data_offset, length, length};
    const Damage header = check_block_header(state_->archive, entry, span);
    // A block of unpacked size 0 holds nothing to decode or verify.
    if (header != Damage::None || entry.file_size == 0) return header;
    FreeStore store;
    const StreamBuffers buffers = take_stream_buffers(store, length, entry.file_size);
    const bool whole_history = state_->whole_history.contains(entry.data_offset);
    SinkAdapter adapter(sink);
    const StreamResult result = stream_block(state_->archive, span, std::nullopt, whole_history, buffers, adapter);
    if (result.whole_history && result.end == StreamEnd::Done) state_->whole_history.insert(entry.data_offset);
    // An unverified block (checksum 0) that ends before its size is not the entry's content.
    if (result.end == StreamEnd::Done && result.delivered != entry.file_size) return Damage::BadBlock;
    return to_damage(result);
  } catch (const std::exception&) {  // no memory for the content
    return Damage::Unreadable;
  }
}

EntryData ArchiveReader::read(const ArchiveEntry& entry) {
  EntryData result;
  try {
    Gather gather(result.bytes);
    result.damage = stream(entry, gather);
  } catch (const std::exception&) {  // no memory for the content
    result.damage = Damage::Unreadable;
  }
  if (result.damage != Damage::None) result.bytes = {};
  return result;
}

Damage ArchiveReader::verify(const ArchiveEntry& entry) {
  Discard discard;
  return stream(entry, discard);
}

std::string ArchiveReader::header_bytes(const ArchiveEntry& entry) {
  const std::uint64_t length = entry.data_offset - entry.header_offset;
  std::string bytes(static_cast<std::size_t>(length), '\0');
  state_->archive.seek(entry.header_offset);
  bytes.resize(state_->archive.read(bytes.data(), static_cast<std::uint32_t>(length)));
  return bytes;
}

}  // namespace mytarvo
