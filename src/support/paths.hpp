// Path and file-system services of the archive operations: the file part of a path, the
// size query, deletion, the current directory, directory creation and the normalisation
// of output directories. Every rule here is portable; the system is reached only through
// the platform layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "support/platform.hpp"

namespace mytarvo::paths {

// Size query results besides a file's size (0 or more).
inline constexpr std::int64_t kNoSuchFile = -1;
inline constexpr std::int64_t kDirectory = -2;

// The name after the last separator of `path`, read by this system's name rules (see
// platform::NameRules). On Windows "/" and "\" separate (but a "\" that is the second
// byte of a double-byte character does not), a leading double quote is skipped, the name
// ends at the first double quote at or after its start, and a drive ("C:") at the start
// is not part of it. Elsewhere only "/" separates and every other byte belongs to the
// name. A null path gives "".
// Examples (Windows): C:\dir\file.txt and "C:\dir\file.txt" (quoted) give file.txt;
// C:name gives name; a path ending in a separator gives "".
[[nodiscard]] std::string file_part(const char* path);
[[nodiscard]] std::string file_part(const char* path, const platform::NameRules& rules);

// The name AddToPak stores for the source at `path`: the name the file really has, which
// extraction will accept. It is the file part, on Windows without the trailing periods and
// blanks the system drops when it opens the file; "" (the source is not added) when that
// is not a plain file name (see is_plain_file_name): empty, a device, a name holding "\"
// elsewhere than Windows, or bytes the system's code page does not read cleanly.
[[nodiscard]] std::string stored_name(const char* path);
[[nodiscard]] std::string stored_name(const char* path, const platform::NameRules& rules);

// -1 when nothing is at `path` (also for null, "" and a path longer than the system takes
// whole, platform::kPathLimit), -2 for a directory (or a drive or share root on Windows),
// else the file's size in bytes.
[[nodiscard]] std::int64_t query_size(const char* path);

// Deletes the file at `path`; a null path does nothing. The outcome is not reported.
void delete_file(const char* path);

// The process's current directory ending in this system's separator ("\" on Windows, "/"
// elsewhere), or "" when the system cannot tell it (or, on Windows, when it is longer than
// 259 characters). "" never stands for a directory.
[[nodiscard]] std::string current_directory();

// Creates the directory `path` names after dropping every trailing blank and separator.
// Only the last component is created; a missing parent, an existing directory and every
// other refusal are silently accepted. A null path, and a path longer than the system
// takes whole (platform::kPathLimit), do nothing: a cut path would name another directory.
void create_directory_trimmed(const char* path);

// The prefix of every output path: `directory` as given when it ends in a separator,
// else with this system's separator appended; an empty directory stands for the current
// one. "" when the directory is empty and the current directory cannot be told: nothing
// may then be written (the separator alone would name the root of the drive).
[[nodiscard]] std::string normalise_directory(std::string_view directory);

// `name` inside `directory`: the directory, this system's separator unless it already ends
// in one ("/", and on Windows also "\\"), then the name. An empty directory gives the name
// alone, and so does (after it) a Windows drive given alone ("C:name": the current directory
// of that drive, as the system reads it). (A normalised directory already ends in a
// separator: joining only appends.)
[[nodiscard]] std::string join(std::string_view directory, std::string_view name);

// True when `name` names a file directly inside a directory and nothing else: not empty,
// not "." or "..", holding no "/" and no "\" (a byte 0x5C that the code page reads as the
// second half of a character is no "\"), valid text in the system's code page, and not a
// name the system reserves (see platform::is_reserved_file_name). Only such names are
// joined to an output directory.
[[nodiscard]] bool is_plain_file_name(std::string_view name);
[[nodiscard]] bool is_plain_file_name(std::string_view name, const platform::NameRules& rules);

}  // namespace mytarvo::paths
