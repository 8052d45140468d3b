// What an archive operation came to. The C functions drop it (they report nothing); the
// C++ interface turns it into its errors and results.
#pragma once

#include <string_view>

namespace mytarvo {

enum class Outcome {
  Done,
  CannotOpenArchive,     // the archive could not be opened (or created)
  CannotCreateArchive,   // a new archive could not be written whole
  NoSuchSource,          // nothing at the source path
  SourceIsDirectory,     // the source is a directory
  SourceTooLarge,        // 2 GiB or more: no size line can describe it
  SourceNameUnstorable,  // the entry name would hold a line break or NUL
  CannotOpenSource,      // the source exists but could not be opened
  CannotReadSource,      // the system refused a read of the source
  NoMemory,              // a data buffer could not be had
  WriteFailed,           // a write failed; the archive was cut back to its old length
};

// A short English description, e.g. "no such file".
[[nodiscard]] std::string_view describe(Outcome outcome);

}  // namespace mytarvo
