// The rewrite engine: lock, scan, write beside, flush, rename (see archive_rewrite.hpp).
#include "archive/archive_rewrite.hpp"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <random>

#include "mytarvo/files.hpp"
#include "support/file_replace.hpp"
#include "support/paths.hpp"

namespace mytarvo {

namespace {

// How often the lock is taken again when the path keeps being replaced meanwhile.
constexpr int kLockAttempts = 64;
// Temporary files are named after the archive, cut to this many characters.
constexpr std::size_t kNameInTemporary = 64;

std::string directory_of(const std::string& path) {
  return path.substr(0, path.size() - files::file_part(path).size());
}

// ".NAME.tarvo-" : the start of every temporary file of the archive NAME.
std::string temporary_prefix(const std::string& path) {
  std::string prefix(1, '.');
  prefix.append(files::file_part(path), 0, kNameInTemporary);
  prefix.append(".tarvo-");
  return prefix;
}

std::string temporary_name(const std::string& path) {
  static const std::uint32_t seed = std::random_device{}();
  static std::atomic<std::uint32_t> counter{0};
  const std::uint32_t value = seed ^ (counter.fetch_add(1) * 0x9E3779B9u);
  char text[16];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
  return temporary_prefix(path) + text + ".tmp";
}

}  // namespace

std::uint64_t entry_end(const ArchiveEntry& entry, std::uint64_t archive_size) {
  return std::min<std::uint64_t>(entry.data_offset + entry.data_size(), archive_size);
}

ArchiveRewrite::ArchiveRewrite(std::string path, bool require_header) : shown_(std::move(path)) {
  const std::int64_t size = paths::query_size(shown_.c_str());
  if (size == paths::kNoSuchFile) throw ArchiveError(shown_ + ": no such file");
  if (size == paths::kDirectory) throw ArchiveError(shown_ + ": is a directory, not an archive");
  path_ = platform::resolve_links(shown_);
  open_locked();
  try {
    scan();
    if (require_header && !archive_.has_header) {
      throw ArchiveError(shown_ + ": not an archive (its first line is not the archive header); nothing changed");
    }
  } catch (...) {
    platform::close_file(old_);  // no destructor runs for a constructor that throws
    throw;
  }
  remove_stale_temporaries();
}

ArchiveRewrite::~ArchiveRewrite() {
  discard();
  guard_.reset();
  platform::close_file(old_);  // releases the writer lock
}

void ArchiveRewrite::open_locked() {
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    old_ = platform::open_for_replacing(path_.c_str());
    if (old_ == platform::kNoFile) {
      throw ArchiveError(shown_ + ": cannot be opened (" + platform::describe_last_error() + ")");
    }
    if (!platform::lock_exclusive(old_, platform::LockWait::Block)) {
      const std::string reason = platform::describe_last_error();
      platform::close_file(old_);
      old_ = platform::kNoFile;
      throw ArchiveError(shown_ + ": cannot be locked for writing (" + reason + ")");
    }
    // Another writer may have replaced the archive while this one waited.
    if (platform::is_same_file(old_, path_.c_str())) return;
    platform::close_file(old_);
    old_ = platform::kNoFile;
  }
  throw ArchiveError(shown_ + ": keeps being replaced by other writers; nothing changed");
}

void ArchiveRewrite::scan() {
  ArchiveReader reader(path_);  // closed again before the rename, which it would hinder on Windows
  archive_.size = reader.size();
  archive_.has_header = reader.has_header();
  archive_.entries = reader.entries();
  archive_.bad_tail = reader.bad_tail();
}

// A temporary file left by a rewrite that was killed: with the lock held, no rewrite of
// this archive can be under way, so every temporary file named after it is stale.
void ArchiveRewrite::remove_stale_temporaries() {
  const std::string directory = directory_of(path_);
  std::vector<files::Item> items;
  if (!files::list_directory(directory.empty() ? "." : directory, items)) return;
  const std::string prefix = temporary_prefix(path_);
  for (const auto& item : items) {
    const std::string& name = item.name;
    if (item.kind == files::PathKind::File && name.size() > prefix.size() + 4 && name.starts_with(prefix) &&
        name.ends_with(".tmp")) {
      platform::delete_file((directory + name).c_str());
    }
  }
}

std::uint32_t ArchiveRewrite::read_old(std::uint64_t offset, void* buffer, std::uint32_t count) {
  const std::int64_t got = platform::read_file_at(old_, offset, buffer, count);
  return got < 0 ? 0 : static_cast<std::uint32_t>(got);
}

void ArchiveRewrite::begin() {
  guard_ = std::make_unique<platform::InterruptGuard>();
  const std::string directory = directory_of(path_);
  std::string reason;
  for (int attempt = 0; attempt < 8 && new_ == platform::kNoFile; ++attempt) {
    const std::string candidate = directory + temporary_name(path_);
    new_ = platform::open_file(candidate.c_str(), platform::OpenMode::CreateNew);
    if (new_ != platform::kNoFile) temporary_ = candidate;
    else reason = platform::describe_last_error();
  }
  if (new_ == platform::kNoFile) {
    fail("cannot create a temporary file in " + (directory.empty() ? std::string(".") : directory) + " (" + reason +
         ")");
  }
  buffer_.reserve(kChunk);
  written_ = 0;
}

// Long runs are copied by the system (as cp copies), in steps that let an interrupt be
// seen; short runs, and systems that cannot copy so, go through the buffer.
void ArchiveRewrite::copy(std::uint64_t from, std::uint64_t to) {
  if (to - from >= kChunk && system_copy_) {
    flush_output();
    while (from < to) {
      const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(to - from, kSystemCopyStep));
      const std::int64_t copied = platform::copy_range(old_, from, new_, written_, count);
      if (copied == platform::kCopyUnsupported) {
        system_copy_ = false;
        break;
      }
      if (copied <= 0) {
        fail(copied == 0 ? std::string("the archive ended before its entries did")
                         : "writing the new archive failed (" + platform::describe_last_error() + ")");
      }
      from += static_cast<std::uint64_t>(copied);
      written_ += static_cast<std::uint64_t>(copied);
      check_interrupt();
    }
  }
  while (from < to) {
    if (buffer_.size() == kChunk) flush_output();
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(to - from, kChunk - buffer_.size()));
    const std::size_t at = buffer_.size();
    buffer_.resize(at + count);
    if (platform::read_file_at(old_, from, buffer_.data() + at, count) != count) {
      fail("reading the archive failed (" + platform::describe_last_error() + ")");
    }
    from += count;
  }
}

void ArchiveRewrite::write(const void* data, std::size_t count) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (count > 0) {
    if (buffer_.size() == kChunk) flush_output();
    const std::size_t part = std::min<std::size_t>(count, kChunk - buffer_.size());
    buffer_.insert(buffer_.end(), bytes, bytes + part);
    bytes += part;
    count -= part;
  }
}

void ArchiveRewrite::flush_output() {
  check_interrupt();
  if (buffer_.empty()) return;
  if (!platform::write_file_at(new_, written_, buffer_.data(), static_cast<std::uint32_t>(buffer_.size()))) {
    fail("writing the new archive failed (" + platform::describe_last_error() + ")");
  }
  written_ += buffer_.size();
  buffer_.clear();
}

void ArchiveRewrite::check_interrupt() {
  if (!guard_ || !guard_->interrupted()) return;
  discard();
  guard_->deliver();  // ends the process unless the program handles the interrupt itself
  throw ArchiveError(shown_ + ": interrupted; the archive is unchanged");
}

void ArchiveRewrite::commit() {
  flush_output();
  if (!platform::sync_file(new_)) fail("flushing the new archive to the disk failed (" + platform::describe_last_error() + ")");
  if (!platform::copy_permissions(old_, new_)) {
    fail("cannot give the new archive the old one's permissions (" + platform::describe_last_error() + ")");
  }
  platform::close_file(new_);  // Windows renames no file that is open without delete sharing
  new_ = platform::kNoFile;
  check_interrupt();
  if (!platform::replace_file(temporary_.c_str(), path_.c_str(), old_)) {
    fail("cannot replace it with the rewritten archive (" + platform::describe_last_error() + ")");
  }
  temporary_.clear();
  guard_.reset();
}

void ArchiveRewrite::fail(const std::string& what) {
  discard();
  throw ArchiveError(shown_ + ": " + what + "; the archive is unchanged");
}

void ArchiveRewrite::discard() {
  if (new_ != platform::kNoFile) platform::close_file(new_);
  new_ = platform::kNoFile;
  if (!temporary_.empty()) platform::delete_file(temporary_.c_str());
  temporary_.clear();
  buffer_.clear();
}

}  // namespace mytarvo
