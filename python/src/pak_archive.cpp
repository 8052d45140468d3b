#include "pak_archive.hpp"

#include <algorithm>
#include <cerrno>
#include <stdexcept>

#include "errors.hpp"
#include "mytarvo/archive_edit.hpp"

namespace mytarvo::python {

namespace {

constexpr const char* kNotAnArchive = "not an archive: the first line is not the archive header line";

template <typename Open>
auto open_or_throw(const std::string& path, Open open) {
  errno = 0;
  try {
    return open();
  } catch (const ArchiveError& error) {
    throw SystemFailure(last_error_or_eio(), path, error.what());
  }
}

std::string describe_outcome(const ExtractResult& result) {
  switch (result.outcome) {
    case ExtractOutcome::Unsafe: return "unsafe entry name (a directory, drive or device part); not extracted";
    case ExtractOutcome::Damaged: return std::string(describe(result.damage)) + "; not extracted";
    default: return "not extracted";
  }
}

// The pattern that matches exactly `name`: each byte that has a meaning in patterns ("*",
// "?", "[") becomes a set holding only that byte.
std::string literal_pattern(const std::string& name) {
  std::string pattern;
  pattern.reserve(name.size());
  for (const char c : name) {
    if (c == '*' || c == '?' || c == '[') {
      pattern += '[';
      pattern += c;
      pattern += ']';
    } else {
      pattern += c;
    }
  }
  return pattern;
}

// Whether the file at `path` can be read and does not start with the archive header.
bool is_foreign_content(const std::string& path) {
  try {
    return !ArchiveReader(path).has_header();
  } catch (const ArchiveError&) {
    return false;
  }
}

}  // namespace

PakArchive::PakArchive(std::string path, ArchiveMode mode) : path_(std::move(path)), mode_(mode) {
  if (mode_ == ArchiveMode::Create) {
    open_or_throw(path_, [&] {
      create_archive(path_);
      return 0;
    });
  }
  if (mode_ == ArchiveMode::Read) {
    if (!reader().has_header()) throw BadContent(kNotAnArchive);
  } else if (!appender().has_header()) {
    throw BadContent(kNotAnArchive);
  }
}

PakArchive::~PakArchive() = default;

void PakArchive::close() {
  const std::lock_guard<std::mutex> lock(mutex_);
  reader_.reset();
  appender_.reset();
  closed_ = true;
}

void PakArchive::ensure_open() const {
  if (closed_) throw std::logic_error("I/O operation on a closed archive");
}

ArchiveReader& PakArchive::reader() {
  if (!reader_) {
    appender_.reset();
    reader_ = open_or_throw(path_, [&] { return std::make_unique<ArchiveReader>(path_); });
  }
  return *reader_;
}

ArchiveAppender& PakArchive::appender() {
  if (!appender_) {
    reader_.reset();
    appender_ = open_or_throw(path_, [&] { return std::make_unique<ArchiveAppender>(path_); });
  }
  return *appender_;
}

const ArchiveEntry& PakArchive::entry_at(std::uint64_t header_offset) {
  const auto& all = reader().entries();
  // The scan only moves forward, so header offsets rise strictly through the list.
  const auto found = std::lower_bound(all.begin(), all.end(), header_offset,
                                      [](const ArchiveEntry& e, std::uint64_t offset) { return e.header_offset < offset; });
  if (found == all.end() || found->header_offset != header_offset) throw std::out_of_range("no entry at that offset");
  return *found;
}

std::vector<ArchiveEntry> PakArchive::entries() {
  const std::lock_guard<std::mutex> lock(mutex_);
  ensure_open();
  return reader().entries();
}

std::vector<std::uint8_t> PakArchive::read(std::uint64_t header_offset) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ensure_open();
  const ArchiveEntry& entry = entry_at(header_offset);
  EntryData data = reader().read(entry);
  if (data.damage != Damage::None) throw BadContent(std::string(describe(data.damage)));
  return std::move(data.bytes);
}

std::string PakArchive::extract(std::uint64_t header_offset, const std::string& directory) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ensure_open();
  const ArchiveEntry& entry = entry_at(header_offset);
  errno = 0;
  const ExtractResult result = extract_entry(reader(), entry, directory, false);
  switch (result.outcome) {
    case ExtractOutcome::Written:
    case ExtractOutcome::Kept: return result.path;
    case ExtractOutcome::WriteFailed: throw SystemFailure(last_error_or_eio(), result.path, "cannot be written");
    default: throw BadContent(describe_outcome(result));
  }
}

std::vector<Problem> PakArchive::test() {
  const std::lock_guard<std::mutex> lock(mutex_);
  ensure_open();
  std::vector<Problem> problems;
  ArchiveReader& archive = reader();
  for (const ArchiveEntry& entry : archive.entries()) {
    const Damage damage = archive.verify(entry);
    if (damage != Damage::None) problems.push_back({entry.name, entry.header_offset, std::string(describe(damage))});
  }
  if (const auto& tail = archive.bad_tail()) {
    problems.push_back({tail->name, tail->header_offset,
                        "entry header gives a negative size; it and everything after it cannot be read"});
  }
  return problems;
}

void PakArchive::ensure_writable() const {
  ensure_open();
  if (!writable()) throw std::logic_error("the archive is open for reading only");
}

void PakArchive::append(const PreparedEntry& entry) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ensure_writable();
  errno = 0;
  if (!appender().append(entry)) throw SystemFailure(last_error_or_eio(), path_, "cannot append the entry");
}

template <typename Edit>
auto PakArchive::edit(Edit run) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ensure_writable();
  reader_.reset();
  appender_.reset();
  errno = 0;
  try {
    return run();
  } catch (const ArchiveError& error) {
    const int error_number = last_error_or_eio();
    if (is_foreign_content(path_)) throw BadContent(error.what());
    throw SystemFailure(error_number, path_, error.what());
  }
}

std::vector<ArchiveEntry> PakArchive::remove(const std::string& name) {
  RemoveResult result = edit([&] { return remove_entries(path_, {literal_pattern(name)}); });
  if (!result.unmatched.empty()) throw std::out_of_range("no entry is named so; nothing removed");
  return std::move(result.removed);
}

std::vector<ArchiveEntry> PakArchive::rename(const std::string& old_name, const std::string& new_name) {
  RenameResult result = edit([&] { return rename_entries(path_, old_name, new_name); });
  switch (result.outcome) {
    case RenameOutcome::Renamed: return std::move(result.renamed);
    case RenameOutcome::NoSuchEntry: throw std::out_of_range("no entry is named so; nothing renamed");
    case RenameOutcome::NameTaken: throw std::invalid_argument("an entry has the new name already; nothing renamed");
    case RenameOutcome::BadName: break;
  }
  throw std::invalid_argument(
      "the new name must be a plain file name (no directory, drive or device part, CR, LF or NUL); nothing renamed");
}

}  // namespace mytarvo::python
