// MakeListFiles: a five-line banner, then one line per entry with its size and whether it
// is packed. Only entry headers are read; all entry data is skipped.
#include <array>
#include <string>
#include <string_view>

#include "archive/archive_format.hpp"
#include "archive/operations.hpp"

namespace mytarvo {

namespace {

constexpr std::array<std::string_view, 5> kBanner = {
    "-=* Tarvo Pak 3 *=-",
    "-=*   Orvelund  *=-",
    "",
    "-=*  File List  *=-",
    "",
};

std::string entry_line(const EntryHeader& entry) {
  std::string line = entry.name;
  line += "    ";
  line += format_number(entry.file_size);
  line += "    Compression: (";
  line += entry.packed() ? "Yes" : "No";
  line += ")";
  return line;
}

}  // namespace

Outcome make_list_files(const char* archive, const char* listing) {
  const std::string archive_path = copy_argument(archive);
  const std::string listing_path = copy_argument(listing);

  // The banner goes out before the archive is opened, so it is there whenever the
  // listing file could be created; the archive is scanned (and created when missing)
  // even when it could not.
  BufferedFile listing_file;
  const bool listing_opened = listing_file.open(listing_path.c_str(), platform::OpenMode::CreateOrTruncate);
  for (std::string_view line : kBanner) write_line(listing_file, line);
  Outcome outcome = Outcome::Done;
  {
    BufferedFile archive_file;
    if (!open_for_scan(archive_file, archive_path.c_str(), platform::OpenMode::OpenOrCreate)) {
      outcome = Outcome::CannotOpenArchive;
    }
    EntryScan scan(archive_file);
    EntryHeader entry;
    while (scan.next(entry)) write_line(listing_file, entry_line(entry));
  }
  if (!listing_opened || !listing_file.close()) return Outcome::WriteFailed;
  return outcome;
}

}  // namespace mytarvo
