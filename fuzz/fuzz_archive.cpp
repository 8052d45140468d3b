// Fuzz target: an arbitrary file taken as an archive is scanned and listed. The scan must
// end (every entry consumes at least one byte, so there are at most as many entries as
// bytes), the listing must start with its banner, and nothing may be created besides the
// listing in the scratch directory.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "archive/archive_format.hpp"
#include "archive/operations.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  mytarvo::fuzz::ScratchDir dir;
  const std::string archive = dir.file("input.pak");
  const std::string listing = dir.file("listing.txt");
  mytarvo::fuzz::write_bytes(archive, data, size);

  mytarvo::Library lib;
  std::size_t entries = 0;
  {
    mytarvo::EntryScan scan(lib, archive.c_str());
    mytarvo::EntryHeader entry;
    while (scan.next(entry)) {
      if (++entries > size) std::abort();
      if (entry.data_offset > entry.header_offset + size + 2) std::abort();
    }
  }

  mytarvo::make_list_files(lib, archive.c_str(), listing.c_str());
  std::ifstream in(listing, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.compare(0, 21, "-=* Tarvo Pak 3 *=-\r\n") != 0) std::abort();
  std::size_t lines = 0;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) lines += text[i] == '\r' && text[i + 1] == '\n';
  if (lines < 5 + entries) std::abort();

  std::size_t files = 0;
  for (const auto& item : std::filesystem::directory_iterator(dir.path())) {
    (void)item;
    ++files;
  }
  if (files != 2) std::abort();
  return 0;
}
