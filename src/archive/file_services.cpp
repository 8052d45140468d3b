// The file-system services of mytarvo/files.hpp, on the library's path rules and the
// platform layer.
#include <algorithm>

#include "mytarvo/files.hpp"
#include "support/paths.hpp"
#include "support/platform.hpp"

namespace mytarvo::files {

namespace {
bool is_separator(char c) { return platform::is_directory_separator(c); }
}  // namespace

std::int64_t size_of(const std::string& path) { return paths::query_size(path.c_str()); }

PathKind kind_of(const std::string& path) {
  const std::int64_t size = size_of(path);
  if (size == -2) return PathKind::Directory;
  return size < 0 ? PathKind::Missing : PathKind::File;
}

bool list_directory(const std::string& path, std::vector<Item>& items) {
  std::vector<platform::DirectoryItem> found;
  items.clear();
  if (!platform::list_directory(path.c_str(), found)) return false;
  for (auto& item : found) {
    PathKind kind = PathKind::Missing;
    if (item.kind == platform::FileKind::File) kind = PathKind::File;
    if (item.kind == platform::FileKind::Directory) kind = PathKind::Directory;
    items.push_back({std::move(item.name), kind, item.link});
  }
  std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.name < b.name; });
  return true;
}

bool create_directories(const std::string& given) {
  std::string path = given;
  while (path.size() > 1 && is_separator(path.back())) path.pop_back();
  // Every prefix that ends before a separator is a directory above `path`; create the
  // missing ones from the top down.
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (!is_separator(path[i]) || is_separator(path[i - 1])) continue;
    const std::string prefix = path.substr(0, i);
    if (prefix.back() == ':') continue;  // a drive, not a directory to create
    if (kind_of(prefix) == PathKind::Missing) platform::create_directory(prefix.c_str());
  }
  if (kind_of(path) == PathKind::Missing) platform::create_directory(path.c_str());
  return kind_of(path) == PathKind::Directory;
}

std::string join(std::string_view directory, std::string_view name) { return paths::join(directory, name); }

bool has_unexpanded_wildcards(const std::string& path) { return platform::has_unexpanded_wildcards(path.c_str()); }

std::string last_system_error() { return platform::last_error_text(); }

std::string file_part(const std::string& path) { return paths::file_part(path.c_str()); }

}  // namespace mytarvo::files
