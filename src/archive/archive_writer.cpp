// The writing half of the public C++ interface: preparing an entry from a file (on any
// thread), appending prepared entries, and creating an empty archive. Preparing and
// appending together make the same decisions and write the same bytes as AddToPak.
#include <algorithm>
#include <new>

#include "archive/add_entry.hpp"
#include "archive/operations.hpp"
#include "archive/public_api.hpp"

namespace mytarvo {

namespace {

// Bridges the encoder's progress reports to the caller's function.
int forward_progress(std::uint32_t position, std::uint32_t /*bytes_stored*/, void* user) {
  try {
    (*static_cast<const PackProgress*>(user))(position);
  } catch (...) {  // a failing display must not stop the packing
  }
  return 1;
}

void fill_entry(PreparedEntry& entry, Packing packing, const PackProgress& progress) {
  FreeStore buffers;
  BufferedFile source;
  SourceEntry read;
  const Outcome outcome =
      read_source(entry.source, packing == Packing::Pack ? 1 : 0, buffers, source, read,
                  progress ? forward_progress : nullptr, const_cast<PackProgress*>(&progress));
  entry.name = read.name;
  if (outcome != Outcome::Done) {
    entry.error = describe(outcome);
    return;
  }
  const EntryRecord record = read.record();
  entry.flag = record.flag;
  entry.file_size = read.size;
  entry.streamed = record.copy_from != nullptr;
  entry.data.assign(record.data.begin(), record.data.end());
}

}  // namespace

PreparedEntry prepare_entry(const std::string& source, Packing packing, const PackProgress& progress) {
  PreparedEntry entry;
  entry.source = source;
  try {
    fill_entry(entry, packing, progress);
  } catch (const std::bad_alloc&) {
    entry.error = describe(Outcome::NoMemory);
  }
  if (!entry.ok()) entry.data = {};
  return entry;
}

struct ArchiveAppender::State {
  BufferedFile archive;
  bool header = false;
};

ArchiveAppender::ArchiveAppender(const std::string& path) : state_(std::make_unique<State>()) {
  api::require_existing_archive(path);
  if (!state_->archive.open(path.c_str(), platform::OpenMode::OpenOrCreate)) {
    throw ArchiveError(path + ": cannot be opened for writing");
  }
  state_->header = read_line(state_->archive) == kArchiveHeader;
}

ArchiveAppender::~ArchiveAppender() = default;
ArchiveAppender::ArchiveAppender(ArchiveAppender&&) noexcept = default;
ArchiveAppender& ArchiveAppender::operator=(ArchiveAppender&&) noexcept = default;

bool ArchiveAppender::has_header() const { return state_->header; }

bool ArchiveAppender::append(const PreparedEntry& entry) {
  if (!entry.ok()) return false;
  const bool packed = entry.flag == kFlagPacked;
  if (entry.streamed && (packed || !entry.data.empty())) return false;
  if (!packed && !entry.streamed && entry.data.size() != entry.file_size) return false;  // sizes must describe the data
  EntryRecord record;
  record.name = entry.name;
  record.flag = entry.flag;
  record.file_size = static_cast<std::int32_t>(entry.file_size);
  record.data = entry.data;
  if (!entry.streamed) return append_entry(state_->archive, record) == Outcome::Done;
  BufferedFile source;
  if (!source.open(entry.source.c_str(), platform::OpenMode::ReadExisting)) return false;
  FreeStore buffers;
  const DataBuffer chunk = buffers.take_buffer(std::min(entry.file_size, kCopyChunk));
  if (chunk.missing()) return false;
  record.copy_from = &source;
  record.chunk = std::span<std::uint8_t>(chunk.data(), chunk.size());
  return append_entry(state_->archive, record) == Outcome::Done;
}

void create_archive(const std::string& path) {
  const Outcome outcome = create_pak_file(path.c_str());
  if (outcome != Outcome::Done) throw ArchiveError(path + ": " + std::string(describe(outcome)));
}

}  // namespace mytarvo
