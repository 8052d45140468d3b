// CreatePakFile: replaces whatever is at the path with an archive holding only its header.
#include <string>

#include "archive/archive_format.hpp"
#include "archive/operations.hpp"
#include "support/paths.hpp"

namespace mytarvo {

void create_pak_file(Library& lib, const char* archive) {
  const std::string path = copy_argument(archive);
  if (!lib.open(kNewArchiveFile, path.c_str(), platform::OpenMode::Replace)) return;
  lib.write_line(kNewArchiveFile, kArchiveHeader);
  // A header cut short (a full disk) would swallow the first entry ever appended into its
  // line; no file at all is the honest outcome.
  if (!lib.close(kNewArchiveFile)) paths::delete_file(path.c_str());
}

}  // namespace mytarvo
