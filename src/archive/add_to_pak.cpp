// AddToPak: reads a source file whole, packs it when asked and when that pays off, and
// appends it to the end of the archive as one entry. Sources that cannot be described
// truthfully by an entry (directories, sizes of 2 GiB or more, names with line breaks,
// files that cannot be read) are skipped, leaving the archive as it was.
#include <string>

#include "archive/add_entry.hpp"
#include "archive/archive_format.hpp"
#include "archive/operations.hpp"
#include "support/paths.hpp"

namespace mytarvo {

namespace {

// Appends the source already open as file 1; returns without writing when the source
// cannot be read or its buffers cannot be had.
void add_open_source(Library& lib, const std::string& name, std::int32_t compress) {
  const std::uint64_t length = lib.length(kSecondFile);
  if (length > static_cast<std::uint64_t>(kLargestEntry)) return;
  DataBuffer content = lib.take_buffer(static_cast<std::int64_t>(length));
  if (content.missing()) return;
  const std::uint32_t size = lib.read_bytes(kSecondFile, content.data(), static_cast<std::uint32_t>(length));
  if (lib.file(kSecondFile).read_failed()) return;
  // A source that shrank since its length was taken is stored with what was read; both
  // size lines then describe exactly the bytes that follow them.
  DataBuffer packed;
  if (compress == 1) {
    packed = lib.take_buffer(size);
    if (packed.missing()) return;
  }
  const PackingDecision decision = decide_packing(content.data(), size, compress, packed.data());
  append_entry(lib, kArchiveFile, name, decision, content.data(), size, packed.data());
}

}  // namespace

void add_to_pak(Library& lib, const char* archive, const char* source, const char* ignored, std::int32_t compress) {
  const std::string archive_path = copy_argument(archive);
  const std::string source_path = copy_argument(source);
  const std::string unused = copy_argument(ignored);

  if (!lib.open(kArchiveFile, archive_path.c_str(), platform::OpenMode::OpenOrCreate)) return;
  const std::int64_t size = paths::query_size(source_path.c_str());
  const std::string name = paths::stored_name(source_path.c_str());
  // Missing sources (-1) and directories (-2) are skipped, as are files too large for a
  // size line and names that a line cannot hold.
  if (check_source(size, name) == SourceCheck::Ok &&
      lib.open(kSecondFile, source_path.c_str(), platform::OpenMode::ReadExisting)) {
    add_open_source(lib, name, compress);
  }
  lib.close(kSecondFile);
  lib.close(kArchiveFile);
}

}  // namespace mytarvo
