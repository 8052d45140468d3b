// Opening an archive for the reading subcommands, with the warnings every one of them gives.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#include "commands.hpp"
#include "mytarvo/files.hpp"
#include "terminal.hpp"

namespace tarvo {

std::string describe_entry(const mytarvo::ArchiveEntry& entry) {
  char offset[32];
  std::snprintf(offset, sizeof offset, "%llu", static_cast<unsigned long long>(entry.header_offset));
  return "entry \"" + entry.name + "\" at offset " + offset;
}

namespace {

// The copy of standard input; removed once the archive is open where the system allows,
// else when the program ends.
struct StdinCopy {
  std::filesystem::path path;
  ~StdinCopy() { remove(); }
  void remove() {
    std::error_code ignored;
    if (!path.empty() && std::filesystem::remove(path, ignored)) path.clear();
  }
};
StdinCopy g_stdin_copy;

// Entries are found by moving about in the archive, which a pipe cannot do: standard
// input is read to its end into a temporary file, which is then read as the archive.
std::string copy_stdin(Console& console) {
  set_stdin_binary();
  std::error_code error;
  const auto directory = std::filesystem::temp_directory_path(error);
  std::random_device random;
  g_stdin_copy.path = directory / ("tarvo-stdin-" + std::to_string(random()) + ".tmp");
  std::ofstream out(g_stdin_copy.path, std::ios::binary | std::ios::trunc);
  char buffer[65536];
  std::size_t got = 0;
  while (out && (got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) out.write(buffer, static_cast<std::streamsize>(got));
  out.close();
  if (error || !out || std::ferror(stdin)) {
    console.error("standard input", "cannot be copied to a temporary file: " + mytarvo::files::last_system_error());
    g_stdin_copy.remove();
    return {};
  }
  return g_stdin_copy.path.string();
}

}  // namespace

std::optional<mytarvo::ArchiveReader> open_archive(const std::string& given, bool force, Console& console) {
  const std::string& path = given;
  try {
    const std::string source = given == "-" ? copy_stdin(console) : given;
    if (source.empty()) return std::nullopt;
    mytarvo::ArchiveReader reader(source);
    g_stdin_copy.remove();
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
