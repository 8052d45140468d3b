// ArchiveReader: the entry scan of an existing archive, and reading, decoding and
// verifying one entry's data for tools.
#include <algorithm>
#include <new>

#include "archive/archive_format.hpp"
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

bool starts_like_block(const std::vector<std::uint8_t>& data) {
  return data.size() >= codec::kMinBlockSize && data[0] == codec::kMagic0 && data[1] == codec::kMagic1;
}

// Decodes the packed block of an entry into exactly `file_size` bytes of `out`.
Damage decode_entry(const std::vector<std::uint8_t>& block, std::uint32_t file_size, std::vector<std::uint8_t>& out) {
  if (block.empty() && file_size == 0) return Damage::None;  // an empty file added with packing
  if (!starts_like_block(block)) return Damage::NotABlock;
  const auto block_size = static_cast<std::uint32_t>(block.size());
  if (codec::unpacked_size(block.data(), block_size) != file_size) return Damage::SizeMismatch;
  // A block of unpacked size 0 holds nothing to decode or verify.
  if (file_size == 0) return Damage::None;
  out.assign(file_size, 0);
  if (codec::decode(block.data(), block_size, out.data(), file_size) != file_size) return Damage::BadBlock;
  return Damage::None;
}

}  // namespace

EntryData ArchiveReader::read(const ArchiveEntry& entry) {
  EntryData result;
  try {
    const std::uint32_t length = entry.data_size();
    if (entry.data_offset > state_->size || state_->size - entry.data_offset < length) {
      result.damage = Damage::CutShort;
      return result;
    }
    std::vector<std::uint8_t> data(length);
    if (read_entry_data(state_->archive, entry.data_offset, data.data(), length) != length) {
      result.damage = Damage::Unreadable;
      return result;
    }
    if (!entry.packed()) {
      result.bytes = std::move(data);
      return result;
    }
    result.damage = decode_entry(data, entry.file_size, result.bytes);
  } catch (const std::exception&) {  // no memory for the data
    result.damage = Damage::Unreadable;
  }
  if (result.damage != Damage::None) result.bytes = {};
  return result;
}

Damage ArchiveReader::verify(const ArchiveEntry& entry) { return read(entry).damage; }

std::string ArchiveReader::header_bytes(const ArchiveEntry& entry) {
  const std::uint64_t length = entry.data_offset - entry.header_offset;
  std::string bytes(static_cast<std::size_t>(length), '\0');
  state_->archive.seek(entry.header_offset);
  bytes.resize(state_->archive.read(bytes.data(), static_cast<std::uint32_t>(length)));
  return bytes;
}

}  // namespace mytarvo
