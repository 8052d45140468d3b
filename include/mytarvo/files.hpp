// The few file-system services a tool needs around archives, with the library's path
// rules: what a path names, the entries of a directory, directory creation and joining.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mytarvo::files {

enum class PathKind { Missing, File, Directory };

// What is at `path`: nothing, a file (of any size) or a directory.
[[nodiscard]] PathKind kind_of(const std::string& path);
// The size of the file at `path`; -1 when there is none, -2 for a directory.
[[nodiscard]] std::int64_t size_of(const std::string& path);

struct Item {
  std::string name;
  PathKind kind = PathKind::Missing;  // Missing for anything that is neither a file nor a directory
  bool link = false;                  // a symbolic link; `kind` is that of the file it leads to
};
// The items of directory `path`, sorted by name (byte order). Links to directories are
// not followed. False when the directory cannot be read.
[[nodiscard]] bool list_directory(const std::string& path, std::vector<Item>& items);

// Creates `path` and every missing directory above it; true when it is a directory then.
[[nodiscard]] bool create_directories(const std::string& path);

// `name` inside `directory`: the directory, this system's separator unless it already ends
// in one ("/", and on Windows also "\"), then the name. An empty directory gives the name
// alone, and so does (after it) a Windows drive given alone ("C:name": the current
// directory of that drive, as the system reads it).
[[nodiscard]] std::string join(std::string_view directory, std::string_view name);

// True when `path` holds wildcards ("*", "?") that no shell expanded and that the system
// would match rather than take as a name (on Windows always; elsewhere only when no file
// has that very name).
[[nodiscard]] bool has_unexpanded_wildcards(const std::string& path);

// The system's description of the last failure of a system call on this thread, e.g.
// "Permission denied" or "No space left on device"; to be asked right after the failure.
[[nodiscard]] std::string last_system_error();

// The name after the last "/" or "\": the name a file gets as an archive entry.
[[nodiscard]] std::string file_part(const std::string& path);

}  // namespace mytarvo::files
