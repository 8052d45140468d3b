// Small helpers for the fuzz targets: a scratch directory per input and whole-file I/O.
#pragma once

#include <atomic>
#include <chrono>
#include <random>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace mytarvo::fuzz {

class ScratchDir {
 public:
  // A new directory of its own under the temp directory: the name mixes a random value with
  // a counter, and a name that already exists (another process's, or anyone's) is never used,
  // so the destructor only ever removes what this object created.
  ScratchDir() {
    static std::atomic<unsigned> counter{0};
    static const unsigned long long salt = std::random_device{}() * 0x9E3779B97F4A7C15ull ^
                                           static_cast<unsigned long long>(
                                               std::chrono::steady_clock::now().time_since_epoch().count());
    for (;;) {
      root_ = std::filesystem::temp_directory_path() /
              ("mytarvo-fuzz-" + std::to_string(salt) + "-" + std::to_string(counter++));
      if (std::filesystem::create_directory(root_)) return;
    }
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  [[nodiscard]] const std::filesystem::path& path() const { return root_; }
  [[nodiscard]] std::string file(const std::string& name) const { return (root_ / name).string(); }

 private:
  std::filesystem::path root_;
};

inline void write_bytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) std::abort();
}

}  // namespace mytarvo::fuzz
