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
std::string create_temporary(const std::string& directory, BufferedFile& file) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string path = files::join(directory, temporary_name());
    if (file.open(path.c_str(), platform::OpenMode::CreateNew)) return path;
  }
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

// Streams the entry's content to `path` through a temporary file in `directory`, which is
// renamed into place only when the entry proved intact and every write succeeded.
void write_in_place(ArchiveReader& reader, const ArchiveEntry& entry, const std::string& directory,
                    ExtractResult& result) {
  BufferedFile file;
  const std::string temporary = create_temporary(directory, file);
  if (temporary.empty()) {
    result.outcome = ExtractOutcome::WriteFailed;
    return;
  }
  FileSink sink(file);
  result.damage = reader.stream(entry, sink);
  const bool written = file.close();
  if (result.damage == Damage::None && written && platform::rename_replacing(temporary.c_str(), result.path.c_str())) {
    return;
  }
  platform::delete_file(temporary.c_str());
  result.outcome = result.damage != Damage::None ? ExtractOutcome::Damaged : ExtractOutcome::WriteFailed;
}

}  // namespace

ExtractResult extract_entry(ArchiveReader& reader, const ArchiveEntry& entry, const std::string& directory,
                            bool keep_existing) {
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
  write_in_place(reader, entry, directory, result);
  return result;
}

}  // namespace mytarvo
