// Fuzz target: an arbitrary file taken as an archive is scanned, listed and extracted. The
// scan must end (every entry consumes at least one byte, so there are at most as many
// entries as bytes), the listing must start with its banner, and extraction may create
// nothing but plain files directly inside its output directory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "archive/archive_format.hpp"
#include "archive/operations.hpp"
#include "support/paths.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  mytarvo::fuzz::ScratchDir dir;
  const std::string archive = dir.file("input.pak");
  const std::string listing = dir.file("listing.txt");
  mytarvo::fuzz::write_bytes(archive, data, size);

  mytarvo::Library lib;
  std::size_t entries = 0;
  std::string first_name;
  {
    mytarvo::BufferedFile file;
    if (!mytarvo::open_for_scan(file, archive.c_str(), mytarvo::platform::OpenMode::ReadExisting)) std::abort();
    mytarvo::EntryScan scan(file);
    mytarvo::EntryHeader entry;
    while (scan.next(entry)) {
      if (++entries > size) std::abort();
      if (entry.data_offset > entry.header_offset + size + 2) std::abort();
      if (entries == 1) first_name = entry.name;
    }
  }

  mytarvo::make_list_files(archive.c_str(), listing.c_str());
  std::ifstream in(listing, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.compare(0, 21, "-=* Tarvo Pak 3 *=-\r\n") != 0) std::abort();
  std::size_t lines = 0;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) lines += text[i] == '\r' && text[i + 1] == '\n';
  if (lines < 5 + entries) std::abort();

  const std::string out_dir = dir.file("out");
  mytarvo::unpak_all(lib, archive.c_str(), out_dir.c_str());
  const std::string one = mytarvo::unpak(lib, archive.c_str(), out_dir.c_str(), first_name.c_str());
  if (!one.empty() && one != mytarvo::paths::normalise_directory(out_dir) + first_name) std::abort();

  // Only the archive, the listing and the output directory; inside it only plain files.
  std::size_t items = 0;
  for (const auto& item : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = item.path().filename().string();
    if (name != "input.pak" && name != "listing.txt" && name != "out") std::abort();
    ++items;
  }
  if (items != 3) std::abort();
  for (const auto& item : std::filesystem::directory_iterator(out_dir)) {
    if (!item.is_regular_file()) std::abort();
  }
  return 0;
}
