// The portable rules of the path services; the system calls behind them live in the
// platform layer.
#include "support/paths.hpp"

#include "support/platform.hpp"

namespace mytarvo::paths {

namespace {

// The first kMaxPath characters of a NUL-terminated path (read no further than that).
std::string cut_path(const char* path) {
  std::size_t length = 0;
  while (length < kMaxPath && path[length] != '\0') ++length;
  return std::string(path, length);
}

// The file part takes both separators on every system: entry names never hold either.
constexpr bool is_any_separator(char c) { return c == '/' || c == '\\'; }

}  // namespace

std::string file_part(const char* path) {
  if (path == nullptr) return {};
  const std::string_view text(path);
  std::size_t start = !text.empty() && text.front() == '"' ? 1 : 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (is_any_separator(text[i])) start = i + 1;  // the last separator wins
  }
  const std::size_t end = text.find('"', start);
  return std::string(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

std::int64_t query_size(const char* path) {
  if (path == nullptr || path[0] == '\0') return kNoSuchFile;
  return platform::query_size(cut_path(path));
}

void delete_file(const char* path) {
  if (path != nullptr) platform::delete_file(path);
}

std::string current_directory() {
  std::string directory = platform::current_directory();
  if (!directory.empty() && !platform::is_directory_separator(directory.back())) {
    directory += platform::kDirectorySeparator;
  }
  return directory;
}

void create_directory_trimmed(const char* path) {
  if (path == nullptr) return;
  std::string copy = cut_path(path);
  while (!copy.empty() && (copy.back() == ' ' || platform::is_directory_separator(copy.back()))) copy.pop_back();
  if (copy.empty()) return;  // nothing the system could create
  platform::create_directory(copy.c_str());
}

std::string normalise_directory(std::string_view directory) {
  std::string prefix = directory.empty() ? current_directory() : std::string(directory);
  if (prefix.empty() || !platform::is_directory_separator(prefix.back())) prefix += platform::kDirectorySeparator;
  return prefix;
}

std::string join(std::string_view directory, std::string_view name) {
  std::string path(directory);
  const bool separated = path.empty() || platform::is_directory_separator(path.back()) || platform::is_drive_alone(path);
  if (!separated) path += platform::kDirectorySeparator;
  path += name;
  return path;
}

bool is_plain_file_name(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  if (name.find_first_of("/\\") != std::string_view::npos) return false;
  return !platform::is_reserved_file_name(name);
}

}  // namespace mytarvo::paths
