// AddToPak: appends a source file to the end of the archive as one entry. Sources that
// cannot be described truthfully by an entry (directories, sizes of 2 GiB or more, names
// with line breaks, files that cannot be read) are skipped, leaving the archive as it was.
#include <string>

#include "archive/add_entry.hpp"
#include "archive/operations.hpp"

namespace mytarvo {

Outcome add_to_pak(Library& lib, const char* archive, const char* source, const char* ignored, std::int32_t compress) {
  const std::string archive_path = copy_argument(archive);
  const std::string source_path = copy_argument(source);
  const std::string unused = copy_argument(ignored);

  // The archive is opened (or created) before the source is looked at, and stays open
  // until the source is closed again.
  BufferedFile archive_file;
  if (!archive_file.open(archive_path.c_str(), platform::OpenMode::OpenOrCreate)) return Outcome::CannotOpenArchive;
  BufferedFile source_file;
  SourceEntry entry;
  const Outcome read = read_source(source_path, compress, lib, source_file, entry);
  if (read != Outcome::Done) return read;
  return append_entry(archive_file, entry.record());
}

}  // namespace mytarvo
