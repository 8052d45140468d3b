// Opening an archive for the reading subcommands, with the warnings every one of them gives.
#include <cstdio>

#include "commands.hpp"

namespace tarvo {

std::string describe_entry(const mytarvo::ArchiveEntry& entry) {
  char offset[32];
  std::snprintf(offset, sizeof offset, "%llu", static_cast<unsigned long long>(entry.header_offset));
  return "entry \"" + entry.name + "\" at offset " + offset;
}

std::optional<mytarvo::ArchiveReader> open_archive(const std::string& path, bool force, Console& console) {
  try {
    mytarvo::ArchiveReader reader(path);
    if (!reader.has_header() && !force) {
      console.error(path, "not an archive (its first line is not the archive header); --force reads it all the same");
      return std::nullopt;
    }
    if (!reader.has_header()) {
      console.warning(path, "its first line is not the archive header; reading it all the same");
    }
    if (reader.bad_tail()) {
      console.error(path, describe_entry(*reader.bad_tail()) + " gives a negative size; nothing after it can be read");
    }
    return reader;
  } catch (const mytarvo::ArchiveError& e) {
    console.error(e.what());
    return std::nullopt;
  }
}

}  // namespace tarvo
