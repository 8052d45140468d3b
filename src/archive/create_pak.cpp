// CreatePakFile: replaces whatever is at the path with an archive holding only its header.
#include <string>

#include "archive/archive_format.hpp"
#include "archive/operations.hpp"
#include "support/paths.hpp"

namespace mytarvo {

Outcome create_pak_file(const char* archive) {
  const std::string path = copy_argument(archive);
  // Whatever is at the path is replaced (on Windows in one step, never deleted first, so
  // that a file another program holds stays as it was). Once the writer lock is held the
  // file is emptied again, in case another writer appended before the lock was had.
  BufferedFile file;
  if (!file.open_to_write(path.c_str(), platform::OpenMode::Replace) || !file.truncate(0)) {
    return Outcome::CannotCreateArchive;
  }
  write_line(file, kArchiveHeader);
  if (file.close()) return Outcome::Done;
  // A header cut short (a full disk) would swallow the first entry ever appended into its
  // line; no file at all is the honest outcome.
  paths::delete_file(path.c_str());
  return Outcome::CannotCreateArchive;
}

}  // namespace mytarvo
