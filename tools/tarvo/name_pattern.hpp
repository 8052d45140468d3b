// Entry names asked for on the command line: exact names, or patterns with "*" (any run
// of bytes), "?" (any one byte) and "[...]" (one byte of a set: "a-z" ranges, "!" or "^"
// first for the bytes not in it). A "[" without its closing "]" stands for itself.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "console.hpp"
#include "mytarvo/archive.hpp"

namespace tarvo {

[[nodiscard]] bool is_pattern(std::string_view text);
// Whether `name` as a whole matches `pattern`; byte by byte and case-sensitive.
[[nodiscard]] bool matches(std::string_view pattern, std::string_view name);

// The first entry of every name that one of `patterns` matches, in archive order. A
// pattern (or name) that matches no entry is reported as an error.
[[nodiscard]] std::vector<const mytarvo::ArchiveEntry*> first_of_matching_names(
    const mytarvo::ArchiveReader& reader, const std::string& archive, const std::vector<std::string>& patterns,
    Console& console);

}  // namespace tarvo
