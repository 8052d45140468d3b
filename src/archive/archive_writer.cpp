// The writing half of the public C++ interface: preparing an entry from a file (on any
// thread), appending prepared entries, and creating an empty archive. Preparing and
// appending together make the same decisions and write the same bytes as AddToPak.
#include <new>

#include "archive/add_entry.hpp"
#include "archive/archive_format.hpp"
#include "archive/buffered_file.hpp"
#include "archive/operations.hpp"
#include "archive/public_api.hpp"
#include "support/paths.hpp"

namespace mytarvo {

namespace {

std::string_view source_problem(SourceCheck check) {
  switch (check) {
    case SourceCheck::Ok: return {};
    case SourceCheck::Missing: return "no such file";
    case SourceCheck::Directory: return "is a directory";
    case SourceCheck::TooLarge: return "too large for an archive entry (2 GiB or more)";
    case SourceCheck::BadName: return "its name holds a line break and cannot be stored";
  }
  return "cannot be added";
}

// Bridges the encoder's progress reports to the caller's function.
int forward_progress(std::uint32_t position, std::uint32_t /*bytes_stored*/, void* user) {
  try {
    (*static_cast<const PackProgress*>(user))(position);
  } catch (...) {  // a failing display must not stop the packing
  }
  return 1;
}

// Reads the whole source into `content`; returns the reason when it cannot.
std::string read_source(const std::string& source, std::vector<std::uint8_t>& content) {
  BufferedFile file;
  if (!file.open(source.c_str(), platform::OpenMode::ReadExisting)) {
    return "cannot be opened: " + platform::last_error_text();
  }
  const std::uint64_t length = file.length();
  if (length > static_cast<std::uint64_t>(kLargestEntry)) return std::string(source_problem(SourceCheck::TooLarge));
  content.assign(static_cast<std::size_t>(length), 0);
  const std::uint32_t got = file.read(content.data(), static_cast<std::uint32_t>(length));
  if (file.read_failed()) return "cannot be read: " + platform::last_error_text();
  // A source that shrank since its length was taken is stored with what was read, as
  // AddToPak does.
  content.resize(got);
  return {};
}

void fill_entry(PreparedEntry& entry, Packing packing, const PackProgress& progress) {
  entry.name = paths::file_part(entry.source.c_str());
  entry.error = source_problem(check_source(paths::query_size(entry.source.c_str()), entry.name));
  if (!entry.ok()) return;
  std::vector<std::uint8_t> content;
  entry.error = read_source(entry.source, content);
  if (!entry.ok()) return;

  const auto size = static_cast<std::uint32_t>(content.size());
  const std::int32_t compress = packing == Packing::Pack ? 1 : 0;
  std::vector<std::uint8_t> packed(packing == Packing::Pack ? size : 0);
  const PackingDecision decision =
      decide_packing(content.data(), size, compress, packed.data(), progress ? forward_progress : nullptr,
                     const_cast<PackProgress*>(&progress));
  entry.flag = decision.flag;
  entry.file_size = size;
  if (decision.flag == kFlagPacked) {
    packed.resize(decision.packed_size);
    packed.shrink_to_fit();
    entry.data = std::move(packed);
  } else {
    entry.data = std::move(content);
  }
}

}  // namespace

PreparedEntry prepare_entry(const std::string& source, Packing packing, const PackProgress& progress) {
  PreparedEntry entry;
  entry.source = source;
  try {
    fill_entry(entry, packing, progress);
  } catch (const std::bad_alloc&) {
    entry.error = "not enough memory to read and pack it";
  }
  if (!entry.ok()) entry.data = {};
  return entry;
}

struct ArchiveAppender::State {
  Library lib;
  std::string path;
  bool header = false;
};

ArchiveAppender::ArchiveAppender(const std::string& path) : state_(std::make_unique<State>()) {
  api::require_existing_archive(path);
  state_->path = path;
  Library& lib = state_->lib;
  if (!lib.open(kArchiveFile, path.c_str(), platform::OpenMode::OpenOrCreate)) {
    throw ArchiveError(path + ": cannot be opened for writing: " + platform::last_error_text());
  }
  state_->header = lib.read_line(kArchiveFile) == kArchiveHeader;
}

ArchiveAppender::~ArchiveAppender() = default;
ArchiveAppender::ArchiveAppender(ArchiveAppender&&) noexcept = default;
ArchiveAppender& ArchiveAppender::operator=(ArchiveAppender&&) noexcept = default;

bool ArchiveAppender::has_header() const { return state_->header; }

bool ArchiveAppender::lock(bool wait) {
  const platform::FileHandle handle = state_->lib.file(kArchiveFile).handle();
  return platform::lock_exclusive(handle, wait ? platform::LockWait::Block : platform::LockWait::Try);
}

bool ArchiveAppender::still_at_path() const {
  return platform::is_same_file(state_->lib.file(kArchiveFile).handle(), state_->path.c_str());
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
  Library& lib = state_->lib;
  const std::uint64_t length = lib.length(kArchiveFile);
  EntryScan scan(lib);
  EntryHeader entry;
  std::uint64_t end = lib.position(kArchiveFile);
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

std::uint64_t ArchiveAppender::length() { return state_->lib.length(kArchiveFile); }

bool ArchiveAppender::cut_to(std::uint64_t length) noexcept {
  return platform::truncate_file(state_->lib.file(kArchiveFile).handle(), length);
}

bool ArchiveAppender::append(const PreparedEntry& entry) {
  if (!entry.ok()) return false;
  PackingDecision decision;
  decision.flag = entry.flag;
  const bool packed = entry.flag == kFlagPacked;
  decision.packed_size = packed ? static_cast<std::uint32_t>(entry.data.size()) : 0;
  if (!packed && entry.data.size() != entry.file_size) return false;  // sizes must describe the data
  return append_entry(state_->lib, kArchiveFile, entry.name, decision, packed ? nullptr : entry.data.data(),
                      entry.file_size, packed ? entry.data.data() : nullptr);
}

void create_archive(const std::string& path) {
  Library lib;
  create_pak_file(lib, path.c_str());
  // CreatePakFile reports nothing: look at what is there now.
  EntryScan scan(lib, path.c_str(), platform::OpenMode::ReadExisting);
  const bool created = scan.opened() && scan.header_found() && lib.length(kArchiveFile) == kArchiveHeader.size() + 2;
  if (!created) throw ArchiveError(path + ": cannot be created");
}

}  // namespace mytarvo
