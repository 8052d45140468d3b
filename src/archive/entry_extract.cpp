// Extracting one entry for tools: refuses unsafe names, and writes the content to a
// temporary file beside its destination that is renamed into place only when complete.
#include <atomic>
#include <cstdio>
#include <random>

#include "archive/buffered_file.hpp"
#include "archive/public_api.hpp"
#include "mytarvo/files.hpp"
#include "support/paths.hpp"

namespace mytarvo {

bool is_unsafe_entry_name(std::string_view name) { return !paths::is_plain_file_name(name); }

namespace {

// A name for a temporary file that no other extraction (in this or another process) is
// likely to pick; a clash is caught by creating the file with create-new anyway.
std::string temporary_name() {
  static const std::uint32_t seed = std::random_device{}();
  static std::atomic<std::uint32_t> counter{0};
  const std::uint32_t value = seed ^ (counter.fetch_add(1) * 0x9E3779B9u);
  char text[32];
  std::snprintf(text, sizeof text, ".tarvo-%08x.tmp", static_cast<unsigned>(value));
  return text;
}

// Creates a fresh temporary file in `directory`, open for writing; returns its path.
// The watch hears of each name before the file is created, so that no moment exists in
// which the file is there and the watch does not know it.
std::string create_temporary(const std::string& directory, BufferedFile& file, const TemporaryWatch& watch) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string path = files::join(directory, temporary_name());
    if (watch) watch(path);
    if (file.open(path.c_str(), platform::OpenMode::CreateNew)) return path;
  }
  if (watch) watch({});
  return {};
}

// Writes `content` to `path` through a temporary file in `directory`. Returns why it
// failed, as the system said at the failing step, or "" once the file is in place.
std::string write_in_place(const std::string& directory, const std::string& path,
                           const std::vector<std::uint8_t>& content, const TemporaryWatch& watch) {
  BufferedFile file;
  const std::string temporary = create_temporary(directory, file, watch);
  if (temporary.empty()) return platform::last_error_text();
  file.write(content.data(), static_cast<std::uint32_t>(content.size()));
  std::string reason = file.flush() ? std::string() : platform::last_error_text();
  if (reason.empty()) platform::copy_permissions(path.c_str(), file.handle());
  if (!file.close() && reason.empty()) reason = platform::last_error_text();
  if (reason.empty() && !platform::rename_replacing(temporary.c_str(), path.c_str())) {
    reason = platform::last_error_text();
  }
  if (!reason.empty()) platform::delete_file(temporary.c_str());
  if (watch) watch({});
  return reason;
}

}  // namespace

ExtractResult extract_entry(ArchiveReader& reader, const ArchiveEntry& entry, const std::string& directory,
                            bool keep_existing) {
  return extract_entry(reader, entry, directory, keep_existing, {});
}

ExtractResult extract_entry(ArchiveReader& reader, const ArchiveEntry& entry, const std::string& directory,
                            bool keep_existing, const TemporaryWatch& watch) {
  ExtractResult result;
  if (is_unsafe_entry_name(entry.name)) {
    result.outcome = ExtractOutcome::Unsafe;
    return result;
  }
  result.path = files::join(directory, entry.name);
  if (keep_existing && files::kind_of(result.path) != files::PathKind::Missing) {
    result.outcome = ExtractOutcome::Kept;
    return result;
  }
  EntryData data = reader.read(entry);
  if (data.damage != Damage::None) {
    result.outcome = ExtractOutcome::Damaged;
    result.damage = data.damage;
    return result;
  }
  result.reason = write_in_place(directory, result.path, data.bytes, watch);
  if (!result.reason.empty()) result.outcome = ExtractOutcome::WriteFailed;
  return result;
}

}  // namespace mytarvo
