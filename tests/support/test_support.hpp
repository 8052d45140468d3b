// Helpers shared by the tests: temporary directories, whole-file reads and writes, byte
// strings, and a library state of their own for each test.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace mytarvo::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  // The path of `name` inside the directory, as a string the library takes.
  [[nodiscard]] std::string file(std::string_view name) const;

 private:
  std::filesystem::path path_;
};

Bytes read_file(const std::string& path);
std::string read_text(const std::string& path);
void write_file(const std::string& path, const Bytes& data);
void write_file(const std::string& path, std::string_view data);
bool file_exists(const std::string& path);

Bytes to_bytes(std::string_view text);
// `n` bytes that no codec can shrink, the same for the same seed (a linear congruential
// generator's top byte).
Bytes noise(std::size_t n, std::uint32_t seed);

// Joins pieces of text and bytes into one byte string.
Bytes concat(std::initializer_list<Bytes> parts);

// The benchmark corpus shared by the project (file names and full paths). corpus_files()
// throws when the corpus is missing or empty, so a test over it fails loudly instead of
// passing having checked nothing.
std::vector<std::string> corpus_files();
std::string corpus_path(const std::string& name);

// Separator the library appends to directories on this build.
char native_separator();
// True on the Windows build (where "\\" is a separator too and device names are reserved).
bool windows_build();

// Makes a directory the process's current directory while the object lives, then goes
// back to the one that was current before.
class ScopedCurrentDirectory {
 public:
  explicit ScopedCurrentDirectory(const std::filesystem::path& directory);
  ~ScopedCurrentDirectory();
  ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
  ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

// Every file and directory below `root`, as sorted relative paths with "/" between parts
// (directories end in "/").
std::vector<std::string> tree(const std::filesystem::path& root);

}  // namespace mytarvo::test
