// Extracting one entry for tools: refuses unsafe names, and writes the content to a
// temporary file beside its destination that is renamed into place only when complete.
#include <atomic>
#include <cstdio>
#include <random>

#include "archive/buffered_file.hpp"
#include "archive/public_api.hpp"
#include "mytarvo/files.hpp"
#include "support/paths.hpp"
#include "support/platform.hpp"

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

}  // namespace

struct OutputDirectory::State {
  std::string path;
  platform::DirectoryHandle handle = platform::kNoDirectory;
  bool replace_read_only = false;
  ~State() { platform::close_directory(handle); }
};

OutputDirectory::OutputDirectory(const std::string& path) : state_(std::make_unique<State>()) {
  state_->path = path;
  state_->handle = platform::open_directory(path.empty() ? "." : path.c_str());
  if (state_->handle == platform::kNoDirectory) {
    throw ArchiveError(path + ": cannot be opened as a directory: " + platform::last_error_text());
  }
}

OutputDirectory::~OutputDirectory() = default;
OutputDirectory::OutputDirectory(OutputDirectory&&) noexcept = default;
OutputDirectory& OutputDirectory::operator=(OutputDirectory&&) noexcept = default;

const std::string& OutputDirectory::path() const { return state_->path; }

void OutputDirectory::replace_read_only(bool replace) { state_->replace_read_only = replace; }

namespace {

using platform::DirectoryHandle;

// Creates a fresh temporary file in `directory`, open for writing; returns its name.
// The watch hears of each name (as a path) before the file is created, so that no moment
// exists in which the file is there and the watch does not know it.
std::string create_temporary(const OutputDirectory& directory, DirectoryHandle handle, BufferedFile& file,
                             const TemporaryWatch& watch) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string name = temporary_name();
    if (watch) watch(files::join(directory.path(), name));
    if (file.adopt(platform::open_file_in(handle, name.c_str(), platform::OpenMode::CreateNew))) return name;
  }
  if (watch) watch({});
  return {};
}

// Writes the content into a file; a restart empties it again.
class FileSink final : public ContentSink {
 public:
  explicit FileSink(BufferedFile& file) : file_(file) {}
  bool write(const std::uint8_t* data, std::size_t size) override {
    file_.write(data, static_cast<std::uint32_t>(size));
    return !file_.write_failed();
  }
  bool restart() override {
    const bool emptied = file_.truncate(0);
    file_.seek(0);
    return emptied;
  }

 private:
  BufferedFile& file_;
};

// Streams the entry's content as `name` in `directory` through a temporary file there,
// renamed into place only when the entry proved intact and every write succeeded. Sets
// result.damage; returns why writing failed, as the system said at the failing step, or
// "" once the file is in place (or when the entry is damaged: nothing is left then).
std::string write_in_place(ArchiveReader& reader, const ArchiveEntry& entry, const OutputDirectory& directory,
                           DirectoryHandle handle, const TemporaryWatch& watch, ExtractResult& result) {
  BufferedFile file;
  const std::string temporary = create_temporary(directory, handle, file, watch);
  if (temporary.empty()) return platform::last_error_text();
  FileSink sink(file);
  result.damage = reader.stream(entry, sink);
  const bool intact = result.damage == Damage::None;
  std::string reason;
  if (intact && (file.write_failed() || !file.flush())) reason = platform::last_error_text();
  if (intact && reason.empty()) platform::copy_permissions_in(handle, entry.name.c_str(), file.handle());
  if (!file.close() && intact && reason.empty()) reason = platform::last_error_text();
  if (intact && reason.empty() && !platform::rename_in(handle, temporary.c_str(), entry.name.c_str())) {
    reason = platform::last_error_text();
  }
  if (!intact || !reason.empty()) platform::delete_file_in(handle, temporary.c_str());
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
  try {
    OutputDirectory output(directory);
    return extract_entry(reader, entry, output, keep_existing, watch);
  } catch (const ArchiveError&) {
    ExtractResult result;
    result.outcome = is_unsafe_entry_name(entry.name) ? ExtractOutcome::Unsafe : ExtractOutcome::WriteFailed;
    if (result.outcome == ExtractOutcome::WriteFailed) {
      result.reason = platform::last_error_text();
      result.path = files::join(directory, entry.name);
    }
    return result;
  }
}

ExtractResult extract_entry(ArchiveReader& reader, const ArchiveEntry& entry, OutputDirectory& directory,
                            bool keep_existing, const TemporaryWatch& watch) {
  ExtractResult result;
  if (is_unsafe_entry_name(entry.name)) {
    result.outcome = ExtractOutcome::Unsafe;
    return result;
  }
  result.path = files::join(directory.path(), entry.name);
  const DirectoryHandle handle = directory.state_->handle;
  if (keep_existing && platform::exists_in(handle, entry.name.c_str())) {
    result.outcome = ExtractOutcome::Kept;
    return result;
  }
  if (platform::is_read_only_in(handle, entry.name.c_str())) {
    if (!directory.state_->replace_read_only) {
      result.outcome = ExtractOutcome::WriteFailed;
      result.reason = "read-only";
      return result;
    }
    platform::clear_read_only_in(handle, entry.name.c_str());
  }
  // A damaged entry leaves nothing under its name: the temporary file is renamed into
  // place only once the stream has verified the entry.
  result.reason = write_in_place(reader, entry, directory, handle, watch, result);
  if (result.damage != Damage::None) {
    result.outcome = ExtractOutcome::Damaged;
  } else if (!result.reason.empty()) {
    result.outcome = ExtractOutcome::WriteFailed;
  }
  return result;
}

}  // namespace mytarvo
