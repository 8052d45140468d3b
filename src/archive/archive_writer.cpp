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
    // The system's reason, asked on the thread that met the refusal.
    if (outcome == Outcome::CannotOpenSource || outcome == Outcome::CannotReadSource) {
      entry.error += ": " + platform::last_error_text();
    }
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
  std::string path;
  bool header = false;
  bool locked = false;
};

namespace {
constexpr int kReopenAttempts = 64;
}  // namespace

// Takes the archive's writer lock (waiting for it or not). An edit that held the lock
// meanwhile may have renamed a rewritten archive over the path: then the file now at the
// path is opened and locked instead, so that entries land in the archive the path names.
// False when another writer holds the lock and `wait` is false, or when the file system
// keeps no locks (the archive is then written without one, as before).
bool ArchiveAppender::lock(bool wait) {
  State& state = *state_;
  if (state.locked) return true;
  for (int attempt = 0; attempt < kReopenAttempts; ++attempt) {
    if (!state.archive.is_open()) {
      if (!state.archive.open(state.path.c_str(), platform::OpenMode::OpenOrCreate)) {
        throw ArchiveError(state.path + ": cannot be opened for writing: " + platform::last_error_text());
      }
      state.header = read_line(state.archive) == kArchiveHeader;
    }
    const platform::FileHandle handle = state.archive.handle();
    if (!platform::lock_exclusive(handle, wait ? platform::LockWait::Block : platform::LockWait::Try)) return false;
    if (platform::is_same_file(handle, state.path.c_str())) {
      state.locked = true;
      return true;
    }
    state.archive.close();
  }
  throw ArchiveError(state.path + ": keeps being replaced by other writers");
}

ArchiveAppender::ArchiveAppender(const std::string& path) : state_(std::make_unique<State>()) {
  api::require_existing_archive(path);
  state_->path = path;
  if (!state_->archive.open(path.c_str(), platform::OpenMode::OpenOrCreate)) {
    throw ArchiveError(path + ": cannot be opened for writing: " + platform::last_error_text());
  }
  state_->header = read_line(state_->archive) == kArchiveHeader;
  // The lock goes with the appender: taken now when it is free, otherwise by the caller's
  // lock() or at the latest by the first append, which waits for it.
  (void)lock(false);
}

ArchiveAppender::~ArchiveAppender() = default;
ArchiveAppender::ArchiveAppender(ArchiveAppender&&) noexcept = default;
ArchiveAppender& ArchiveAppender::operator=(ArchiveAppender&&) noexcept = default;

bool ArchiveAppender::has_header() const { return state_->header; }

bool ArchiveAppender::still_at_path() const {
  return platform::is_same_file(state_->archive.handle(), state_->path.c_str());
}

namespace {
// Bytes an entry header takes at the least: its name line, the flag byte and its size
// lines, each line ended by one byte. Fewer mean that the file ends inside the header.
std::uint64_t shortest_header(const EntryHeader& entry) {
  std::uint64_t bytes = entry.name.size() + 1 + 1 + std::to_string(entry.file_size).size() + 1;
  if (entry.packed()) bytes += std::to_string(entry.packed_size).size() + 1;
  return bytes;
}
}  // namespace

std::optional<std::uint64_t> ArchiveAppender::torn_at() {
  BufferedFile& archive = state_->archive;
  const std::uint64_t length = archive.length();
  archive.seek(0);
  EntryScan scan(archive);
  EntryHeader entry;
  std::uint64_t end = archive.position();
  std::uint64_t last_start = end;
  while (scan.next(entry)) {
    if (entry.data_offset - entry.header_offset < shortest_header(entry)) return entry.header_offset;
    last_start = entry.header_offset;
    end = entry.data_offset + static_cast<std::uint64_t>(entry.data_length());
  }
  if (scan.stopped_at_bad_size()) return entry.header_offset;
  if (end != length) return last_start;
  return std::nullopt;
}

std::uint64_t ArchiveAppender::length() { return state_->archive.length(); }

bool ArchiveAppender::cut_to(std::uint64_t length) noexcept {
  return platform::truncate_file(state_->archive.handle(), length);
}

bool ArchiveAppender::append(const PreparedEntry& entry) {
  if (!entry.ok()) return false;
  (void)lock(true);
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
