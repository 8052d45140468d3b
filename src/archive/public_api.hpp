// Helpers shared by the files that implement the public C++ interface (mytarvo/archive.hpp
// and mytarvo/files.hpp) on top of the library's internal code.
#pragma once

#include <string>

#include "archive/archive_format.hpp"
#include "mytarvo/archive.hpp"

namespace mytarvo::api {

// Throws ArchiveError unless a file (not a directory) exists at `path`.
void require_existing_archive(const std::string& path);

// The public form of an entry header read by the scan (whose sizes are never negative).
ArchiveEntry to_public(const EntryHeader& header);

}  // namespace mytarvo::api
