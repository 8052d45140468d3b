// CreatePakFile: replaces whatever is at the path with an archive holding only its header.
#include <string>

#include "archive/archive_format.hpp"
#include "archive/operations.hpp"
#include "support/paths.hpp"

namespace mytarvo {

Outcome create_pak_file(const char* archive) {
  const std::string path = copy_argument(archive);
  if (paths::query_size(path.c_str()) != paths::kNoSuchFile) paths::delete_file(path.c_str());
  BufferedFile file;
  if (!file.open(path.c_str(), platform::OpenMode::CreateOrTruncate)) return Outcome::CannotCreateArchive;
  write_line(file, kArchiveHeader);
  if (file.close()) return Outcome::Done;
  // A header cut short (a full disk) would swallow the first entry ever appended into its
  // line; no file at all is the honest outcome.
  paths::delete_file(path.c_str());
  return Outcome::CannotCreateArchive;
}

}  // namespace mytarvo
