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
  if (entry.name_cut) line += kNameCutMark;
  line += "    ";
  line += format_number(entry.file_size);
  line += "    Compression: (";
  line += entry.packed() ? "Yes" : "No";
  line += ")";
  return line;
}

// True when `path` names a file whose first line is exactly the archive header line.
bool holds_archive_header(const char* path) {
  BufferedFile file;
  return file.open(path, platform::OpenMode::ReadExisting) &&
         read_line(file, kArchiveHeader.size() + 1) == kArchiveHeader;
}

}  // namespace

Outcome make_list_files(const char* archive, const char* listing) {
  const std::string archive_path = copy_argument(archive);
  const std::string listing_path = copy_argument(listing);

  // The archive is opened (created when missing) first, so that a listing that would
  // replace it, however its path is spelled, or any other archive is recognised: nothing
  // is written then. The banner is written whenever the listing could be created.
  BufferedFile archive_file;
  const bool archive_opened = open_for_scan(archive_file, archive_path.c_str(), platform::OpenMode::OpenOrCreate);
  if (archive_file.is_file_at(listing_path.c_str()) || holds_archive_header(listing_path.c_str())) {
    return Outcome::WriteFailed;
  }
  BufferedFile listing_file;
  const bool listing_opened = listing_file.open(listing_path.c_str(), platform::OpenMode::CreateOrTruncate);
  for (std::string_view line : kBanner) write_line(listing_file, line);
  EntryScan scan(archive_file);
  EntryHeader entry;
  while (scan.next(entry)) write_line(listing_file, entry_line(entry));
  const Outcome outcome = archive_opened ? Outcome::Done : Outcome::CannotOpenArchive;
  if (!listing_opened || !listing_file.close()) return Outcome::WriteFailed;
  return outcome;
}

}  // namespace mytarvo
