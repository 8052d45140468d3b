// Descriptions of operation outcomes.
#include "archive/outcome.hpp"

namespace mytarvo {

std::string_view describe(Outcome outcome) {
  switch (outcome) {
    case Outcome::Done: return "done";
    case Outcome::CannotOpenArchive: return "cannot be opened";
    case Outcome::CannotCreateArchive: return "cannot be created";
    case Outcome::NoSuchSource: return "no such file";
    case Outcome::SourceIsDirectory: return "is a directory";
    case Outcome::SourceTooLarge: return "too large for an archive entry (2 GiB or more)";
    case Outcome::SourceNameUnstorable: return "its name holds a line break and cannot be stored";
    case Outcome::CannotOpenSource: return "cannot be opened";
    case Outcome::CannotReadSource: return "cannot be read";
    case Outcome::NoMemory: return "not enough memory to read and pack it";
    case Outcome::WriteFailed: return "cannot be written";
  }
  return "failed";
}

}  // namespace mytarvo
