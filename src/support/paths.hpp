// Path and file-system services of the archive operations: the file part of a path, the
// size query, deletion, the current directory, directory creation and the normalisation
// of output directories. Every rule here is portable; the system is reached only through
// the platform layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace mytarvo::paths {

// Paths given to the size query and the directory creation are cut to this many
// characters before the system sees them.
inline constexpr std::size_t kMaxPath = 260;

// Size query results besides a file's size (0 or more).
inline constexpr std::int64_t kNoSuchFile = -1;
inline constexpr std::int64_t kDirectory = -2;

// The name after the last "/" or "\" of `path`. A leading double quote is skipped and
// the name ends at the first double quote at or after its start. A null path gives "".
// Examples: C:\dir\file.txt and "C:\dir\file.txt" (quoted) give file.txt; C:name gives
// C:name; a path ending in a separator gives "".
[[nodiscard]] std::string file_part(const char* path);

// -1 when nothing is at `path` (also for null or ""), -2 for a directory (or a drive or
// share root on Windows), else the file's size in bytes. The path is cut to 260
// characters first.
[[nodiscard]] std::int64_t query_size(const char* path);

// Deletes the file at `path`; a null path does nothing. The outcome is not reported.
void delete_file(const char* path);

// The process's current directory ending in this system's separator ("\" on Windows, "/"
// elsewhere), or "" when the system cannot tell it (or, on Windows, when it is longer than
// 259 characters).
[[nodiscard]] std::string current_directory();

// Creates the directory `path` names after cutting it to 260 characters and dropping
// every trailing blank and separator. Only the last component is created; a missing
// parent, an existing directory and every other refusal are silently accepted. A null
// path does nothing.
void create_directory_trimmed(const char* path);

// The prefix of every output path: `directory` as given when it ends in a separator,
// else with this system's separator appended; an empty directory stands for the current
// one (and gives the separator alone when the current directory cannot be told).
[[nodiscard]] std::string normalise_directory(std::string_view directory);

// `name` inside `directory`: the directory, this system's separator unless it already ends
// in one ("/", and on Windows also "\\"), then the name. An empty directory gives the name
// alone, and so does (after it) a Windows drive given alone ("C:name": the current directory
// of that drive, as the system reads it). (A normalised directory already ends in a
// separator: joining only appends.)
[[nodiscard]] std::string join(std::string_view directory, std::string_view name);

// True when `name` names a file directly inside a directory and nothing else: not empty,
// not "." or "..", holding no "/" and no "\", and not a name the system reserves (see
// platform::is_reserved_file_name). Only such names are joined to an output directory.
[[nodiscard]] bool is_plain_file_name(std::string_view name);

}  // namespace mytarvo::paths
