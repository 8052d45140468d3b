// Test helpers.
#include "support/test_support.hpp"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "support/platform.hpp"

namespace mytarvo::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() /
                         ("mytarvo-test-" + std::to_string(rd()) + "-" + std::to_string(stamp) + "-" +
                          std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempDir::file(std::string_view name) const { return (path_ / std::string(name)).string(); }

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string read_text(const std::string& path) {
  Bytes b = read_file(path);
  return std::string(b.begin(), b.end());
}

void write_file(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

void write_file(const std::string& path, std::string_view data) { write_file(path, to_bytes(data)); }

bool file_exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::path(path), ec);
}

Bytes to_bytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

Bytes noise(std::size_t n, std::uint32_t seed) {
  Bytes out(n);
  for (auto& b : out) {
    seed = seed * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(seed >> 24);
  }
  return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<std::string> corpus_files() {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(MYTARVO_CORPUS_DIR), ec)) {
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  }
  // Tests that loop over the corpus must not pass having checked nothing.
  if (names.empty()) {
    throw std::runtime_error("the benchmark corpus is missing or empty: " + std::string(MYTARVO_CORPUS_DIR));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string corpus_path(const std::string& name) { return (fs::path(MYTARVO_CORPUS_DIR) / name).string(); }

char native_separator() { return platform::kDirectorySeparator; }

bool windows_build() { return platform::kDirectorySeparator == '\\'; }

ScopedCurrentDirectory::ScopedCurrentDirectory(const fs::path& directory) : previous_(fs::current_path()) {
  fs::current_path(directory);
}

ScopedCurrentDirectory::~ScopedCurrentDirectory() {
  std::error_code ec;
  fs::current_path(previous_, ec);
}

std::vector<std::string> tree(const fs::path& root) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    std::string name = entry.path().lexically_relative(root).generic_string();
    if (entry.is_directory()) name += '/';
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace mytarvo::test
